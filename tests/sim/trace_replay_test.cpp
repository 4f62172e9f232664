// SPDX-License-Identifier: MIT
// Reading `supctl -D` traces back into exchanges, and answering frames from
// them.
#include "sim/trace_replay.h"

#include <gtest/gtest.h>

#include "common/captured_output.h"
#include "common/temp_dir.h"
#include "spi/frame_trace.h"

namespace {

// The trace of one exchange, written by the tool's own frame trace.
std::string traced(const sim::Exchange& exchange) {
  CapturedOutput output;
  dump_frame(output.stream(), exchange.tx.data(), static_cast<int>(exchange.tx.size()), "TX");
  dump_frame(output.stream(), exchange.rx.data(), static_cast<int>(exchange.rx.size()), "RX");
  return output.text();
}

std::vector<uint8_t> counting(uint8_t first, size_t length) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

// Lengths of one line, of full lines, and of full lines and a part; bytes
// that show in the character column as '|', blanks, newlines' dots and
// themselves beyond ASCII.
TEST(ParseTrace, ReadsBackWhatTheToolTraced) {
  const std::vector<sim::Exchange> exchanges = {
      {counting(0x23, 1), counting(0xFF, 1)},        {counting(0x21, 18), counting(0x00, 18)},
      {counting(0x27, 32), counting(0x70, 32)},      {counting(0x0A, 16), counting(0xF8, 16)},
      {counting(0x29, 4), {0x7C, 0x20, 0x0A, 0xAC}},
  };
  std::string text = "Device in use: /dev/spidev0.1\n";
  for (const sim::Exchange& exchange : exchanges) text += traced(exchange) + "decoded value\n\n";
  std::vector<sim::Exchange> read;
  std::string error;
  ASSERT_TRUE(sim::parse_trace(text, read, error)) << error;
  EXPECT_EQ(read, exchanges);
}

// A trace line with the cells given and "__" after them.
std::string line(const char* label, const std::string& cells) {
  std::string text = std::string(label) + " | " + cells + " ";
  while (text.size() < 5 + 3 * 16) text += "__ ";
  return text + " | ....\n";
}

struct BadTrace {
  std::string text;
  std::string error;
};

class ParseTraceErrors : public testing::TestWithParam<BadTrace> {};

TEST_P(ParseTraceErrors, NameTheLineAndTheProblem) {
  std::vector<sim::Exchange> exchanges;
  std::string error;
  EXPECT_FALSE(sim::parse_trace(GetParam().text, exchanges, error));
  EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseTraceErrors,
    testing::Values(
        BadTrace{"TX | 23 FF\n", "line 1: expected 16 cells, then \" | \""},
        BadTrace{"x\n" + line("TX", "23 FG"), "line 2: cell 2 is neither two hex digits nor __"},
        BadTrace{line("TX", "23 __ FF"), "line 1: a byte after the __ padding"},
        BadTrace{line("TX", "__"), "line 1: a line without a byte"},
        BadTrace{line("RX", "FF"), "line 1: RX without a TX before it"},
        BadTrace{line("TX", "23") + line("TX", "23") + line("RX", "FF"),
                 "line 1: TX without an RX after it"},
        BadTrace{line("TX", "23") + line("RX", "FF") + "\n" + line("TX", "23"),
                 "line 4: TX without an RX after it"},
        BadTrace{line("TX", "23 FF") + line("RX", "FF"), "line 2: RX of 1 bytes after a TX of 2"}));

TEST(LoadTrace, WithoutAFrameIsRefused) {
  const TempDir directory;
  const std::string path = directory.write("trace", "Power status:\ncharging line 4012mV 87%\n");
  std::vector<sim::Exchange> exchanges;
  std::string error;
  EXPECT_FALSE(sim::load_trace_file(path, exchanges, error));
  EXPECT_EQ(error, path + ": no frames");
}

struct Answer {
  std::vector<uint8_t> tx;
  std::vector<uint8_t> rx;
  std::string warning;
};

// Two exchanges of the same TX, one of another; then a TX never recorded.
TEST(TraceReplay, AnswersInRecordedOrderThenRepeatsTheLast) {
  const std::vector<sim::Exchange> recorded = {
      {{0x23, 0xFF}, {0xFF, 0x01}}, {{0x29, 0xFF}, {0xFF, 0x14}}, {{0x23, 0xFF}, {0xFF, 0x02}}};
  CapturedOutput warnings;
  sim::TraceReplay replay(recorded, warnings.stream());
  const Answer answers[] = {
      {{0x23, 0xFF}, {0xFF, 0x01}, ""},
      {{0x23, 0xFF}, {0xFF, 0x02}, ""},
      {{0x23, 0xFF}, {0xFF, 0x02}, ""},
      {{0x29, 0xFF}, {0xFF, 0x14}, ""},
      {{0x29, 0x00},
       {0xFF, 0xFF},
       "supctl-sim: no reply recorded for TX 29 00; the bus stays at 0xFF\n"},
  };
  std::string warned;
  for (const Answer& answer : answers) {
    std::vector<uint8_t> rx(answer.tx.size(), 0xFF);
    replay.answer(answer.tx, rx);
    EXPECT_EQ(rx, answer.rx);
    warned += answer.warning;
  }
  EXPECT_EQ(warnings.text(), warned);
}

}  // namespace
