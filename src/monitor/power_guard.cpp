// SPDX-License-Identifier: MIT
#include "monitor/power_guard.h"

#include <algorithm>
#include <cstring>

namespace {

struct Named {
  int index;
  const char* name;
};

constexpr Named kNotificationNames[] = {
    {static_cast<int>(Notification::online), "ONLINE"},
    {static_cast<int>(Notification::onbatt), "ONBATT"},
    {static_cast<int>(Notification::battwarn), "BATTWARN"},
    {static_cast<int>(Notification::lowbatt), "LOWBATT"},
    {static_cast<int>(Notification::commbad), "COMMBAD"},
    {static_cast<int>(Notification::commok), "COMMOK"},
    {static_cast<int>(Notification::shutdown), "SHUTDOWN"},
    {static_cast<int>(Notification::event), "EVENT"},
};

constexpr Named kReasonNames[] = {
    {static_cast<int>(ShutdownReason::none), "none"},
    {static_cast<int>(ShutdownReason::critical), "critical"},
    {static_cast<int>(ShutdownReason::lost), "lost"},
};

// Each table holds every row of its enum, in the enum's order.
template <size_t N>
constexpr bool in_order(const Named (&rows)[N], int kinds) {
  for (size_t i = 0; i < N; ++i)
    if (rows[i].index != static_cast<int>(i)) return false;
  return N == static_cast<size_t>(kinds);
}
static_assert(in_order(kNotificationNames, kNotificationKinds));
static_assert(in_order(kReasonNames, kShutdownReasons));

constexpr uint8_t kBatLow = 0x02;          // BATLOW
constexpr uint8_t kBatCriticalLow = 0x03;  // BATCRITICALLOW

constexpr bool plausible_threshold(unsigned percent) { return percent >= 1 && percent <= 100; }

}  // namespace

const char* notification_name(Notification notification) {
  return kNotificationNames[static_cast<int>(notification)].name;
}

const char* shutdown_reason_name(ShutdownReason reason) {
  return kReasonNames[static_cast<int>(reason)].name;
}

ShutdownReason shutdown_reason_of(const char* name) {
  for (const Named& row : kReasonNames)
    if (strcmp(row.name, name) == 0) return static_cast<ShutdownReason>(row.index);
  return ShutdownReason::none;
}

const PollOutcome& PowerGuard::step(const PollInput& input) {
  outcome_ = PollOutcome{};
  if (input.answered) {
    answered(input);
  } else {
    not_answered(input);
  }
  remark(RemarkKind::shutdown_not_acted_on, low_battery_ && !act_on_shutdown_);
  return outcome_;
}

int64_t PowerGuard::lost_on_battery_deadline() const {
  if (!ever_answered_ || !last_on_battery_ || lost_on_battery_) return INT64_MAX;
  return last_answer_ms_ + kLostOnBatteryMs;
}

void PowerGuard::withdraw_decision() {
  reason_ = ShutdownReason::none;
  low_battery_ = lost_on_battery_ = false;
  lowbatt_streak_ = 0;
}

void PowerGuard::take_thresholds(const PollInput& input) {
  if (!input.thresholds_read) return;
  const bool low_ok = plausible_threshold(input.low_bat);
  const bool critical_ok = plausible_threshold(input.critical_low_bat);
  if (low_ok) thresholds_.low = input.low_bat;
  if (critical_ok) thresholds_.critical = input.critical_low_bat;
  remark(RemarkKind::low_bat_rejected, !low_ok);
  remark(RemarkKind::critical_rejected, !critical_ok);
}

// Every drained event is notified; BATLOW and BATCRITICALLOW also count for
// the battery conditions of this poll.
void PowerGuard::take_events(const PollInput& input, bool& batlow, bool& critical) {
  const DrainedEvents& events = input.events;
  remark(RemarkKind::events_not_believed, events.outcome == DrainedEvents::not_believed);
  remark(RemarkKind::events_read_failed, events.outcome == DrainedEvents::read_failed);
  for (uint8_t code : events.acted_on()) {
    batlow = batlow || code == kBatLow;
    critical = critical || code == kBatCriticalLow;
  }
}

void PowerGuard::answered(const PollInput& input) {
  if (commbad_sent_) notify(Notification::commok);
  commbad_sent_ = false;
  answering_ = ever_answered_ = true;
  last_answer_ms_ = input.now_ms;
  lost_on_battery_ = false;
  take_thresholds(input);
  bool batlow_event = false, critical_event = false;
  take_events(input, batlow_event, critical_event);

  const PowerStatus& power = input.power;
  const bool on_battery = !power.line;
  const bool battwarn = on_battery && (power.charge_percent <= thresholds_.low || batlow_event);
  const bool lowbatt =
      on_battery && (power.charge_percent <= thresholds_.critical || critical_event);
  fire(Notification::online, !on_battery, online_armed_);
  fire(Notification::onbatt, on_battery, onbatt_armed_);
  fire(Notification::battwarn, battwarn, battwarn_armed_);
  fire(Notification::lowbatt, lowbatt, lowbatt_armed_);
  lowbatt_streak_ = lowbatt ? lowbatt_streak_ + 1 : 0;
  low_battery_ = lowbatt_streak_ >= 2;
  if (low_battery_) decide_shutdown(ShutdownReason::critical);

  for (uint8_t code : input.events.acted_on()) notify(Notification::event, code);
  last_reading_ = power;
  last_on_battery_ = on_battery;
}

// No decision comes from a poll without an answer, but one: silent for
// 30 s after the last answer, on battery, counts as LOWBATT, and shuts down.
void PowerGuard::not_answered(const PollInput& input) {
  answering_ = false;
  if (!commbad_sent_) notify(Notification::commbad);
  commbad_sent_ = true;
  if (input.now_ms < lost_on_battery_deadline()) return;
  lost_on_battery_ = low_battery_ = true;
  fire(Notification::lowbatt, true, lowbatt_armed_);
  decide_shutdown(ShutdownReason::lost);
}

void PowerGuard::fire(Notification kind, bool condition, bool& armed) {
  if (condition && armed) notify(kind);
  armed = !condition;
}

void PowerGuard::decide_shutdown(ShutdownReason reason) {
  if (shutdown_decided() || !act_on_shutdown_) return;
  reason_ = reason;
  outcome_.shutdown_now = true;
  notify(Notification::shutdown);
}

void PowerGuard::notify(Notification kind, uint8_t event_code) {
  outcome_.notices[outcome_.count++] = {kind, event_code};
}

void PowerGuard::remark(RemarkKind kind, bool condition) {
  const RemarkBits bit = remark_bit(kind);
  if (condition && !(remarked_ & bit)) outcome_.remarks |= bit;
  remarked_ = condition ? remarked_ | bit : remarked_ & ~bit;
}
