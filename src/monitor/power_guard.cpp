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
    {static_cast<int>(ShutdownReason::runtime), "runtime"},
    {static_cast<int>(ShutdownReason::on_battery_max), "on-battery-max"},
    {static_cast<int>(ShutdownReason::voltage), "voltage"},
    {static_cast<int>(ShutdownReason::forceshutdown), "forceshutdown"},
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
constexpr uint8_t kForceShutdown = 0x05;   // FORCESHUTDOWN

// What an answered poll shows that the rules look at.
struct RuleView {
  const ShutdownRules& rules;
  bool on_battery;
  bool lowbatt;  // LOWBATT's condition
  bool forceshutdown_drained;
  unsigned millivolts;
  std::optional<uint32_t> runtime_s;
  int64_t on_battery_ms;  // since the first answer on battery after line power
};

// Each rule's test of one answered poll; each but the critical threshold's
// is off unless its option is given.
bool supervisor_asked(const RuleView& v) {  // --forceshutdown, on or off battery
  return v.rules.forceshutdown && v.forceshutdown_drained;
}
bool at_critical(const RuleView& v) { return v.lowbatt; }
bool runtime_low(const RuleView& v) {  // --runtime-low
  return v.on_battery && v.rules.runtime_low_s > 0 && v.runtime_s.has_value() &&
         *v.runtime_s <= v.rules.runtime_low_s;
}
bool voltage_low(const RuleView& v) {  // --voltage-low
  return v.on_battery && v.rules.voltage_low_mv > 0 && v.millivolts <= v.rules.voltage_low_mv;
}
bool on_battery_too_long(const RuleView& v) {  // --on-battery-max
  return v.on_battery && v.rules.on_battery_max_s > 0 &&
         v.on_battery_ms >= int64_t{1000} * v.rules.on_battery_max_s;
}

// The rules of answered polls, in the order in which they name the
// condition when more than one holds. A rule holds once its test has passed
// on `polls` answered polls in a row; a latched one then holds for the run.
struct Rule {
  ShutdownReason reason;
  uint8_t polls;
  bool latched;
  bool (*passes)(const RuleView&);
};

constexpr Rule kRules[] = {
    {ShutdownReason::forceshutdown, 1, true, supervisor_asked},
    {ShutdownReason::critical, 2, false, at_critical},
    {ShutdownReason::runtime, 2, false, runtime_low},
    {ShutdownReason::voltage, 2, false, voltage_low},
    {ShutdownReason::on_battery_max, 2, false, on_battery_too_long},
};

// Every reason but none and lost (the rule of polls without an answer) has
// one row.
constexpr bool one_row_each() {
  for (int reason = 0; reason < kShutdownReasons; ++reason) {
    int rows = 0;
    for (const Rule& rule : kRules) rows += static_cast<int>(rule.reason) == reason;
    const bool ruled = reason != static_cast<int>(ShutdownReason::none) &&
                       reason != static_cast<int>(ShutdownReason::lost);
    if (rows != (ruled ? 1 : 0)) return false;
  }
  return true;
}
static_assert(one_row_each());

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
  remark(RemarkKind::shutdown_not_acted_on,
         condition_ != ShutdownReason::none && !act_on_shutdown_);
  return outcome_;
}

int64_t PowerGuard::lost_on_battery_deadline() const {
  if (!ever_answered_ || !last_on_battery_ || lost_on_battery_) return INT64_MAX;
  return last_answer_ms_ + kLostOnBatteryMs;
}

void PowerGuard::resume_decision(ShutdownReason reason) {
  reason_ = reason;
  if (reason == ShutdownReason::forceshutdown) streaks_[static_cast<int>(reason)] = 1;
}

// A latched rule stays: it decides again at the next poll.
void PowerGuard::withdraw_decision() {
  reason_ = condition_ = ShutdownReason::none;
  low_battery_ = lost_on_battery_ = false;
  for (const Rule& rule : kRules)
    if (!rule.latched) streaks_[static_cast<int>(rule.reason)] = 0;
}

void PowerGuard::take_thresholds(const PollInput& input) {
  if (!input.thresholds_read) return;
  const bool low_ok = plausible_threshold(input.low_bat);
  const bool critical_ok = plausible_threshold(input.critical_low_bat);
  if (low_ok) thresholds_.low = input.low_bat;
  if (critical_ok) thresholds_.critical = input.critical_low_bat;
  remark(RemarkKind::low_bat_rejected, !low_ok);
  remark(RemarkKind::critical_rejected, !critical_ok);
  remark(RemarkKind::thresholds_contradict,
         thresholds_contradict(thresholds_.low, thresholds_.critical));
}

// Every drained event is notified; BATLOW, BATCRITICALLOW and FORCESHUTDOWN
// also count for the conditions of this poll.
void PowerGuard::take_events(const PollInput& input, bool& batlow, bool& critical,
                             bool& forceshutdown) {
  const DrainedEvents& events = input.events;
  remark(RemarkKind::events_not_believed, events.outcome == DrainedEvents::not_believed);
  remark(RemarkKind::events_read_failed, events.outcome == DrainedEvents::read_failed);
  for (uint8_t code : events.acted_on()) {
    batlow = batlow || code == kBatLow;
    critical = critical || code == kBatCriticalLow;
    forceshutdown = forceshutdown || code == kForceShutdown;
  }
}

void PowerGuard::apply_rules(const PollInput& input, bool lowbatt, bool forceshutdown_drained) {
  const bool battery = !input.power.line;
  if (battery && !last_on_battery_) on_battery_since_ms_ = input.now_ms;
  const RuleView view = {rules_,
                         battery,
                         lowbatt,
                         forceshutdown_drained,
                         input.power.millivolts,
                         runtime_.seconds_left(),
                         battery ? input.now_ms - on_battery_since_ms_ : 0};
  condition_ = ShutdownReason::none;
  low_battery_ = false;
  for (const Rule& rule : kRules) {
    uint8_t& streak = streaks_[static_cast<int>(rule.reason)];
    const bool kept = rule.latched && streak >= rule.polls;
    streak = kept || rule.passes(view) ? std::min(static_cast<uint8_t>(streak + 1), rule.polls) : 0;
    if (streak < rule.polls) continue;
    if (condition_ == ShutdownReason::none) condition_ = rule.reason;
    if (rule.reason != ShutdownReason::forceshutdown) low_battery_ = true;
  }
}

void PowerGuard::answered(const PollInput& input) {
  if (commbad_sent_) notify(Notification::commok);
  commbad_sent_ = false;
  answering_ = ever_answered_ = true;
  last_answer_ms_ = input.now_ms;
  lost_on_battery_ = false;
  take_thresholds(input);
  bool batlow_event = false, critical_event = false, forceshutdown_event = false;
  take_events(input, batlow_event, critical_event, forceshutdown_event);
  runtime_.add(input.now_ms, input.power.charge_percent, input.power.line);

  const PowerStatus& power = input.power;
  const bool battery = !power.line;
  const bool battwarn = battery && (power.charge_percent <= thresholds_.low || batlow_event);
  const bool lowbatt = battery && (power.charge_percent <= thresholds_.critical || critical_event);
  fire(Notification::online, !battery, online_armed_);
  fire(Notification::onbatt, battery, onbatt_armed_);
  fire(Notification::battwarn, battwarn, battwarn_armed_);
  fire(Notification::lowbatt, lowbatt, lowbatt_armed_);
  apply_rules(input, lowbatt, forceshutdown_event);
  if (condition_ != ShutdownReason::none) decide_shutdown(condition_);

  for (uint8_t code : input.events.acted_on()) notify(Notification::event, code);
  last_reading_ = power;
  last_on_battery_ = battery;
}

// No decision comes from a poll without an answer, but one: silent for
// 30 s after the last answer, on battery, counts as LOWBATT, and shuts down.
void PowerGuard::not_answered(const PollInput& input) {
  answering_ = false;
  if (!commbad_sent_) notify(Notification::commbad);
  commbad_sent_ = true;
  if (input.now_ms < lost_on_battery_deadline()) return;
  lost_on_battery_ = low_battery_ = true;
  if (condition_ == ShutdownReason::none) condition_ = ShutdownReason::lost;
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
