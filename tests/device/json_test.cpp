// SPDX-License-Identifier: MIT
// -j end to end: every shape of the JSON object, read back with jq and
// compared as JSON values, not as text.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "device_test.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct JsonCase {
  std::vector<std::string> args;
  Bytes reply;
  std::string members;  // what follows the common members: a jq expression of an object
  int status;
};

void PrintTo(const JsonCase& c, std::ostream* os) {
  for (const std::string& arg : c.args) *os << '"' << arg << "\" ";
}

std::string hex_of(const Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex = "\"";
  for (uint8_t byte : bytes) hex += {kDigits[byte >> 4], kDigits[byte & 0xF]};
  return hex + "\"";
}

// Whether jq reads text as one value equal to the members every run has
// (the frames null when nothing was sent), followed by members.
bool json_equals(const std::string& text, const std::string& operation, const std::string& tx,
                 const std::string& rx, const std::string& members) {
  const harness::ChildResult jq = harness::run_captured(
      {SUPCTL_JQ, "-n", "-e", "--argjson", "got", text, "--arg", "operation", operation,
       "--argjson", "tx", tx, "--argjson", "rx", rx,
       "$got == {format_version: 1, operation: $operation, device: \"/dev/spidev0.1\","
       " spi: {mode: 0, bits_per_word: 8, max_speed_hz: 100000}, tx: $tx, rx: $rx} + (" +
           members + ")"});
  return jq.exited_with(0);
}

Bytes info_reply() {
  const uint8_t start[] = {0xFF, 0xFF, 'a', '"', '\\', '\n', 0xE9};
  Bytes reply(66, 0x01);
  std::copy(std::begin(start), std::end(start), reply.begin());
  return reply;
}

using JsonOutput = DeviceTestWithParam<JsonCase>;

TEST_P(JsonOutput, IsOneObjectOnOneLine) {
  const JsonCase& c = GetParam();
  device.reply_with(c.reply);
  const harness::ChildResult run = run_on_device(c.args);
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
  std::string operation = "GET_PowerStatus";
  for (size_t i = 1; i < c.args.size(); ++i) {
    if (c.args[i - 1] == "-o") operation = c.args[i];
  }
  EXPECT_TRUE(json_equals(run.out, operation, tx, rx, c.members)) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, JsonOutput,
    testing::Values(
        // -v and -D add nothing to the object.
        JsonCase{{"-j", "-v", "-D"},
                 {0xFF, 0x0A, 0x10, 0x0F, 0x5A},
                 R"({"line": true, "charging": true, "pg": false, "motion": false,
                     "millivolts": 3856, "charge_percent": 90})",
                 0},
        JsonCase{{"--json", "-o", "GET_DeviceID"},
                 {0xFF, 0xFF, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA,
                  0xBB, 0xCC, 0xDD, 0xEE, 0xFF},
                 R"({"device_id": "00112233445566778899aabbccddeeff"})",
                 0},
        // 64 bytes of text without a zero byte, escaped to more than the
        // writer buffers at once.
        JsonCase{{"-j", "-o", "GET_DeviceInfo"},
                 info_reply(),
                 R"({"device_info": ("a\"\\\n\u00e9" + "\u0001" * 59)})",
                 0},
        JsonCase{{"-j", "-o", "GET_SupervisorMode"},
                 {0xFF, 0xFF, 0x0A},
                 R"({"supervisor_mode": 10})",
                 0},
        JsonCase{{"-j", "-o", "GET_ActiveUSBPorts"},
                 {0xFF, 0xFF, 0x05, 0x02},
                 R"({"active_usb_ports": [1, 3, 10]})",
                 0},
        JsonCase{{"-j", "-v", "-o", "GET_Event"},
                 {0xFF, 0xFF, 0x12, 0x01, 0x29},
                 R"({"event_count": 18, "events": ([{"code": 1, "name": "MAINPOWERLOST"},
                     {"code": 41, "name": null}] + [range(15) | {code: 255, name: null}])})",
                 0},
        JsonCase{
            {"-j", "-o", "GET_RGB"}, {0xFF, 0xFF, 0xFF, 0x80, 0x00}, R"({"rgb": "#ff8000"})", 0},
        JsonCase{{"-j", "-o", "GET_CriticalLowBat"},
                 {0xFF, 0xFF, 0x05},
                 R"({"critical_low_bat_percent": 5})",
                 0},
        JsonCase{{"-j", "-o", "GET_BoardTemperature"},
                 {0xFF, 0xFF, 0xFD, 0x00},
                 R"({"temperature_celsius": 25.3})",
                 0},
        JsonCase{{"-j", "-o", "SET_PowerOFF", "-a", "x10"}, {}, R"({"value": 16})", 0},
        JsonCase{{"-j", "-o", "SET_RGB", "-a", "#1ff8000"}, {}, R"({"value": "#ff8000"})", 0},
        JsonCase{{"-j", "-o", "GET_\"Bogus\\"},
                 {},
                 R"({"error": "Operation unknown", "error_code": "unknown_operation"})",
                 1},
        JsonCase{{"-j", "-o", "SET_WriteNVM"},
                 {},
                 R"({"error": "TBD", "error_code": "not_implemented"})",
                 1},
        JsonCase{{"-j", "-o", "SET_RGB", "-a", "ff8000"},
                 {},
                 R"({"error": "Syntax error", "error_code": "syntax_error"})",
                 1},
        JsonCase{{"-j", "-o", "SET_LowBat", "-a", "abc"},
                 {},
                 R"({"error": "Parser failed", "error_code": "parser_failed"})",
                 1}));

}  // namespace
