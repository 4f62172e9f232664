// SPDX-License-Identifier: MIT
#include "monitor/board_report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

PollInput poll(int64_t seconds, bool answered, bool line, unsigned charge) {
  PollInput input = {};
  input.now_ms = seconds * 1000;
  input.answered = answered;
  input.power.line = line;
  input.power.charging = line && charge < 100;
  input.power.millivolts = 3920;
  input.power.charge_percent = static_cast<uint8_t>(charge);
  return input;
}

std::string definition(const PowerGuard& guard, const BoardDetails& details) {
  char text[1024];
  TextBuffer out(text, sizeof text);
  add_nut_definition(out, guard, details);
  return out.text();
}

const std::string kHeader = "device.type: ups\ndevice.mfr: supctl\n";

TEST(NutDefinition, HoldsTheBoardAsNutNamesIt) {
  PowerGuard guard(true);
  guard.step(poll(0, true, true, 57));
  BoardDetails details = {true, "0011", "Board \"7\" #2\tA\xe9", true, 253};
  EXPECT_EQ(definition(guard, details),
            kHeader +
                "device.model: Board ?7? ?2?A?\ndevice.serial: 0011\n"
                "battery.charge: 57\nbattery.voltage: 3.920\nbattery.charge.low: 10\n"
                "battery.charge.warning: 20\nbattery.runtime: \"\"\n"
                "battery.charger.status: charging\n"
                "ups.status: OL CHRG\nups.temperature: 25.3\nups.alarm: \"\"\n");
}

TEST(NutDefinition, FollowsTheStateWithoutAnAnswer) {
  PowerGuard guard(false);
  EXPECT_EQ(definition(guard, {}),
            kHeader + "ups.status: \"\"\nups.alarm: supervisor does not answer\n");
  const std::string on_battery =
      "battery.charge: 9\nbattery.voltage: 3.920\nbattery.charge.low: 10\n"
      "battery.charge.warning: 20\nbattery.runtime: \"\"\nbattery.charger.status: discharging\n";
  guard.step(poll(0, true, false, 9));
  guard.step(poll(5, true, false, 9));
  EXPECT_EQ(definition(guard, {}),
            kHeader + on_battery + "ups.status: OB DISCHRG LB\nups.alarm: \"\"\n");
  guard.step(poll(10, false, false, 0));
  guard.step(poll(40, false, false, 0));  // 30 s without an answer: the last values kept
  EXPECT_EQ(definition(guard, {}),
            kHeader + on_battery + "ups.status: OB LB\nups.alarm: supervisor does not answer\n");
  guard.step(poll(45, true, true, 9));  // line power back: no LB left
  EXPECT_NE(definition(guard, {}).find("OL CHRG\nups.alarm: \"\"\n"), std::string::npos);
}

// The runtime once known (27 s at 28 % and a percent a second), the
// rule's setting, and FSD once the supervisor asked for the shutdown.
TEST(NutDefinition, RuntimeAndForcedShutdown) {
  PowerGuard guard(false, {.runtime_low_s = 300, .forceshutdown = true});
  for (int at = 0; at < 12; ++at) guard.step(poll(at, true, false, 40 - at));
  PollInput forced = poll(12, true, false, 28);
  forced.events = {DrainedEvents::drained, 1, {5}};  // FORCESHUTDOWN
  guard.step(forced);
  const std::string text = definition(guard, {});
  EXPECT_NE(text.find("runtime: 27\nbattery.runtime.low: 300\nbattery.charger.status: discharging\n"
                      "ups.status: FSD OB DISCHRG LB\n"),
            text.npos)
      << text;
}

TEST(OnceLine, StatusChargeVoltageAndThresholds) {
  PollInput input = poll(0, true, false, 57);
  input.thresholds_read = true;
  input.low_bat = 20;
  input.critical_low_bat = 0;
  char text[128];
  TextBuffer out(text, sizeof text);
  add_once_line(out, input);
  EXPECT_STREQ(out.text(), "OB DISCHRG 57% 3.920V low 20% critical ?");
  input.critical_low_bat = 20;
  TextBuffer contradicting(text, sizeof text);
  add_once_line(contradicting, input);
  EXPECT_STREQ(text, "OB DISCHRG 57% 3.920V low 20% critical 20% (critical at or above low)");
}

TEST(TextBuffer, CutsWhatDoesNotFit) {
  char text[8];
  TextBuffer out(text, sizeof text);
  out.add("%s", "1234");
  out.add("%d", 56789);
  EXPECT_STREQ(out.text(), "1234567");
  EXPECT_TRUE(out.overflowed());
}

}  // namespace
