// SPDX-License-Identifier: MIT
// The monitor's road to the supervisor: the spidev device, opened again
// after every poll without an answer, and the queries one poll makes.
#pragma once

#include "monitor/board_report.h"
#include "monitor/power_guard.h"
#include "ops/operation_table.h"

class SupervisorLink {
 public:
  explicit SupervisorLink(const char* device);
  ~SupervisorLink();
  SupervisorLink(const SupervisorLink&) = delete;
  SupervisorLink& operator=(const SupervisorLink&) = delete;

  // Reads the power status into input, and when it is answered the two
  // thresholds (and the temperature into details) and the event queue, as
  // asked.
  void poll(PollInput& input, bool read_thresholds, bool drain_events, BoardDetails& details);
  // Reads the identifier and the information text.
  void read_identity(BoardDetails& details);
  // Why the last poll had no answer, as a log line's end.
  const char* failure() const { return failure_; }

 private:
  bool exchange(const Operation& query, CommandFrame& frame);
  void fail(const char* what, int error);
  void read_thresholds(PollInput& input, BoardDetails& details);
  void drain_events(DrainedEvents& events);

  const char* device_;
  int fd_ = -1;
  char failure_[160] = "";
  const Operation& power_status_;
  const Operation& event_;
  const Operation& low_bat_;
  const Operation& critical_low_bat_;
  const Operation& temperature_;
  const Operation& device_id_;
  const Operation& device_info_;
};
