// SPDX-License-Identifier: MIT
// The monitor's decisions: fed one poll of the supervisor at a time, with the
// time of the poll, it says which notifications fire and when to shut down.
// Pure logic: no I/O, no clock of its own.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>

#include "monitor/runtime_estimate.h"
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
inline constexpr int kNotificationKinds = static_cast<int>(Notification::event) + 1;

// The notification's name, as the hooks get it in SUPCTL_EVENT.
const char* notification_name(Notification notification);

// Why the shutdown was decided, as the flag, the log and SUPCTL_REASON say.
// Each but `lost` is a rule of an answered poll (the table in power_guard.cpp).
enum class ShutdownReason : uint8_t {
  none,
  critical,        // the charge at or below the critical threshold, twice in a row
  lost,            // the supervisor silent for 30 s after an answer on battery
  runtime,         // the runtime left at or below --runtime-low, twice in a row
  on_battery_max,  // on battery for --on-battery-max without a break, twice in a row
  voltage,         // the voltage at or below --voltage-low on battery, twice in a row
  forceshutdown,   // FORCESHUTDOWN drained, with --forceshutdown: at once, latched
};
inline constexpr int kShutdownReasons = static_cast<int>(ShutdownReason::forceshutdown) + 1;

const char* shutdown_reason_name(ShutdownReason reason);
// The reason of a name; none for a name that is no reason.
ShutdownReason shutdown_reason_of(const char* name);

inline constexpr int kMaxEventReads = 4;       // GET_Event reads per poll
inline constexpr int kCodesPerEventRead = 17;  // codes one reply holds
inline constexpr int kMaxEventsPerPoll = kMaxEventReads * kCodesPerEventRead;

// The events drained in one poll. The codes read before a failed or
// unbelieved read are kept: the supervisor has let go of them.
struct DrainedEvents {
  enum Outcome : uint8_t {
    drained,       // the queue was read to its end
    not_believed,  // a reply announced more than 17: it was skipped, and the rest
    read_failed,   // a transfer failed: the rest of the queue was not read
  };
  Outcome outcome = drained;
  uint8_t count = 0;
  uint8_t codes[kMaxEventsPerPoll] = {};

  std::span<const uint8_t> acted_on() const {
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
// condition clears. The monitor's table of their texts is indexed by these.
enum class RemarkKind : uint8_t {
  low_bat_rejected,       // GET_LowBat out of 1..100, the last good kept
  critical_rejected,      // GET_CriticalLowBat out of 1..100
  events_not_believed,    // an event count over 17
  events_read_failed,     // a GET_Event transfer failed
  shutdown_not_acted_on,  // the shutdown condition holds under --no-shutdown
  thresholds_contradict,  // the critical threshold at or above the low one
};
inline constexpr int kRemarkKinds = static_cast<int>(RemarkKind::thresholds_contradict) + 1;
using RemarkBits = uint8_t;
static_assert(kRemarkKinds <= 8 * sizeof(RemarkBits));

constexpr RemarkBits remark_bit(RemarkKind kind) {
  return static_cast<RemarkBits>(1u << static_cast<unsigned>(kind));
}

// The most notices one poll gives: every drained event, and each state
// notification once, but for the pairs that exclude each other in a poll
// (ONLINE or ONBATT, COMMBAD or COMMOK).
inline constexpr int kMaxNoticesPerPoll = kMaxEventsPerPoll + (kNotificationKinds - 1) - 2;

struct PollOutcome {
  Notice notices[kMaxNoticesPerPoll] = {};
  int count = 0;
  RemarkBits remarks = 0;
  bool shutdown_now = false;  // write the power-off flag, run the shutdown command
  std::span<const Notice> notifications() const { return {notices, static_cast<size_t>(count)}; }
};

struct Thresholds {
  unsigned low;       // BATTWARN at or below
  unsigned critical;  // LOWBATT at or below
};

// The critical threshold at or above the low one: LOWBATT comes with
// BATTWARN or before it.
inline bool thresholds_contradict(unsigned low, unsigned critical) { return critical >= low; }

inline constexpr int64_t kLostOnBatteryMs = 30000;

// The settings of the rules that are off unless given: 0 (false) is off.
struct ShutdownRules {
  uint32_t runtime_low_s = 0;     // --runtime-low
  uint32_t on_battery_max_s = 0;  // --on-battery-max
  uint32_t voltage_low_mv = 0;    // --voltage-low
  bool forceshutdown = false;     // --forceshutdown
};

class PowerGuard {
 public:
  explicit PowerGuard(bool act_on_shutdown, const ShutdownRules& rules = {})
      : act_on_shutdown_(act_on_shutdown), rules_(rules) {}

  // Takes one poll, returns what it gives. The outcome stays valid until
  // the next call.
  const PollOutcome& step(const PollInput& input);

  // What the last polls showed, for the status file, STATUS= and the hooks.
  bool ever_answered() const { return ever_answered_; }
  bool answering() const { return answering_; }
  const PowerStatus& last_reading() const { return last_reading_; }
  const Thresholds& thresholds() const { return thresholds_; }
  const ShutdownRules& rules() const { return rules_; }
  // The seconds left to 0 % as of the last answer; none on line power and
  // until the rate of discharge is known (runtime_estimate.h).
  std::optional<uint32_t> runtime_seconds() const { return runtime_.seconds_left(); }
  // The shutdown condition: the first rule that holds, or the supervisor
  // lost for 30 s after an answer on battery; none when none holds.
  ShutdownReason condition() const { return condition_; }
  // A rule but forceshutdown holds (NUT's LB), or FORCESHUTDOWN was drained
  // under --forceshutdown (NUT's FSD, kept for the run).
  bool low_battery() const { return low_battery_; }
  bool forced() const { return streaks_[static_cast<int>(ShutdownReason::forceshutdown)] > 0; }
  bool lost_on_battery() const { return lost_on_battery_; }
  bool on_battery() const { return ever_answered_ && !last_reading_.line; }
  bool shutdown_decided() const { return reason_ != ShutdownReason::none; }
  ShutdownReason shutdown_reason() const { return reason_; }
  // The 30 s after the last answer on battery: when the rule for a lost
  // supervisor applies, so that a long interval does not delay it.
  // INT64_MAX when it does not apply.
  int64_t lost_on_battery_deadline() const;

  // A decision taken by an earlier run in this boot: kept, without a
  // second SHUTDOWN.
  void resume_decision(ShutdownReason reason);
  // Line power back before the shutdown ran: the decision is gone, and a
  // new one takes two polls of a rule again. FORCESHUTDOWN's stays: the
  // supervisor asked for it.
  bool decision_withdrawable() const { return reason_ != ShutdownReason::forceshutdown; }
  void withdraw_decision();

 private:
  void take_thresholds(const PollInput& input);
  void take_events(const PollInput& input, bool& batlow, bool& critical, bool& forceshutdown);
  void apply_rules(const PollInput& input, bool lowbatt, bool forceshutdown_drained);
  void answered(const PollInput& input);
  void not_answered(const PollInput& input);
  void fire(Notification kind, bool condition, bool& armed);
  void decide_shutdown(ShutdownReason reason);
  void notify(Notification kind, uint8_t event_code = 0);
  void remark(RemarkKind kind, bool condition);

  bool act_on_shutdown_;
  ShutdownRules rules_;
  PollOutcome outcome_;
  Thresholds thresholds_ = {20, 10};  // the supervisor's factory settings
  PowerStatus last_reading_ = {};
  bool ever_answered_ = false;
  bool answering_ = false;
  bool commbad_sent_ = false;
  int64_t last_answer_ms_ = 0;
  bool last_on_battery_ = false;
  bool lost_on_battery_ = false;
  bool low_battery_ = false;
  ShutdownReason condition_ = ShutdownReason::none;
  ShutdownReason reason_ = ShutdownReason::none;
  uint8_t streaks_[kShutdownReasons] = {};  // answered polls in a row each rule held
  int64_t on_battery_since_ms_ = 0;         // the first answer on battery since line power
  RuntimeEstimate runtime_;
  // A notification fires when its condition holds and it is armed; it is
  // armed again once its condition is seen clear on an answered poll.
  bool online_armed_ = true, onbatt_armed_ = true, battwarn_armed_ = true, lowbatt_armed_ = true;
  RemarkBits remarked_ = 0;  // logged and not yet cleared
};
