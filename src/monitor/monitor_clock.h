// SPDX-License-Identifier: MIT
// The monitor's clock: monotonic milliseconds, which neither a clock set by
// hand nor NTP moves.
#pragma once

#include <time.h>

#include <cstdint>

constexpr int64_t milliseconds_of(const timespec& time) {
  return int64_t{time.tv_sec} * 1000 + time.tv_nsec / 1000000;
}

inline int64_t monotonic_ms() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return milliseconds_of(now);
}
