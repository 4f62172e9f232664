// SPDX-License-Identifier: MIT
#include "ops/answer_check.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Shape {
  AnswerRule rule;
  std::vector<uint8_t> reply;  // RX[0] onwards
  bool answer;
};

TEST(AnswerCheck, TellsAnAnswerFromABus) {
  const Shape kShapes[] = {
      {AnswerRule::bus, {0x00, 0x00, 0x00}, false},  // nothing on the bus
      {AnswerRule::bus, {0xFF, 0x00, 0x00}, false},  // RX[0] never counts
      {AnswerRule::bus, {0x00, 0xFF, 0xFF}, false},  // a silent bus
      {AnswerRule::bus, {0xFF, 0x00, 0xFF}, true},
      {AnswerRule::percent, {0xFF, 0x01, 0x00}, false},  // 0 %
      {AnswerRule::percent, {0xFF, 0x00, 0x01}, true},
      {AnswerRule::percent, {0xFF, 0x00, 0x64}, true},
      {AnswerRule::percent, {0xFF, 0x00, 0x65}, false},  // 101 %
      {AnswerRule::power_status, {0xFF, 0x08, 0x10, 0x0F, 0x64, 0xFF}, true},
      {AnswerRule::power_status, {0xFF, 0x08, 0x10, 0x0F, 0x65, 0xFF}, false},  // 101 %
      {AnswerRule::power_status, {0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF}, false},  // battery, 0 mV
      {AnswerRule::power_status, {0xFF, 0x00, 0xE7, 0x03, 0x05, 0xFF}, false},  // battery, 999 mV
      {AnswerRule::power_status, {0xFF, 0x00, 0xE8, 0x03, 0x05, 0xFF}, true},   // battery, 1000 mV
      {AnswerRule::power_status, {0xFF, 0x08, 0x00, 0x00, 0x00, 0xFF}, true},   // line, no battery
  };
  for (const auto& [rule, reply, answer] : kShapes)
    EXPECT_EQ(is_answer(rule, reply), answer)
        << static_cast<int>(rule) << " " << testing::PrintToString(reply);
}

}  // namespace
