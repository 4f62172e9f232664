// SPDX-License-Identifier: MIT
// What the monitor tells about the board: the NUT dummy-ups definition, the
// words of systemd's STATUS=, and the --once line. Pure formatting into
// caller's buffers.
#pragma once

#include <cstddef>
#include <cstdio>

#include "monitor/power_guard.h"

// What the supervisor says of itself, read at start, and its temperature.
struct BoardDetails {
  bool identity_known = false;
  char serial[33] = "";  // GET_DeviceID as 32 hex digits
  char model[65] = "";   // GET_DeviceInfo
  bool temperature_known = false;
  unsigned temperature_tenths = 0;
};

// Appends to a fixed buffer, always NUL-terminated; text that does not fit
// is cut and remembered in overflowed().
class TextBuffer {
 public:
  TextBuffer(char* data, size_t size) : data_(data), size_(size) { data_[0] = '\0'; }
  [[gnu::format(printf, 2, 3)]] void add(const char* format, ...);
  const char* text() const { return data_; }
  size_t length() const { return length_; }
  bool overflowed() const { return overflowed_; }

 private:
  char* data_;
  size_t size_;
  size_t length_ = 0;
  bool overflowed_ = false;
};

// NUT's ups.status: OL or OB, CHRG or DISCHRG, and LB while the shutdown
// condition holds; OB LB once the supervisor is lost on battery; FSD first
// once the supervisor asked for the shutdown (FORCESHUTDOWN).
void add_ups_status(TextBuffer& out, const PowerStatus& power, bool low_battery,
                    bool lost_on_battery, bool forced);

// The dummy-ups definition: "key: value" lines.
void add_nut_definition(TextBuffer& out, const PowerGuard& guard, const BoardDetails& details);

// The definition once the monitor has ended: no status, no battery values
// (dummy-ups keeps what a newer file leaves out), and the alarm, so that
// NUT sees a UPS it can't read instead of the last state for good.
void add_stopped_nut_definition(TextBuffer& out);

// The state in words, for STATUS=.
void add_status_words(TextBuffer& out, const PowerGuard& guard);

// A threshold read in an answered poll, from 1 to 100.
inline bool threshold_known(const PollInput& input, uint8_t percent) {
  return input.answered && input.thresholds_read && percent >= 1 && percent <= 100;
}

// Both thresholds read, and the critical one at or above the low one.
inline bool thresholds_contradict(const PollInput& input) {
  return threshold_known(input, input.low_bat) && threshold_known(input, input.critical_low_bat) &&
         thresholds_contradict(input.low_bat, input.critical_low_bat);
}

// The --once line of an answered poll, without its line end: NUT's status,
// charge, voltage and the two thresholds ("?" when out of 1..100), and
// whether they contradict each other.
void add_once_line(TextBuffer& out, const PollInput& input);

// The --once state as one JSON object on one line.
void write_once_json(FILE* out, const PollInput& input);
