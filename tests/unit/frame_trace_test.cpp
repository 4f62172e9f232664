// SPDX-License-Identifier: MIT
#include "spi/frame_trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/captured_output.h"

namespace {

std::string trace(const std::vector<uint8_t>& bytes, const char* label = "TX") {
  CapturedOutput output;
  dump_frame(output.stream(), bytes.data(), static_cast<int>(bytes.size()), label);
  return output.text();
}

std::vector<uint8_t> command_then_ff(uint8_t command, size_t length) {
  std::vector<uint8_t> bytes(length, 0xFF);
  bytes[0] = command;
  return bytes;
}

struct TraceCase {
  std::vector<uint8_t> bytes;
  std::string expected;
};

class DumpFrame : public testing::TestWithParam<TraceCase> {};

TEST_P(DumpFrame, PrintsCellsPaddingAndCharacters) {
  EXPECT_EQ(trace(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, DumpFrame,
    testing::Values(
        TraceCase{{}, "TX | "},
        TraceCase{command_then_ff(0x23, 6),
                  "TX | 23 FF FF FF FF FF __ __ __ __ __ __ __ __ __ __  | #.....\n"},
        TraceCase{command_then_ff(0x21, 16),
                  "TX | 21 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF  | !...............\n"},
        TraceCase{command_then_ff(0x21, 17),
                  "TX | 21 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF  | !...............\n"
                  "TX | FF __ __ __ __ __ __ __ __ __ __ __ __ __ __ __  | .\n"},
        TraceCase{command_then_ff(0x21, 18),
                  "TX | 21 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF  | !...............\n"
                  "TX | FF FF __ __ __ __ __ __ __ __ __ __ __ __ __ __  | ..\n"},
        TraceCase{command_then_ff(0x27, 32),
                  "TX | 27 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF  | '...............\n"
                  "TX | FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF  | ................\n"},
        // Controls, the space and 0xFF show as dots; 0x21..0xFE as themselves.
        TraceCase{
            {0x00, 0x0A, 0x1F, 0x20, 0x21, 0x41, 0x7E, 0x7F, 0x80, 0xFE, 0xFF},
            "TX | 00 0A 1F 20 21 41 7E 7F 80 FE FF __ __ __ __ __  | ....!A~\x7f\x80\xfe.\n"}));

TEST(DumpFrame, RepeatsTheLabelOnEveryLine) {
  EXPECT_EQ(trace(std::vector<uint8_t>(20, 0x41), "RX"),
            "RX | 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41  | AAAAAAAAAAAAAAAA\n"
            "RX | 41 41 41 41 __ __ __ __ __ __ __ __ __ __ __ __  | AAAA\n");
}

}  // namespace
