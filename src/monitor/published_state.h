// SPDX-License-Identifier: MIT
// What the monitor publishes for programs without access to the device:
// the state file (JSON) and the metrics file. Both are made from the
// guard's view of the board and what the monitor kept of its polls; the
// formatting is pure, into the caller's stream or buffer.
#pragma once

#include <time.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>

#include "monitor/board_report.h"
#include "monitor/power_guard.h"

inline constexpr int kNoticesKept = 16;

struct TimedNotice {
  int64_t time_s;  // Unix seconds of the poll that gave it
  Notice notice;
};

// The times of the last poll and the last answer, the last 16
// notifications in a fixed ring, and how many of each kind came.
class PollHistory {
 public:
  explicit PollHistory(int64_t poll_interval_ms = 0) : poll_interval_ms_(poll_interval_ms) {}

  void polled(int64_t unix_s, bool answered, std::span<const Notice> notices);

  int64_t poll_interval_ms() const { return poll_interval_ms_; }  // 0: none
  int64_t last_poll_s() const { return last_poll_s_; }            // 0: none yet
  int64_t last_answer_s() const { return last_answer_s_; }        // 0: none yet
  int notices_kept() const { return kept_; }
  const TimedNotice& notice(int index) const;  // 0: the oldest kept
  uint64_t count(Notification kind) const { return counts_[static_cast<int>(kind)]; }

 private:
  int64_t poll_interval_ms_;
  int64_t last_poll_s_ = 0;
  int64_t last_answer_s_ = 0;
  TimedNotice ring_[kNoticesKept] = {};
  int next_ = 0;  // where the next notice goes
  int kept_ = 0;
  uint64_t counts_[kNotificationKinds] = {};
};

struct PublishedState {
  bool running;  // false: the monitor has ended, and nothing else is known
  const PowerGuard& guard;
  const BoardDetails& details;
  const PollHistory& history;
  std::optional<uint32_t> runtime_s;  // the battery's runtime, once estimated
};

// The wall clock (CLOCK_REALTIME) in Unix seconds, for readers elsewhere.
inline int64_t unix_seconds() {
  timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec;
}

// The state file: one JSON object on one line.
void write_state_json(FILE* out, const PublishedState& state);
