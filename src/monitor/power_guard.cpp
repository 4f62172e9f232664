// SPDX-License-Identifier: MIT
#include "monitor/power_guard.h"

#include <algorithm>

namespace {

constexpr const char* kNotificationNames[] = {
    "ONLINE", "ONBATT", "BATTWARN", "LOWBATT", "COMMBAD", "COMMOK", "SHUTDOWN", "EVENT",
};

constexpr uint8_t kBatLow = 0x02;          // BATLOW
constexpr uint8_t kBatCriticalLow = 0x03;  // BATCRITICALLOW

constexpr bool plausible_threshold(unsigned percent) { return percent >= 1 && percent <= 100; }

}  // namespace

const char* notification_name(Notification notification) {
  return kNotificationNames[static_cast<int>(notification)];
}

const PollOutcome& PowerGuard::step(const PollInput& input) {
  outcome_ = PollOutcome{};
  if (input.answered) {
    answered(input);
  } else {
    not_answered(input);
  }
  remark(kShutdownNotActedOn, low_battery_ && !act_on_shutdown_);
  return outcome_;
}

int64_t PowerGuard::lost_on_battery_deadline() const {
  if (answering_ || !ever_answered_ || !last_on_battery_ || lost_on_battery_) return INT64_MAX;
  return silent_since_ms_ + kLostOnBatteryMs;
}

void PowerGuard::take_thresholds(const PollInput& input) {
  if (!input.thresholds_read) return;
  const bool low_ok = plausible_threshold(input.low_bat);
  const bool critical_ok = plausible_threshold(input.critical_low_bat);
  if (low_ok) thresholds_.low = input.low_bat;
  if (critical_ok) thresholds_.critical = input.critical_low_bat;
  remark(kLowBatRejected, !low_ok);
  remark(kCriticalRejected, !critical_ok);
}

// Every drained event is notified; BATLOW and BATCRITICALLOW also count for
// the battery conditions of this poll.
void PowerGuard::take_events(const PollInput& input, bool& batlow, bool& critical) {
  const DrainedEvents& events = input.events;
  remark(kEventsNotBelieved, events.outcome == DrainedEvents::not_believed);
  remark(kEventsReadFailed, events.outcome == DrainedEvents::read_failed);
  for (uint8_t code : events.acted_on()) {
    batlow = batlow || code == kBatLow;
    critical = critical || code == kBatCriticalLow;
  }
}

void PowerGuard::answered(const PollInput& input) {
  if (commbad_sent_) notify(Notification::commok);
  commbad_sent_ = false;
  answering_ = ever_answered_ = true;
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
  if (low_battery_) decide_shutdown();

  for (uint8_t code : input.events.acted_on()) notify(Notification::event, code);
  last_reading_ = power;
  last_on_battery_ = on_battery;
}

// No decision comes from a poll without an answer, but one: silent for
// 30 s after an answer on battery counts as LOWBATT, and shuts down.
void PowerGuard::not_answered(const PollInput& input) {
  if (answering_ || !ever_answered_) silent_since_ms_ = input.now_ms;
  answering_ = false;
  if (!commbad_sent_) notify(Notification::commbad);
  commbad_sent_ = true;
  if (input.now_ms < lost_on_battery_deadline()) return;
  lost_on_battery_ = low_battery_ = true;
  fire(Notification::lowbatt, true, lowbatt_armed_);
  decide_shutdown();
}

void PowerGuard::fire(Notification kind, bool condition, bool& armed) {
  if (condition && armed) notify(kind);
  armed = !condition;
}

void PowerGuard::decide_shutdown() {
  if (shutdown_decided_ || !act_on_shutdown_) return;
  shutdown_decided_ = true;
  outcome_.shutdown_now = true;
  notify(Notification::shutdown);
}

void PowerGuard::notify(Notification kind, uint8_t event_code) {
  outcome_.notices[outcome_.count++] = {kind, event_code};
}

void PowerGuard::remark(Remark bit, bool condition) {
  if (condition && !(remarked_ & bit)) outcome_.remarks |= bit;
  remarked_ = condition ? remarked_ | bit : remarked_ & ~bit;
}
