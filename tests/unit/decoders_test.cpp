// SPDX-License-Identifier: MIT
#include "ops/decoders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/captured_output.h"

namespace {

struct PowerCase {
  std::vector<uint8_t> reply;  // RX[0] to RX[5]
  std::string expected;
};

class PowerStatus : public testing::TestWithParam<PowerCase> {};

TEST_P(PowerStatus, PrintsFlagsVoltageAndLevel) {
  CapturedOutput output;
  print_value(output.stream(), decode_reply(ValueKind::power_status, GetParam().reply), false);
  EXPECT_EQ(output.text(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, PowerStatus,
    testing::Values(PowerCase{{0xFF, 0x0A, 0x10, 0x0F, 0x5A, 0xFF}, "charging line 3856mV 90%\n\n"},
                    PowerCase{{0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF}, "0mV 0%\n\n"},
                    PowerCase{{0xFF, 0xF0, 0x00, 0x00, 0x00, 0xFF}, "0mV 0%\n\n"},
                    PowerCase{{0xFF, 0x0F, 0x00, 0x00, 0x00, 0xFF},
                              "motion charging pg line 0mV 0%\n\n"},
                    PowerCase{{0xFF, 0x05, 0x01, 0x00, 0xC8, 0xFF}, "motion pg 1mV 200%\n\n"},
                    PowerCase{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                              "motion charging pg line 65535mV 255%\n\n"}));

// A reply of the given transfer length: RX[0] = 0xFF, values from RX[1] on,
// the rest 0xFF as the exchange leaves it.
std::vector<uint8_t> reply_of(size_t length, std::vector<uint8_t> from_rx1) {
  from_rx1.insert(from_rx1.begin(), 0xFF);
  from_rx1.resize(length, 0xFF);
  return from_rx1;
}

struct DecodeCase {
  ValueKind kind;
  std::vector<uint8_t> reply;
  bool verbose;
  std::string expected;
};

using enum ValueKind;

class Decoder : public testing::TestWithParam<DecodeCase> {};

TEST_P(Decoder, PrintsTheValueLineAndAnEmptyLine) {
  CapturedOutput output;
  print_value(output.stream(), decode_reply(GetParam().kind, GetParam().reply), GetParam().verbose);
  EXPECT_EQ(output.text(), GetParam().expected);
}

std::string repeat(const std::string& text, int times) {
  std::string result;
  while (times-- > 0) result += text;
  return result;
}

std::vector<uint8_t> counting_id() {
  std::vector<uint8_t> bytes = {0xFF, 0xFF};
  for (uint8_t i = 0; i < 16; ++i) bytes.push_back(static_cast<uint8_t>(i * 0x11));
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Values, Decoder,
    testing::Values(
        DecodeCase{device_id, counting_id(), false, "00112233445566778899aabbccddeeff\n\n"},
        DecodeCase{device_id, reply_of(18, {}), false, std::string(32, 'f') + "\n\n"},
        DecodeCase{device_info, reply_of(66, {0xFF, 'v', '1', 0, 'x'}), false, "v1\n\n"},
        DecodeCase{device_info, reply_of(66, {0xFF, 0}), false, "\n\n"},
        DecodeCase{hex_byte, reply_of(4, {0xFF, 0x0A}), false, "0a\n\n"},
        DecodeCase{decimal_byte, reply_of(4, {0xFF, 0xFF}), false, "255\n\n"},
        DecodeCase{decimal_byte, reply_of(4, {0xFF, 0x00}), false, "0\n\n"},
        DecodeCase{number_list, reply_of(4, {0xFF, 0x05, 0x02}), false, "[1 3 10 ]\n\n"},
        DecodeCase{number_list, reply_of(4, {0xFF, 0x00, 0xFC}), false, "[]\n\n"},
        DecodeCase{number_list, reply_of(4, {0xFF, 0xFF, 0xFF}), false,
                   "[1 2 3 4 5 6 7 8 9 10 ]\n\n"},
        DecodeCase{events, reply_of(20, {0xFF, 3, 0x01, 0x02, 0x0F}), false, "03 01020f\n\n"},
        DecodeCase{events, reply_of(20, {0xFF, 3, 0x01, 0x02, 0x0F}), true,
                   "03 MAINPOWERLOST BATLOW RESET \n\n"},
        DecodeCase{events, reply_of(20, {0xFF, 0}), false, "00 \n\n"},
        DecodeCase{events, reply_of(20, {0xFF, 2, 20, 40}), true,
                   "02 POWER-ON_RESET (POR) / POWER-DOWN_RESET (PDR) 0x28 \n\n"},
        // Codes without a name print as hexadecimal.
        DecodeCase{events, reply_of(20, {0xFF, 4, 41, 63, 64, 255}), true,
                   "04 0x29 0x3f 0x40 0xff \n\n"},
        // A count beyond what the reply holds prints the 17 codes there are.
        DecodeCase{events, reply_of(20, {0xFF, 255}), false, "ff " + repeat("ff", 17) + "\n\n"},
        DecodeCase{events, reply_of(20, {0xFF, 18, 1}), true,
                   "12 MAINPOWERLOST " + repeat("0xff ", 16) + "\n\n"},
        DecodeCase{rgb, reply_of(6, {0xFF, 0xFF, 0x80, 0x00}), false, "#ff8000\n\n"},
        DecodeCase{temperature, reply_of(6, {0xFF, 0xFD, 0x00}), false, "25.3`C\n\n"},
        DecodeCase{temperature, reply_of(6, {0xFF, 5, 0}), false, "0.5`C\n\n"},
        DecodeCase{temperature, reply_of(6, {0xFF, 0, 0}), false, "0.0`C\n\n"},
        DecodeCase{temperature, reply_of(6, {0xFF, 0xFF, 0xFF}), false, "6553.5`C\n\n"}));

// A text with no zero byte is printed whole and not a byte beyond the reply.
TEST(DeviceInfo, TextWithoutZeroByteStopsAtTheEndOfTheReply) {
  std::vector<uint8_t> buffer(96, 0);  // zero bytes right behind the reply
  std::fill(buffer.begin(), buffer.begin() + 66, 'A');
  CapturedOutput output;
  print_value(output.stream(), decode_reply(device_info, Reply(buffer.data(), 66)), false);
  EXPECT_EQ(output.text(), std::string(64, 'A') + "\n\n");
}

TEST(EventNames, NameCodesUpTo40Only) {
  EXPECT_STREQ(event_name(0), "NONE");
  EXPECT_STREQ(event_name(9), "MOTIONSTOPED");
  EXPECT_STREQ(event_name(33), "ERASED_C10");
  EXPECT_STREQ(event_name(40), "0x28");
  for (unsigned code = 41; code < 256; ++code) EXPECT_EQ(event_name(code), nullptr) << code;
}

}  // namespace
