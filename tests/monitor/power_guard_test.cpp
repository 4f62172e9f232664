// SPDX-License-Identifier: MIT
#include "monitor/power_guard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One poll at a time in seconds; the reading as "OL 87", "OB 9" or "--"
// (no answer), then what the monitor must say: notification names, EVENT:n
// for an event, "!" for the shutdown decision, [remark] for a log line.
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
};

PollInput input_of(const Poll& poll) {
  PollInput input = {};
  input.now_ms = poll.seconds * 1000LL;
  input.answered = std::string(poll.reading) != "--";
  if (input.answered) {
    input.power.line = poll.reading[1] == 'L';
    input.power.charging = false;
    input.power.millivolts = 3900;
    input.power.charge_percent = static_cast<uint8_t>(std::stoi(poll.reading + 3));
  }
  input.thresholds_read = poll.low_bat >= 0;
  input.low_bat = static_cast<uint8_t>(poll.low_bat);
  input.critical_low_bat = static_cast<uint8_t>(poll.critical_low_bat);
  input.events.outcome = poll.drained;
  input.events.count = static_cast<uint8_t>(poll.events.size());
  for (size_t i = 0; i < poll.events.size(); ++i) input.events.codes[i] = poll.events[i];
  return input;
}

std::string said(const PollOutcome& outcome) {
  static constexpr const char* kRemarks[] = {"low_rejected", "critical_rejected", "not_believed",
                                             "read_failed", "not_acted_on"};
  std::vector<std::string> words;
  for (const Notice& notice : outcome.notifications()) {
    std::string word = notification_name(notice.kind);
    if (notice.kind == Notification::event)
      word.append(":").append(std::to_string(notice.event_code));
    words.push_back(word);
  }
  if (outcome.shutdown_now) words.emplace_back("!");
  for (int bit = 0; bit < 5; ++bit) {
    if (outcome.remarks & (1u << bit)) words.push_back(std::string("[") + kRemarks[bit] + "]");
  }
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

class PollSequence : public testing::TestWithParam<Sequence> {};

TEST_P(PollSequence, GivesItsNotifications) {
  PowerGuard guard(GetParam().act_on_shutdown);
  for (const Poll& poll : GetParam().polls) {
    EXPECT_EQ(said(guard.step(input_of(poll))), poll.expected) << "at " << poll.seconds << " s";
  }
}

constexpr uint8_t kBatLow = 2, kBatCriticalLow = 3, kPowerLost = 1;

INSTANTIATE_TEST_SUITE_P(
    Polls, PollSequence,
    testing::Values(
        Sequence{"FirstPollTellsTheState", {{0, "OL 87", "ONLINE"}, {5, "OL 86", ""}}},
        Sequence{"LineLostAndBack",
                 {{0, "OL 87", "ONLINE"}, {5, "OB 86", "ONBATT"}, {10, "OL 86", "ONLINE"}}},
        Sequence{"CriticalTwiceInARowShutsDownOnce",
                 {{0, "OB 30", "ONBATT"},
                  {5, "OB 20", "BATTWARN"},
                  {10, "OB 9", "LOWBATT"},
                  {15, "OB 8", "SHUTDOWN !"},
                  {20, "OB 7", ""},
                  {25, "OL 7", "ONLINE"},
                  {30, "OB 7", "ONBATT BATTWARN LOWBATT"},
                  {35, "OB 7", ""}}},
        Sequence{"LineBackBeforeTheSecondPollCancels",
                 {{0, "OB 9", "ONBATT BATTWARN LOWBATT"},
                  {5, "OL 9", "ONLINE"},
                  {10, "OB 9", "ONBATT BATTWARN LOWBATT"},
                  {15, "OB 9", "SHUTDOWN !"}}},
        // A poll without an answer neither counts nor breaks the run.
        Sequence{"SilentPollBetweenCriticalPolls",
                 {{0, "OB 9", "ONBATT BATTWARN LOWBATT"},
                  {5, "--", "COMMBAD"},
                  {10, "OB 9", "COMMOK SHUTDOWN !"}}},
        Sequence{"NotifiesAgainOnlyAfterTheConditionCleared",
                 {{0, "OB 50", "ONBATT"},
                  {5, "--", "COMMBAD"},
                  {10, "--", ""},
                  {15, "OB 50", "COMMOK"},
                  {20, "OL 50", "ONLINE"}}},
        Sequence{"NeverAnsweredIsNoDecision",
                 {{0, "--", "COMMBAD"}, {60, "--", ""}, {120, "OL 80", "COMMOK ONLINE"}}},
        Sequence{"LostForThirtySecondsOnBattery",
                 {{0, "OB 50", "ONBATT"},
                  {5, "--", "COMMBAD"},
                  {34, "--", ""},
                  {35, "--", "LOWBATT SHUTDOWN !"},
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
        Sequence{"EventsAreNotifiedAfterTheState",
                 {{0, "OB 50", "ONBATT EVENT:1 EVENT:20", {kPowerLost, 20}},
                  {5, "OB 50", "BATTWARN EVENT:2", {kBatLow}},
                  {10, "OB 50", "LOWBATT EVENT:3", {kBatCriticalLow}},
                  {15, "OB 50", "SHUTDOWN EVENT:3 !", {kBatCriticalLow}}}},
        Sequence{"BatteryEventsOnLinePowerDecideNothing",
                 {{0, "OL 50", "ONLINE EVENT:2 EVENT:3", {kBatLow, kBatCriticalLow}},
                  {5, "OL 50", "EVENT:3", {kBatCriticalLow}}}},
        Sequence{"EventCountsNotBelievedAreSkipped",
                 {{0,
                   "OB 50",
                   "ONBATT [not_believed]",
                   {kBatCriticalLow},
                   -1,
                   -1,
                   DrainedEvents::not_believed},
                  {5, "OB 50", "", {kBatCriticalLow}, -1, -1, DrainedEvents::not_believed},
                  {10, "OB 50", "", {}, -1, -1, DrainedEvents::drained},
                  {15, "OB 50", "[read_failed]", {}, -1, -1, DrainedEvents::read_failed}}},
        Sequence{"NoShutdownOnlyNotifies",
                 {{0, "OB 5", "ONBATT BATTWARN LOWBATT"},
                  {5, "OB 5", "[not_acted_on]"},
                  {10, "OB 5", ""},
                  {15, "--", "COMMBAD"},
                  {50, "--", ""}},
                 false}),
    [](const testing::TestParamInfo<Sequence>& info) { return info.param.name; });

TEST(PowerGuard, ShutdownConditionAndDeadlineFollowThePolls) {
  PowerGuard guard(true);
  guard.step(input_of({0, "OB 9", ""}));
  EXPECT_FALSE(guard.low_battery());
  guard.step(input_of({5, "OB 9", ""}));
  EXPECT_TRUE(guard.low_battery());
  EXPECT_EQ(guard.lost_on_battery_deadline(), INT64_MAX);
  guard.step(input_of({10, "--", ""}));
  EXPECT_EQ(guard.lost_on_battery_deadline(), 40000);
  guard.step(input_of({40, "--", ""}));
  EXPECT_TRUE(guard.lost_on_battery());
  guard.step(input_of({45, "OL 9", ""}));
  EXPECT_FALSE(guard.low_battery());
  EXPECT_FALSE(guard.lost_on_battery());
}

struct ReplyCase {
  std::vector<uint8_t> reply;  // RX[0] to RX[5]
  bool plausible;
};

class PowerReply : public testing::TestWithParam<ReplyCase> {};

TEST_P(PowerReply, IsASupervisorsOrNoAnswer) {
  EXPECT_EQ(plausible_power_reply(GetParam().reply), GetParam().plausible);
}

INSTANTIATE_TEST_SUITE_P(Shapes, PowerReply,
                         testing::Values(ReplyCase{{0xFF, 0x0A, 0xAC, 0x0F, 0x57, 0xFF}, true},
                                         ReplyCase{{0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, false},
                                         ReplyCase{{0xFF, 0x00, 0x00, 0x00, 0x00, 0x00}, false},
                                         ReplyCase{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, false},
                                         ReplyCase{{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, false},
                                         ReplyCase{{0xFF, 0x08, 0x10, 0x0F, 0x65, 0xFF}, false},
                                         ReplyCase{{0xFF, 0x08, 0x10, 0x0F, 0x64, 0xFF}, true},
                                         ReplyCase{{0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF}, true}));

}  // namespace
