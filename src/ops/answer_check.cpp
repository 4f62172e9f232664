// SPDX-License-Identifier: MIT
#include "ops/answer_check.h"

#include <algorithm>

namespace {

bool bus_answered(Reply reply) {
  const Reply answer = reply.subspan(1);
  const auto all = [&](uint8_t value) {
    return std::all_of(answer.begin(), answer.end(), [&](uint8_t b) { return b == value; });
  };
  return !all(0x00) && !all(0xFF);
}

bool power_status_plausible(Reply reply) {
  if (reply.size() < 5) return false;
  const PowerStatus power = decode_power_status(reply);
  return power.charge_percent <= 100 && (power.line || power.millivolts >= kMinBatteryMillivolts);
}

}  // namespace

bool is_answer(AnswerRule rule, Reply reply) {
  if (reply.size() < 2 || !bus_answered(reply)) return false;
  switch (rule) {
    case AnswerRule::bus: return true;
    case AnswerRule::percent: {
      if (reply.size() < 3) return false;
      const uint8_t percent = decode_byte(reply);
      return percent >= 1 && percent <= 100;
    }
    case AnswerRule::power_status: return power_status_plausible(reply);
  }
  return false;
}
