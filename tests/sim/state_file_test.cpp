// SPDX-License-Identifier: MIT
#include "sim/state_file.h"

#include <gtest/gtest.h>

namespace {

TEST(StateFile, FormattedStateReadsBackEqual) {
  sim::SupervisorState changed = sim::initial_state();
  changed.device_id.fill(0xA5);
  changed.device_info = "board = rev B";  // an equals sign inside the value
  changed.millivolts = 65535;
  changed.magic = 0xFFFFFFFF;
  changed.events = {0x00, 0x0A, 0xFF};
  changed.powered_off = 1;

  sim::SupervisorState read = sim::initial_state();
  std::string error;
  ASSERT_TRUE(sim::parse_state(sim::format_state(changed), read, error)) << error;
  EXPECT_EQ(sim::format_state(read), sim::format_state(changed));
  EXPECT_EQ(read.events, changed.events);
  EXPECT_EQ(read.device_info, "board = rev B");
}

struct BadLine {
  const char* text;
  const char* error;
};

class StateFileErrors : public testing::TestWithParam<BadLine> {};

TEST_P(StateFileErrors, NameTheLineAndTheProblem) {
  sim::SupervisorState state = sim::initial_state();
  std::string error;
  EXPECT_FALSE(sim::parse_state(GetParam().text, state, error));
  EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, StateFileErrors,
    testing::Values(
        BadLine{"millivolts 5", "line 1: expected key = value"},
        BadLine{"# comment\n\nvolts = 5", "line 3: unknown key 'volts'"},
        BadLine{"charge_percent = 256", "line 1: charge_percent: expected a number from 0 to 255"},
        BadLine{"low_bat = -1", "line 1: low_bat: expected a number from 0 to 255"},
        BadLine{"active_mcus = 0x400", "line 1: active_mcus: expected a number from 0 to 1023"},
        BadLine{"device_id = 00", "line 1: device_id: expected 32 hexadecimal digits"},
        BadLine{"events = 1 zz",
                "line 1: events: expected up to 64 hexadecimal event codes "
                "separated by blanks"}));

}  // namespace
