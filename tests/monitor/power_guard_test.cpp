// SPDX-License-Identifier: MIT
#include "monitor/power_guard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

// One poll at a time in seconds; the reading as "OL 87", "OB 9 3300" (mV)
// or "--" (no answer), then what the monitor must say: notification names,
// EVENT:n for an event, "!" for the shutdown decision ("!reason" for one not
// by the critical threshold), [remark] for a log line, @n while the 30 s
// rule for a supervisor lost on battery falls due at n s, and FSD while NUT
// is told it.
struct Poll {
  int seconds;
  const char* reading;
  std::string expected;
  std::vector<uint8_t> events = {};
  int low_bat = -1, critical_low_bat = -1;  // read in this poll when >= 0
  DrainedEvents::Outcome drained = DrainedEvents::drained;
};

struct Sequence {
  const char* name;
  std::vector<Poll> polls;
  bool act_on_shutdown = true;
  ShutdownRules rules = {};
};

PollInput input_of(const Poll& poll) {
  PollInput input = {};
  input.now_ms = poll.seconds * 1000LL;
  input.answered = std::string(poll.reading) != "--";
  if (input.answered) {
    input.power.line = poll.reading[1] == 'L';
    char* end = nullptr;
    input.power.charge_percent = static_cast<uint8_t>(strtol(poll.reading + 3, &end, 10));
    input.power.millivolts = static_cast<uint16_t>(strtol(end, nullptr, 10));
  }
  input.thresholds_read = poll.low_bat >= 0;
  input.low_bat = static_cast<uint8_t>(poll.low_bat);
  input.critical_low_bat = static_cast<uint8_t>(poll.critical_low_bat);
  input.events.outcome = poll.drained;
  input.events.count = static_cast<uint8_t>(poll.events.size());
  for (size_t i = 0; i < poll.events.size(); ++i) input.events.codes[i] = poll.events[i];
  return input;
}

std::string said(PowerGuard& guard, const Poll& poll) {
  const PollOutcome& outcome = guard.step(input_of(poll));
  static constexpr const char* kRemarks[] = {"low_rejected", "critical_rejected", "not_believed",
                                             "read_failed",  "not_acted_on",      "contradict"};
  static_assert(std::size(kRemarks) == kRemarkKinds);
  std::string text;
  for (const Notice& notice : outcome.notifications()) {
    text += std::string(" ") + notification_name(notice.kind);
    if (notice.kind == Notification::event)
      text.append(":").append(std::to_string(notice.event_code));
  }
  if (outcome.shutdown_now)
    text.append(" !").append(guard.shutdown_reason() == ShutdownReason::critical
                                 ? ""
                                 : shutdown_reason_name(guard.shutdown_reason()));
  for (int bit = 0; bit < kRemarkKinds; ++bit)
    if (outcome.remarks & (1u << bit)) text += std::string(" [") + kRemarks[bit] + "]";
  if (!guard.answering() && guard.lost_on_battery_deadline() != INT64_MAX)
    text.append(" @").append(std::to_string(guard.lost_on_battery_deadline() / 1000));
  if (guard.forced()) text += " FSD";
  return text.empty() ? text : text.substr(1);
}

class PollSequence : public testing::TestWithParam<Sequence> {};

TEST_P(PollSequence, GivesItsNotifications) {
  PowerGuard guard(GetParam().act_on_shutdown, GetParam().rules);
  for (const Poll& poll : GetParam().polls)
    EXPECT_EQ(said(guard, poll), poll.expected) << "at " << poll.seconds << " s";
}

constexpr uint8_t kBatLow = 2, kBatCriticalLow = 3, kPowerLost = 1;
constexpr auto kNotBelieved = DrainedEvents::not_believed, kReadFailed = DrainedEvents::read_failed;

INSTANTIATE_TEST_SUITE_P(
    Polls, PollSequence,
    testing::Values(Sequence{"CriticalTwiceInARowShutsDownOnce",
                             {{0, "OB 30", "ONBATT"},
                              {5, "OB 20", "BATTWARN"},
                              {10, "OB 10", "LOWBATT"},
                              {15, "OB 8", "SHUTDOWN !"},
                              {20, "OL 7", "ONLINE"},
                              {25, "OB 7", "ONBATT BATTWARN LOWBATT"},
                              {30, "OB 7", ""}}},
                    // A poll without an answer neither counts, nor breaks the run, nor re-arms.
                    Sequence{"LineBackCancelsASilentPollDoesNot",
                             {{0, "OB 9", "ONBATT BATTWARN LOWBATT"},
                              {5, "OL 9", "ONLINE"},
                              {10, "OB 9", "ONBATT BATTWARN LOWBATT"},
                              {15, "--", "COMMBAD @40"},
                              {20, "OB 9", "COMMOK SHUTDOWN !"}}},
                    Sequence{
                        "NeverAnsweredIsNoDecision",
                        {{0, "--", "COMMBAD"}, {60, "--", ""}, {120, "OL 80", "COMMOK ONLINE"}}},
                    // Counted from the last answer, not from the first poll without one.
                    Sequence{"LostForThirtySecondsOnBattery",
                             {{0, "OB 50", "ONBATT"},
                              {5, "OB 50", ""},
                              {20, "--", "COMMBAD @35"},
                              {34, "--", "@35"},
                              {35, "--", "LOWBATT SHUTDOWN !lost"},
                              {40, "--", ""},
                              {45, "OL 50", "COMMOK ONLINE"}}},
                    Sequence{"LostOnLinePowerIsNoDecision",
                             {{0, "OL 50", "ONLINE"}, {5, "--", "COMMBAD"}, {100, "--", ""}}},
                    Sequence{"ThresholdsOutOfRangeKeepTheLastGood",
                             {{0, "OB 25", "ONBATT [low_rejected] [critical_rejected]", {}, 0, 101},
                              {5, "OB 25", "", {}, 255, 0},
                              {10, "OB 25", "BATTWARN", {}, 30, 0},
                              {15, "OB 12", "LOWBATT", {}, 30, 15},
                              {20, "OB 12", "SHUTDOWN ! [critical_rejected]", {}, 30, 200}}},
                    // BATLOW and BATCRITICALLOW count as the battery's state on battery only.
                    Sequence{"EventsAreNotifiedAfterTheState",
                             {{0, "OL 50", "ONLINE EVENT:2 EVENT:3", {kBatLow, kBatCriticalLow}},
                              {5, "OL 50", "EVENT:3", {kBatCriticalLow}},
                              {10, "OB 50", "ONBATT EVENT:1 EVENT:20", {kPowerLost, 20}},
                              {15, "OB 50", "BATTWARN EVENT:2", {kBatLow}},
                              {20, "OB 50", "LOWBATT EVENT:3", {kBatCriticalLow}},
                              {25, "OB 50", "SHUTDOWN EVENT:3 !", {kBatCriticalLow}},
                              {30, "OB 50", "EVENT:5", {5}}}},  // FORCESHUTDOWN
                    // The codes read before a read that failed or was not believed count.
                    Sequence{"EventsBeforeABadReadAreKept",
                             {{0,
                               "OB 50",
                               "ONBATT LOWBATT EVENT:3 [not_believed]",
                               {kBatCriticalLow},
                               -1,
                               -1,
                               kNotBelieved},
                              {5,
                               "OB 50",
                               "SHUTDOWN EVENT:3 ! [read_failed]",
                               {kBatCriticalLow},
                               -1,
                               -1,
                               kReadFailed},
                              {10, "OB 50", ""},
                              {15, "OB 50", "[read_failed]", {}, -1, -1, kReadFailed}}},
                    Sequence{"NoShutdownOnlyNotifies",
                             {{0, "OB 5", "ONBATT BATTWARN LOWBATT"},
                              {5, "OB 5", "[not_acted_on]"},
                              {10, "OB 5", ""},
                              {15, "--", "COMMBAD @40"},
                              {50, "--", ""}},
                             false}),
    [](const testing::TestParamInfo<Sequence>& info) { return info.param.name; });

// The rules: each holds on two answered polls in a row (at or below its
// setting), and the first to hold names the decision.
INSTANTIATE_TEST_SUITE_P(
    Rules, PollSequence,
    testing::Values(
        // Falls timed to a second, 50 s apart: known at the second (1899 s).
        Sequence{"RuntimeLow",
                 {{0, "OB 40", "ONBATT"},
                  {49, "OB 40", ""},
                  {50, "OB 39", ""},
                  {99, "OB 39", ""},
                  {100, "OB 38", ""},
                  {101, "OB 38", "SHUTDOWN !runtime"}},
                 true,
                 {.runtime_low_s = 1899}},
        // Line power breaks the run; the critical threshold has held once.
        Sequence{"VoltageLowFirst",
                 {{0, "OB 50 3300", "ONBATT"},
                  {5, "OL 50 3200", "ONLINE"},
                  {10, "OB 50 3300", "ONBATT"},
                  {15, "OB 9 3300", "BATTWARN LOWBATT SHUTDOWN !voltage"}},
                 true,
                 {.voltage_low_mv = 3300}},
        Sequence{"OnBatteryMaxCountsAfreshOnLinePower",
                 {{0, "OB 90", "ONBATT"},
                  {50, "OL 90", "ONLINE"},
                  {55, "OB 90", "ONBATT"},
                  {65, "OB 90", ""},
                  {115, "OB 90", ""},
                  {120, "OB 90", "SHUTDOWN !on-battery-max"}},
                 true,
                 {.on_battery_max_s = 60}},
        // At once, on line power too, and kept for the run.
        Sequence{"ForceShutdownLatched",
                 {{0, "OL 80", "ONLINE"},
                  {5, "OL 80", "SHUTDOWN EVENT:5 !forceshutdown FSD", {5}},
                  {10, "OB 80", "ONBATT FSD"}},
                 true,
                 {.forceshutdown = true}},
        // Equal thresholds contradict too.
        Sequence{"ThresholdsThatContradict", {{0, "OL 50", "ONLINE [contradict]", {}, 30, 30}}}),
    [](const testing::TestParamInfo<Sequence>& info) { return info.param.name; });

}  // namespace
