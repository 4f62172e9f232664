// SPDX-License-Identifier: MIT
// How the simulated supervisor reacts to a change of its values: the events
// it queues and how the power flags follow.
#include "sim/supervisor_model.h"

#include <gtest/gtest.h>

#include "ops/decoders.h"
#include "sim/state_file.h"

namespace {

struct Reaction {
  const char* what;
  std::vector<std::string> board;   // "key=value" on a fresh board, no events queued
  std::vector<std::string> change;  // "key=value"
  std::vector<std::string> events;  // the names queued
  uint32_t power_flags;             // afterwards
};

sim::SupervisorState with(sim::SupervisorState state, const std::vector<std::string>& values) {
  for (const std::string& value : values) {
    const size_t equals = value.find('=');
    std::string error;
    EXPECT_TRUE(
        sim::set_state_value(state, value.substr(0, equals), value.substr(equals + 1), error))
        << error;
  }
  return state;
}

std::vector<std::string> event_names(const std::vector<uint8_t>& codes) {
  std::vector<std::string> names;
  names.reserve(codes.size());
  for (uint8_t code : codes) names.push_back(event_name(code));
  return names;
}

class BoardReaction : public testing::TestWithParam<Reaction> {};

TEST_P(BoardReaction, QueuesTheEventsAndTheFlagsFollow) {
  sim::SupervisorState fresh = sim::initial_state();
  fresh.events.clear();
  const sim::SupervisorState before = with(fresh, GetParam().board);
  sim::SupervisorState after = with(before, GetParam().change);
  sim::react_to_change(before, after);
  EXPECT_EQ(event_names(after.events), GetParam().events);
  EXPECT_EQ(after.power_flags, GetParam().power_flags);
}

// A fresh board: line power and charging (0x0a), 87 %, low_bat 20,
// critical_low_bat 10.
INSTANTIATE_TEST_SUITE_P(
    Rules, BoardReaction,
    testing::Values(
        Reaction{"ChargeToLow", {}, {"charge_percent=20"}, {"BATLOW"}, 0x0a},
        Reaction{"ChargeAboveLow", {}, {"charge_percent=21"}, {}, 0x0a},
        Reaction{"ChargeToCritical", {}, {"charge_percent=5"}, {"BATLOW", "BATCRITICALLOW"}, 0x0a},
        Reaction{"ChargeBackFromCritical",
                 {"charge_percent=10"},
                 {"charge_percent=50"},
                 {"BATLOWOFF", "BATCRITICALLOWOFF"},
                 0x0a},
        Reaction{"ThresholdRaisedAboveCharge", {}, {"low_bat=90"}, {"BATLOW"}, 0x0a},
        Reaction{"LinePowerLost", {}, {"power_flags=0x02"}, {"MAINPOWERLOST"}, 0x00},
        Reaction{"LinePowerBack",
                 {"power_flags=0x04"},
                 {"power_flags=0x0c"},
                 {"MAINPOWERBACK", "BATCHARGING"},
                 0x0e},
        Reaction{"LinePowerBackToAFullBattery",
                 {"power_flags=0", "charge_percent=100"},
                 {"power_flags=0x08"},
                 {"MAINPOWERBACK"},
                 0x08},
        Reaction{
            "ChargingStarted", {"power_flags=0x08"}, {"power_flags=0x0a"}, {"BATCHARGING"}, 0x0a},
        Reaction{"ChargingWithoutLinePower", {"power_flags=0"}, {"power_flags=0x02"}, {}, 0x00},
        Reaction{"BatteryFull", {}, {"charge_percent=100"}, {"BATCHARGED"}, 0x08},
        Reaction{"MotionDetected", {}, {"power_flags=0x0b"}, {"MOTIONDETECTED"}, 0x0b},
        Reaction{
            "MotionStopped", {"power_flags=0x0b"}, {"power_flags=0x0a"}, {"MOTIONSTOPED"}, 0x0a},
        Reaction{"NothingChanged", {"charge_percent=5"}, {}, {}, 0x0a}),
    [](const testing::TestParamInfo<Reaction>& info) { return info.param.what; });

struct BatteryRun {
  const char* what;
  std::vector<std::string> board;  // "key=value" on a fresh board, no events queued
  int64_t seconds;                 // from charge_updated = 600 s to now
  uint32_t percent;
  uint32_t fraction;
  std::vector<std::string> events;
};

class Battery : public testing::TestWithParam<BatteryRun> {};

TEST_P(Battery, RunsByTheClock) {
  sim::SupervisorState fresh = sim::initial_state();
  fresh.events.clear();
  sim::SupervisorState state = with(fresh, GetParam().board);
  state.charge_updated = 600000000;
  const uint64_t now = static_cast<uint64_t>(600000000 + GetParam().seconds * 1000000);
  sim::bring_up_to_date(state, now);
  EXPECT_EQ(state.charge_percent, GetParam().percent);
  EXPECT_EQ(state.charge_fraction, GetParam().fraction);
  EXPECT_EQ(event_names(state.events), GetParam().events);
  EXPECT_EQ(state.charge_updated, now);
}

// A fresh board is on line power at 87 %, low_bat 20.
const std::vector<std::string> kDraining = {"power_flags=0", "drain_per_minute=60"};

INSTANTIATE_TEST_SUITE_P(
    Rules, Battery,
    testing::Values(
        BatteryRun{"HoldsWithoutRates", {"power_flags=0"}, 3600, 87, 0, {}},
        BatteryRun{"DrainsOffLine", {"power_flags=0", "drain_per_minute=2"}, 90, 84, 0, {}},
        BatteryRun{"KeepsTheFraction", {"power_flags=0", "drain_per_minute=1"}, 30, 87, 500000, {}},
        BatteryRun{"NoDrainOnLine", {"drain_per_minute=5"}, 60, 87, 0, {}},
        BatteryRun{"DrainToLowBat", kDraining, 67, 20, 0, {"BATLOW"}},
        BatteryRun{"DrainStopsAtZero", kDraining, 3600, 0, 0, {"BATLOW", "BATCRITICALLOW"}},
        BatteryRun{"ChargesToFull", {"charge_per_minute=10"}, 120, 100, 0, {"BATCHARGED"}},
        BatteryRun{"ClockWentBack", kDraining, -60, 87, 0, {}}),
    [](const testing::TestParamInfo<BatteryRun>& info) { return info.param.what; });

TEST(BoardReaction, SettingCommandsReactToo) {
  sim::SupervisorState state = sim::initial_state();
  state.events.clear();
  const uint8_t set_low_bat_90[] = {0x63, 90, 0xFF};
  uint8_t rx[3];
  sim::answer_frame(state, set_low_bat_90, rx);
  EXPECT_EQ(event_names(state.events), std::vector<std::string>{"BATLOW"});
}

}  // namespace
