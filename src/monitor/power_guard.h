// SPDX-License-Identifier: MIT
// The monitor's decisions: fed one poll of the supervisor at a time, with the
// time of the poll, it says which notifications fire and when to shut down.
// Pure logic: no I/O, no clock of its own.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>

#include "ops/reply_values.h"

enum class Notification : uint8_t {
  online,    // line power is there
  onbatt,    // line power is lost: the board runs on its battery
  battwarn,  // on battery and at or below the low threshold
  lowbatt,   // on battery and at or below the critical threshold
  commbad,   // the supervisor stopped answering
  commok,    // the supervisor answers again
  shutdown,  // the board is being shut down
  event,     // an event drained from the supervisor's queue
};

// The notification's name, as the hooks get it in SUPCTL_EVENT.
const char* notification_name(Notification notification);

inline constexpr int kMaxEventReads = 4;       // GET_Event reads per poll
inline constexpr int kCodesPerEventRead = 17;  // codes one reply holds
inline constexpr int kMaxEventsPerPoll = kMaxEventReads * kCodesPerEventRead;

// The events drained in one poll.
struct DrainedEvents {
  enum Outcome : uint8_t {
    drained,       // codes holds the events read (none is fine)
    not_believed,  // a reply announced more than 17: the poll's events are skipped
    read_failed,   // a transfer failed: the poll's events are skipped
  };
  Outcome outcome = drained;
  uint8_t count = 0;
  uint8_t codes[kMaxEventsPerPoll] = {};

  // The codes to act on: none unless the queue was drained.
  std::span<const uint8_t> acted_on() const {
    if (outcome != drained) return {};
    return {codes, std::min<size_t>(count, kMaxEventsPerPoll)};
  }
};

struct PollInput {
  int64_t now_ms;            // monotonic time of the poll
  bool answered;             // the power status was read and is plausible
  PowerStatus power;         // when answered
  bool thresholds_read;      // the two thresholds were read in this poll
  uint8_t low_bat;           // GET_LowBat, as read
  uint8_t critical_low_bat;  // GET_CriticalLowBat, as read
  DrainedEvents events;      // when answered
};

// One notification to log and to hand to the hook.
struct Notice {
  Notification kind;
  uint8_t event_code;  // for Notification::event
};

// Log lines that are no notification; each is logged once until its
// condition clears.
enum Remark : uint8_t {
  kLowBatRejected = 1u << 0,      // GET_LowBat out of 1..100, the last good kept
  kCriticalRejected = 1u << 1,    // GET_CriticalLowBat out of 1..100
  kEventsNotBelieved = 1u << 2,   // an event count over 17
  kEventsReadFailed = 1u << 3,    // a GET_Event transfer failed
  kShutdownNotActedOn = 1u << 4,  // the shutdown condition holds under --no-shutdown
};

struct PollOutcome {
  Notice notices[kMaxEventsPerPoll + 6] = {};
  int count = 0;
  uint8_t remarks = 0;        // Remark bits
  bool shutdown_now = false;  // write the power-off flag, run the shutdown command
  std::span<const Notice> notifications() const { return {notices, static_cast<size_t>(count)}; }
};

struct Thresholds {
  unsigned low;       // BATTWARN at or below
  unsigned critical;  // LOWBATT at or below
};

inline constexpr int64_t kLostOnBatteryMs = 30000;

class PowerGuard {
 public:
  explicit PowerGuard(bool act_on_shutdown) : act_on_shutdown_(act_on_shutdown) {}

  // Takes one poll, returns what it gives. The outcome stays valid until
  // the next call.
  const PollOutcome& step(const PollInput& input);

  // What the last polls showed, for the status file, STATUS= and the hooks.
  bool ever_answered() const { return ever_answered_; }
  bool answering() const { return answering_; }
  const PowerStatus& last_reading() const { return last_reading_; }
  const Thresholds& thresholds() const { return thresholds_; }
  // The shutdown condition holds: LOWBATT on two answered polls in a row,
  // or the supervisor lost for 30 s after an answer on battery.
  bool low_battery() const { return low_battery_; }
  bool lost_on_battery() const { return lost_on_battery_; }
  bool shutdown_decided() const { return shutdown_decided_; }
  // When the supervisor went silent after an answer on battery: the time
  // at which the 30 s rule applies, so that a long interval does not delay
  // it. INT64_MAX when it does not apply.
  int64_t lost_on_battery_deadline() const;

 private:
  void take_thresholds(const PollInput& input);
  void take_events(const PollInput& input, bool& batlow, bool& critical);
  void answered(const PollInput& input);
  void not_answered(const PollInput& input);
  void fire(Notification kind, bool condition, bool& armed);
  void decide_shutdown();
  void notify(Notification kind, uint8_t event_code = 0);
  void remark(Remark bit, bool condition);

  bool act_on_shutdown_;
  PollOutcome outcome_;
  Thresholds thresholds_ = {20, 10};  // the supervisor's factory settings
  PowerStatus last_reading_ = {};
  bool ever_answered_ = false;
  bool answering_ = false;
  bool commbad_sent_ = false;
  int64_t silent_since_ms_ = 0;
  bool last_on_battery_ = false;
  bool lost_on_battery_ = false;
  bool low_battery_ = false;
  bool shutdown_decided_ = false;
  int lowbatt_streak_ = 0;
  // A notification fires when its condition holds and it is armed; it is
  // armed again once its condition is seen clear on an answered poll.
  bool online_armed_ = true, onbatt_armed_ = true, battwarn_armed_ = true, lowbatt_armed_ = true;
  uint8_t remarked_ = 0;  // Remark bits logged and not yet cleared
};
