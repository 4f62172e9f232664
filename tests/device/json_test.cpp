// SPDX-License-Identifier: MIT
// -j end to end: every shape of the JSON object, read back with jq and
// compared as JSON values, not as text.
#include <gtest/gtest.h>

#include "device_test.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct JsonCase {
  std::string operation;  // what -o names; empty: no -o
  std::vector<std::string> more_args;
  Bytes reply;
  std::string members;  // what follows the common members: a jq expression of an object
  int status = 0;
};

void PrintTo(const JsonCase& c, std::ostream* os) { *os << '"' << c.operation << '"'; }

std::string hex_of(const Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex = "\"";
  for (uint8_t byte : bytes) hex += {kDigits[byte >> 4], kDigits[byte & 0xF]};
  return hex + "\"";
}

using JsonOutput = DeviceTestWithParam<JsonCase>;

TEST_P(JsonOutput, IsOneObjectOnOneLine) {
  const JsonCase& c = GetParam();
  device.reply_with(c.reply);
  std::vector<std::string> args = {"-j"};
  if (!c.operation.empty()) args.insert(args.end(), {"-o", c.operation});
  args.insert(args.end(), c.more_args.begin(), c.more_args.end());
  const harness::ChildResult run = run_on_device(args);
  EXPECT_TRUE(run.exited_with(c.status)) << run.describe();
  EXPECT_EQ(run.err, "");
  ASSERT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
  const std::vector<sim::Transfer> transfers = device.transfers();
  std::string tx = "null", rx = "null";
  if (!transfers.empty()) {
    Bytes received = c.reply;
    received.resize(transfers[0].tx.size(), 0xFF);
    tx = hex_of(transfers[0].tx);
    rx = hex_of(received);
  }
  // One value: the members every run has (the frames null when nothing was
  // sent), followed by the row's.
  const harness::ChildResult jq = harness::run_captured(
      {SUPCTL_JQ, "-n", "-e", "--argjson", "got", run.out, "--arg", "operation",
       c.operation.empty() ? "GET_PowerStatus" : c.operation, "--argjson", "tx", tx, "--argjson",
       "rx", rx,
       "$got == {format_version: 1, operation: $operation, device: \"/dev/spidev0.1\","
       " spi: {mode: 0, bits_per_word: 8, max_speed_hz: 100000}, tx: $tx, rx: $rx} + (" +
           c.members + ")"});
  EXPECT_TRUE(jq.exited_with(0)) << run.out << jq.err;
}

const JsonCase kCases[] = {
    // -v and -D add nothing to the object.
    {"",
     {"-v", "-D"},
     {0xFF, 0x0A, 0x10, 0x0F, 0x5A},
     R"({line: true, charging: true, pg: false, motion: false, millivolts: 3856,
         charge_percent: 90})"},
    {"GET_DeviceID", {}, {0xFF, 0xFF, 0x01, 0x23}, R"({device_id: ("0123" + "ff" * 14)})"},
    // 64 bytes of text without a zero byte, escaped to more than the writer
    // buffers at once.
    {"GET_DeviceInfo", {}, {0xFF, 0xFF, 'a'}, R"({device_info: ("a" + "\u00ff" * 63)})"},
    {"GET_SupervisorMode", {}, {0xFF, 0xFF, 0x0A}, R"({supervisor_mode: 10})"},
    {"GET_ActiveUSBPorts", {}, {0xFF, 0xFF, 0x05, 0x02}, R"({active_usb_ports: [1, 3, 10]})"},
    {"GET_Event",
     {},
     {0xFF, 0xFF, 0x12, 0x01, 0x29},
     R"({event_count: 18, events: ([{code: 1, name: "MAINPOWERLOST"}, {code: 41, name: null}]
         + [range(15) | {code: 255, name: null}])})"},
    {"GET_RGB", {}, {0xFF, 0xFF, 0xFF, 0x80, 0x00}, R"({rgb: "#ff8000"})"},
    {"GET_CriticalLowBat", {}, {0xFF, 0xFF, 0x05}, R"({critical_low_bat_percent: 5})"},
    {"GET_BoardTemperature", {}, {0xFF, 0xFF, 0xFD, 0x00}, R"({temperature_celsius: 25.3})"},
    {"SET_PowerOFF", {"-a", "x10"}, {}, R"({value: 16})"},
    {"SET_RGB", {"-a", "#1ff8000"}, {}, R"({value: "#ff8000"})"},
    {"GET_\"Bogus\\",
     {},
     {},
     R"({error: "Operation unknown", error_code: "unknown_operation"})",
     1},
    {"SET_WriteNVM", {}, {}, R"({error: "TBD", error_code: "not_implemented"})", 1},
    {"SET_RGB", {"-a", "ff8000"}, {}, R"({error: "Syntax error", error_code: "syntax_error"})", 1},
    {"SET_LowBat",
     {"-a", "abc"},
     {},
     R"({error: "Parser failed", error_code: "parser_failed"})",
     1},
    // Replies that are no answer, one for each rule of the operation table:
    // decoded all the same, then answered false, status 3.
    {"",
     {},
     {},
     R"({line: true, charging: true, pg: true, motion: true, millivolts: 65535,
         charge_percent: 255, answered: false})",
     3},
    {"GET_PowerStatus",
     {},
     {0xFF, 0x08, 0xAC, 0x0F, 0x65},
     R"({line: true, charging: false, pg: false, motion: false, millivolts: 4012,
         charge_percent: 101, answered: false})",
     3},
    {"GET_LowBat", {}, {0xFF, 0xFF, 0x00}, R"({low_bat_percent: 0, answered: false})", 3},
    {"GET_SupervisorMode", {}, {0, 0, 0, 0}, R"({supervisor_mode: 0, answered: false})", 3},
};

INSTANTIATE_TEST_SUITE_P(Shapes, JsonOutput, testing::ValuesIn(kCases));

// A device failure is one object with the errno and status 4, never an abort.
TEST_F(DeviceTest, DeviceFailureInJsonIsAnObjectAndStatusFour) {
  const struct {
    const char* device;
    bool transfer_fails;
    std::string object;
  } kFailures[] = {
      {"/dev/spidev0.7", false,
       R"({device: "/dev/spidev0.7", spi: null, error: "can't open device", error_code: "system_error", errno: 2,
           errno_name: "ENOENT"})"},
      {"/dev/spidev0.1", true,
       R"({device: "/dev/spidev0.1", spi: {mode: 0, bits_per_word: 8, max_speed_hz: 100000},
           error: "can't send spi message", error_code: "system_error", errno: 5,
           errno_name: "EIO"})"},
  };
  for (const auto& failure : kFailures) {
    if (failure.transfer_fails) device.set_transfer_result(-1);
    const harness::ChildResult run = run_on_device({"-j", "-o", "GET_RGB", "-d", failure.device});
    EXPECT_TRUE(run.exited_with(4)) << run.describe();
    EXPECT_EQ(run.err, "");
    const harness::ChildResult jq = harness::run_captured(
        {SUPCTL_JQ, "-n", "-e", "--argjson", "got", run.out,
         "$got == {format_version: 1, operation: \"GET_RGB\", tx: null, rx: null} + " +
             failure.object});
    EXPECT_TRUE(jq.exited_with(0)) << run.out << jq.err;
  }
}

}  // namespace
