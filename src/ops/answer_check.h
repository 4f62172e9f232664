// SPDX-License-Identifier: MIT
// Whether a query's reply can be the supervisor's answer, or is what a bus
// gives without one. The tool's JSON, the monitor and the library judge
// replies by this one rule; setting commands are not judged.
#pragma once

#include <cstdint>

#include "ops/reply_values.h"

// What a query's reply must show to count as an answer. Every rule holds
// the bus rule: the bytes after RX[0] are neither all 0x00 (nothing on the
// bus) nor all 0xFF (a silent bus). RX[0] is clocked out while the command
// byte goes in, before the supervisor can answer, and never counts.
enum class AnswerRule : uint8_t {
  bus,
  percent,       // and RX[2] from 1 to 100, the range SET_LowBat takes
  power_status,  // and a charge of at most 100 %, and on battery a voltage
                 // of at least kMinBatteryMillivolts
};

// No battery a board runs from reads under 1 V while the board runs: a
// lower reading on battery (0 mV above all) is a supervisor that is not
// measuring, not a flat battery. On line power 0 mV may mean that no
// battery is fitted, so the floor holds on battery only.
inline constexpr unsigned kMinBatteryMillivolts = 1000;

// The reply, RX[0] up to the transfer length, judged by the rule.
bool is_answer(AnswerRule rule, Reply reply);
