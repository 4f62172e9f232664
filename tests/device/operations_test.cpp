// SPDX-License-Identifier: MIT
// Every operation name through the real binary: the frame it sends (or that
// it sends none), what it prints for a scripted reply, and its exit status.
#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <sstream>

#include "device_test.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct OperationCase {
  std::vector<std::string> args;
  Bytes reply;  // what the supervisor answers, RX[0] on
  Bytes frame;  // the TX frame expected; empty: nothing may be sent
  std::string out;
  int status;
};

void PrintTo(const OperationCase& c, std::ostream* os) {
  for (const std::string& arg : c.args) *os << '"' << arg << "\" ";
}

const std::string kSyntaxError = "Error: Syntax error\n";
const std::string kSyntaxErrorAndEmptyLine = "Error: Syntax error\n\n";
const std::string kParserFailed = "Error: Parser failed\n";
const std::string kTbd = "Error: TBD\n";

// A command with a refused argument: the error line, status 1, no frame.
OperationCase refused(const char* name, const char* arg, const std::string& line) {
  return {{"-D", "-o", name, "-a", arg}, {}, {}, line, 1};
}

// A setting command that sends frame and prints out (its echo, if any).
OperationCase sends(const char* name, const char* arg, Bytes frame, std::string out = "") {
  return {{"-o", name, "-a", arg}, {}, std::move(frame), std::move(out), 0};
}

OperationCase answers(std::vector<std::string> args, Bytes reply, Bytes frame, std::string out) {
  return {std::move(args), std::move(reply), std::move(frame), std::move(out), 0};
}

Bytes query_frame(uint8_t command, size_t length) { return frame_of({command}, length); }

using Operations = DeviceTestWithParam<OperationCase>;

TEST_P(Operations, SendFrameAndPrintReply) {
  const OperationCase& c = GetParam();
  device.reply_with(c.reply);
  const harness::ChildResult run = run_on_device(c.args);
  EXPECT_TRUE(run.exited_with(c.status)) << run.describe();
  EXPECT_EQ(run.out, c.out);
  EXPECT_EQ(run.err, "");
  const std::vector<sim::Transfer> transfers = device.transfers();
  if (c.frame.empty()) {
    EXPECT_TRUE(transfers.empty());
    EXPECT_EQ(device.requests(), kSettingsRequests);
  } else {
    ASSERT_EQ(transfers.size(), 1u);
    EXPECT_EQ(transfers[0].tx, c.frame);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Queries, Operations,
    testing::Values(
        OperationCase{{"-D", "-o", "GET_ReadNVM", "-a", "1"}, {}, {}, kTbd, 1},
        answers({"-o", "GET_DeviceID"}, {}, query_frame(0x21, 18), std::string(32, 'f') + "\n\n"),
        answers({"-v", "-o", "GET_DeviceInfo"}, {0xFF, 0xFF, 'B', 'o', 'a', 'r', 'd', ' ', '2', 0},
                query_frame(0x22, 66), "Device info:\nBoard 2\n\n"),
        answers({"-o", "GET_PowerStatus"}, {0xFF, 0x0A, 0x10, 0x0F, 0x5A, 0xFF},
                query_frame(0x23, 6), "charging line 3856mV 90%\n\n"),
        answers({"-v", "-o", "GET_SupervisorMode"}, {0xFF, 0xFF, 0x0A}, query_frame(0x24, 4),
                "Supervisor mode:\n0a\n\n"),
        answers({"-o", "GET_ActiveMCU"}, {0xFF, 0xFF, 0x05, 0x02}, query_frame(0x25, 4),
                "[1 3 10 ]\n\n"),
        answers({"-v", "-o", "GET_ActiveMCU"}, {0xFF, 0xFF, 0xFF, 0xFF}, query_frame(0x25, 4),
                "Active MCU:\n[1 2 3 4 5 6 7 8 9 10 ]\n\n"),
        answers({"-v", "-o", "GET_ActiveUSBPorts"}, {0xFF, 0xFF, 0x00, 0xFC}, query_frame(0x26, 4),
                "Active USB port:\n[]\n\n"),
        answers({"-o", "GET_Event"}, {0xFF, 0xFF, 0x03, 0x01, 0x02, 0x0F}, query_frame(0x27, 20),
                "03 01020f\n\n"),
        answers({"-v", "-o", "GET_Event"}, {0xFF, 0xFF, 0x03, 0x01, 0x02, 0x0F},
                query_frame(0x27, 20), "Event:\n03 MAINPOWERLOST BATLOW RESET \n\n"),
        answers({"-o", "GET_RGB"}, {0xFF, 0xFF, 0xFF, 0x80, 0x00}, query_frame(0x28, 6),
                "#ff8000\n\n"),
        answers({"-v", "-o", "GET_LowBat"}, {0xFF, 0xFF, 0xFF}, query_frame(0x29, 4),
                "Threshold - low bat:\n255\n\n"),
        answers({"-v", "-o", "GET_CriticalLowBat"}, {0xFF, 0xFF, 0x05}, query_frame(0x2A, 4),
                "Threshold - critial low bat:\n5\n\n"),
        answers({"-v", "-o", "GET_AccelSensitivity"}, {0xFF, 0xFF, 0x20}, query_frame(0x2B, 4),
                "Threshold - accelerometer:\n32\n\n"),
        answers({"-v", "-o", "GET_BoardTemperature"}, {0xFF, 0xFF, 0xFD, 0x00},
                query_frame(0x2C, 6), "Board temperature:\n25.3`C\n\n"),
        answers({"-o", "GET_BoardTemperature"}, {0xFF, 0xFF, 0x05, 0x00}, query_frame(0x2C, 6),
                "0.5`C\n\n"),
        answers({"-o", "GET_BoardTemperature"}, {0xFF, 0xFF, 0x00, 0x00}, query_frame(0x2C, 6),
                "0.0`C\n\n"),
        answers({"-o", "GET_BoardTemperature"}, {}, query_frame(0x2C, 6), "6553.5`C\n\n")));

INSTANTIATE_TEST_SUITE_P(
    Settings, Operations,
    testing::Values(
        OperationCase{{"-D", "-o", "SET_WriteNVM", "-a", "1"}, {}, {}, kTbd, 1},
        OperationCase{{"-o", "SET_EnableUSBPort", "-a", "1"}, {}, {}, kTbd, 1},
        OperationCase{{"-o", "SET_DisableUSBPort"}, {}, {}, kTbd, 1},
        sends("SET_SetMagic", "x12345678", {0x61, 0x12, 0x34, 0x56, 0x78, 0xFF}, "? 12345678\n"),
        sends("SET_SetMagic", "x-1", {0x61, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "? ffffffff\n"),
        // -a keeps 30 characters, so the 12 after 29 zeros is cut off.
        sends("SET_SetMagic", "x0000000000000000000000000000012", {0x61, 0, 0, 0, 0, 0xFF},
              "? 0\n"),
        refused("SET_SetMagic", "", kSyntaxErrorAndEmptyLine),
        refused("SET_SetMagic", "x", kParserFailed),
        refused("SET_SetMagic", "x100000000", kParserFailed),
        sends("SET_UnlockAdminMode", "xCAFE", {0x62, 0x00, 0x00, 0xCA, 0xFE, 0xFF}),
        refused("SET_UnlockAdminMode", "X12", kSyntaxErrorAndEmptyLine),
        refused("SET_UnlockAdminMode", "#12", kSyntaxErrorAndEmptyLine),
        sends("SET_LowBat", "100", {0x63, 0x64, 0xFF, 0xFF}),
        sends("SET_LowBat", "42abc", {0x63, 0x2A, 0xFF, 0xFF}),
        sends("SET_LowBat", " 42", {0x63, 0x2A, 0xFF, 0xFF}),
        refused("SET_LowBat", "0", kSyntaxError), refused("SET_LowBat", "101", kSyntaxError),
        refused("SET_LowBat", "-1", kSyntaxError),
        refused("SET_LowBat", "-4294967295", kSyntaxError),
        refused("SET_LowBat", "abc", kParserFailed),
        refused("SET_LowBat", "4294967296", kParserFailed),
        OperationCase{{"-o", "SET_LowBat"}, {}, {}, kParserFailed, 1},
        sends("SET_CriticalLowBat", "1", {0x64, 0x01, 0xFF, 0xFF}),
        refused("SET_CriticalLowBat", "101", kSyntaxError),
        sends("SET_AccelSensitivity", "128", {0x65, 0x80, 0xFF, 0xFF}),
        refused("SET_AccelSensitivity", "129", kSyntaxError),
        sends("SET_SupervisorMode", "255", {0x66, 0xFF, 0xFF, 0xFF}),
        refused("SET_SupervisorMode", "256", kSyntaxError),
        sends("SET_EnableMCU", "10", {0x69, 0x0A, 0xFF, 0xFF}),
        refused("SET_EnableMCU", "11", kSyntaxError),
        sends("SET_DisableMCU", "1", {0x6A, 0x01, 0xFF, 0xFF}),
        refused("SET_DisableMCU", "0", kSyntaxError),
        sends("SET_EraseMCU", "7", {0x6B, 0x07, 0xFF, 0xFF}),
        refused("SET_EraseMCU", "11", kSyntaxError),
        sends("SET_PowerOFF", "x0", {0x6D, 0x00, 0x00, 0x00, 0x00, 0xFF}, "? 0\n"),
        refused("SET_PowerOFF", "1", kSyntaxErrorAndEmptyLine),
        sends("SET_RGB", "#ff8000", {0x6C, 0xFF, 0x80, 0x00, 0xFF}),
        sends("SET_RGB", "#1ff8000", {0x6C, 0xFF, 0x80, 0x00, 0xFF}),
        sends("SET_RGB", "#0", {0x6C, 0x00, 0x00, 0x00, 0xFF}),
        refused("SET_RGB", "ff8000", kSyntaxErrorAndEmptyLine),
        refused("SET_RGB", "#", kParserFailed), refused("SET_RGB", "#zz", kParserFailed),
        // The verbose flag adds nothing to a setting command.
        OperationCase{
            {"-v", "-o", "SET_LowBat", "-a", "20"}, {}, {0x63, 0x14, 0xFF, 0xFF}, "", 0}));

INSTANTIATE_TEST_SUITE_P(
    UnknownNames, Operations,
    testing::Values(
        OperationCase{{"-D", "-o", "get_deviceid"}, {}, {}, "Error: Operation unknown\n", 1},
        OperationCase{{"-o", "GET_DEVICEID"}, {}, {}, "Error: Operation unknown\n", 1},
        OperationCase{{"-o", "GET_DeviceID "}, {}, {}, "Error: Operation unknown\n", 1},
        OperationCase{{"-o", "GET_Device"}, {}, {}, "Error: Operation unknown\n", 1},
        OperationCase{{"-o", "X"}, {}, {}, "Error: Operation unknown\n", 1},
        OperationCase{{"-o", "SET_LowBatX", "-a", "5"}, {}, {}, "Error: Operation unknown\n", 1}));

// The hex cells of the trace lines that start with label.
Bytes traced_bytes(const std::string& out, const std::string& label) {
  Bytes bytes;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(label + " | ", 0) != 0) continue;
    std::istringstream cells(line.substr(label.size() + 3, 48));
    for (std::string cell; cells >> cell;) {
      if (cell != "__") bytes.push_back(static_cast<uint8_t>(std::stoul(cell, nullptr, 16)));
    }
  }
  return bytes;
}

struct TraceCase {
  const char* name;
  const char* arg;
  size_t length;
};

using DebugTrace = DeviceTestWithParam<TraceCase>;

// Under -D both buffers are traced for exactly the transfer length.
TEST_P(DebugTrace, CoversTheTransferLengthBothWays) {
  Bytes reply;
  for (int i = 0; i < 96; ++i) reply.push_back(static_cast<uint8_t>(0x30 + i));
  device.reply_with(reply);
  const harness::ChildResult run =
      run_on_device({"-D", "-o", GetParam().name, "-a", GetParam().arg});
  ASSERT_TRUE(run.exited_with(0)) << run.describe();
  const std::vector<sim::Transfer> transfers = device.transfers();
  ASSERT_EQ(transfers.size(), 1u);
  EXPECT_EQ(transfers[0].tx.size(), GetParam().length);
  EXPECT_EQ(traced_bytes(run.out, "TX"), transfers[0].tx);
  EXPECT_EQ(traced_bytes(run.out, "RX"), Bytes(reply.begin(), reply.begin() + GetParam().length));
}

INSTANTIATE_TEST_SUITE_P(
    EachExchange, DebugTrace,
    testing::Values(TraceCase{"GET_DeviceID", "", 18}, TraceCase{"GET_DeviceInfo", "", 66},
                    TraceCase{"GET_PowerStatus", "", 6}, TraceCase{"GET_SupervisorMode", "", 4},
                    TraceCase{"GET_ActiveMCU", "", 4}, TraceCase{"GET_ActiveUSBPorts", "", 4},
                    TraceCase{"GET_Event", "", 20}, TraceCase{"GET_RGB", "", 6},
                    TraceCase{"GET_LowBat", "", 4}, TraceCase{"GET_CriticalLowBat", "", 4},
                    TraceCase{"GET_AccelSensitivity", "", 4},
                    TraceCase{"GET_BoardTemperature", "", 6}, TraceCase{"SET_SetMagic", "x1", 6},
                    TraceCase{"SET_UnlockAdminMode", "x1", 6}, TraceCase{"SET_LowBat", "1", 4},
                    TraceCase{"SET_CriticalLowBat", "1", 4},
                    TraceCase{"SET_AccelSensitivity", "1", 4},
                    TraceCase{"SET_SupervisorMode", "1", 4}, TraceCase{"SET_EnableMCU", "1", 4},
                    TraceCase{"SET_DisableMCU", "1", 4}, TraceCase{"SET_EraseMCU", "1", 4},
                    TraceCase{"SET_PowerOFF", "x1", 6}, TraceCase{"SET_RGB", "#1", 5}));

using SettingFailures = DeviceTest;

// The echo comes before the exchange, so it stands even when the exchange fails.
TEST_F(SettingFailures, EchoIsPrintedBeforeAFailingExchange) {
  device.set_transfer_result(0);
  const harness::ChildResult run = run_on_device({"-o", "SET_PowerOFF", "-a", "xdead"});
  EXPECT_TRUE(run.killed_by(SIGABRT)) << run.describe();
  EXPECT_EQ(run.out, "? dead\n");
  EXPECT_EQ(run.err, errno_line("can't send spi message", 0));
}

// The device is opened before the argument is looked at.
TEST_F(SettingFailures, DeviceFailureComesBeforeArgumentCheck) {
  const harness::ChildResult run =
      run_on_device({"-d", "/dev/spidev0.7", "-o", "SET_LowBat", "-a", "0"});
  EXPECT_TRUE(run.killed_by(SIGABRT)) << run.describe();
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, errno_line("can't open device", ENOENT));
}

}  // namespace
