// SPDX-License-Identifier: MIT
#include "monitor/runtime_estimate.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {
constexpr bool B = false, L = true;  // on battery, on line power
constexpr int64_t kUnknown = -1;

// Polls every poll_s s for `seconds` s, the charge falling from `from` by `rate` %/min in
// whole percents; then the seconds left, lo to hi or kUnknown. A name starts a new estimate.
struct Stretch {
  const char* starts;
  bool line;
  int from, rate, seconds, poll_s;
  int64_t lo, hi = 0;
};

const Stretch kStretches[] = {
    {"2 %/min from 40 %", B, 40, 2, 135, 1, 1055, 1075},   // 1065 s true
    {nullptr, B, 37, 0, 0, 1, 1055, 1075},                 // a rise of 1 %: a step's edge
    {nullptr, B, 36, 0, 3600, 10, 1050, 200000},           // the drain stops: no less
    {nullptr, B, 39, 0, 0, 10, kUnknown},                  // a rise of 3 %: afresh
    {"60 %/min", B, 100, 60, 5, 1, kUnknown},              // too few samples
    {nullptr, B, 94, 60, 6, 1, 80, 96},                    // 88 s true, within 10 %
    {nullptr, B, 88, 0, 0, 120, kUnknown},                 // a gap of 2 minutes: afresh
    {"1 %/min, every 10 s", B, 40, 1, 120, 10, kUnknown},  // two steps: not precise enough
    {"1 %/min, then 4 %/min", B, 60, 1, 1200, 1, 2390, 2410},
    {nullptr, B, 40, 4, 240, 1, 350, 370},  // the window has followed: 360 s true
    {nullptr, L, 24, 2, 60, 1, kUnknown},   // line power, the charge falling
    {"empty", B, 20, 60, 25, 1, 0, 0},
};

TEST(RuntimeEstimate, Stretches) {
  RuntimeEstimate estimate;
  int64_t now_ms = 0;
  for (const Stretch& s : kStretches) {
    if (s.starts != nullptr) estimate = RuntimeEstimate();
    for (int at = 0; at <= s.seconds; at += s.poll_s)  // each sample poll_s after the last
      estimate.add(now_ms += s.poll_s * 1000LL, std::max(0, s.from - s.rate * at / 60), s.line);
    const std::optional<uint32_t> left = estimate.seconds_left();
    const bool ok = s.lo == kUnknown ? !left : left && *left >= s.lo && *left <= s.hi;
    EXPECT_TRUE(ok) << "row " << &s - kStretches << ": " << (left ? int64_t{*left} : kUnknown);
  }
}

}  // namespace
