// SPDX-License-Identifier: MIT
// The SPI link end to end: the real supctl against an emulated spidev device.
#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>

#include "common/temp_dir.h"
#include "device_test.h"

namespace {

const std::vector<uint8_t> kPowerReply = {0xFF, 0x0A, 0x10, 0x0F, 0x5A, 0xFF};
const std::string kPowerLine = "charging line 3856mV 90%\n\n";
const std::string kPowerTrace =
    "TX | 23 FF FF FF FF FF __ __ __ __ __ __ __ __ __ __  | #.....\n"
    "RX | FF 0A 10 0F 5A FF __ __ __ __ __ __ __ __ __ __  | ....Z.\n";

class SpiLink : public DeviceTest {
 protected:
  SpiLink() { device.reply_with(kPowerReply); }
};

TEST_F(SpiLink, RunWithoutOptionsPrintsThePowerStatus) {
  const harness::ChildResult run = run_on_device({});
  EXPECT_TRUE(run.exited_with(0)) << run.describe();
  EXPECT_EQ(run.out, kPowerLine);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(device.requests(), settings_then_transfer());
  const std::vector<sim::Transfer> transfers = device.transfers();
  ASSERT_EQ(transfers.size(), 1u);
  EXPECT_EQ(transfers[0].tx, frame_of({0x23}, 6));
  EXPECT_TRUE(transfers[0].extra_fields_zero);
}

TEST_F(SpiLink, ReportsAndTracesInOrderWithVerboseAndDebug) {
  const harness::ChildResult run = run_on_device({"-v", "-D"});
  EXPECT_TRUE(run.exited_with(0)) << run.describe();
  EXPECT_EQ(run.out, kDeviceReport + kPowerTrace + "Power status:\n" + kPowerLine);
}

TEST_F(SpiLink, OneFlagAloneGivesNoDeviceReport) {
  const harness::ChildResult verbose = run_on_device({"--verbose"});
  EXPECT_EQ(verbose.out, "Power status:\n" + kPowerLine);
  const harness::ChildResult debug = run_on_device({"--debug"});
  EXPECT_EQ(debug.out, kPowerTrace + kPowerLine);
}

TEST_F(SpiLink, NamedPowerStatusExchangesTheSameFrame) {
  const harness::ChildResult named = run_on_device({"-o", "GET_PowerStatus"});
  const harness::ChildResult empty = run_on_device({"-o", ""});
  EXPECT_EQ(named.out, kPowerLine);
  EXPECT_EQ(empty.out, kPowerLine);
  const std::vector<sim::Transfer> transfers = device.transfers();
  ASSERT_EQ(transfers.size(), 2u);
  EXPECT_EQ(transfers[0].tx, frame_of({0x23}, 6));
  EXPECT_EQ(transfers[1].tx, frame_of({0x23}, 6));
}

TEST_F(SpiLink, ReportsTheSpeedTheDriverReadsBack) {
  device.set_speed_read_back(99999);
  const harness::ChildResult run = run_on_device({"-v", "-D"});
  EXPECT_TRUE(run.exited_with(0)) << run.describe();
  EXPECT_NE(run.out.find("max speed: 99999 Hz (99 KHz)\n"), std::string::npos) << run.out;
}

TEST_F(SpiLink, MissingDeviceNodeAbortsBeforeAnyRequest) {
  const harness::ChildResult run = run_on_device({"-v", "-D", "-d", "/dev/spidev0.7"});
  EXPECT_TRUE(run.killed_by(SIGABRT)) << run.describe();
  EXPECT_EQ(run.err, errno_line("can't open device", ENOENT));
  EXPECT_EQ(run.out, "Device in use: /dev/spidev0.7\n");
  EXPECT_TRUE(device.requests().empty());
}

// With stderr closed, the device must not become descriptor 2: the failure
// message of a file that is no SPI device goes nowhere, not into the file.
TEST_F(SpiLink, ClosedStderrLeavesTheDeviceUntouched) {
  const TempDir dir;
  const std::string device_file = dir.write("spidev", "keep");
  harness::RunOptions options;
  options.stderr_to = harness::kClosed;
  const harness::ChildResult run = run_on_device({"-d", device_file}, options);
  EXPECT_TRUE(run.killed_by(SIGABRT)) << run.describe();
  EXPECT_EQ(read_file(device_file), "keep");
}

TEST_F(SpiLink, LaterDeviceOptionWins) {
  const harness::ChildResult run = run_on_device({"-d", "/dev/spidev0.7", "-d", "/dev/spidev0.1"});
  EXPECT_TRUE(run.exited_with(0)) << run.describe();
  EXPECT_EQ(run.out, kPowerLine);
}

struct RequestFault {
  size_t step;  // index into the settings requests
  const char* message;
  int error;
};

class FailingSettingsRequest : public SpiLink, public testing::WithParamInterface<RequestFault> {};

TEST_P(FailingSettingsRequest, AbortsWithItsMessageAndMakesNoFurtherRequest) {
  const RequestFault& fault = GetParam();
  device.fail_request(kSettingsRequests[fault.step], fault.error);
  const harness::ChildResult run = run_on_device({"-v", "-D"});
  EXPECT_TRUE(run.killed_by(SIGABRT)) << run.describe();
  EXPECT_EQ(run.err, errno_line(fault.message, fault.error));
  EXPECT_EQ(run.out, "Device in use: /dev/spidev0.1\n");
  const std::vector<unsigned long> made(
      kSettingsRequests.begin(), kSettingsRequests.begin() + static_cast<long>(fault.step) + 1);
  EXPECT_EQ(device.requests(), made);
  EXPECT_TRUE(device.transfers().empty());
}

INSTANTIATE_TEST_SUITE_P(EachStep, FailingSettingsRequest,
                         testing::Values(RequestFault{0, "can't set spi mode", EINVAL},
                                         RequestFault{1, "can't get spi mode", EIO},
                                         RequestFault{2, "can't set bits per word", EINVAL},
                                         RequestFault{3, "can't get bits per word", ENODEV},
                                         RequestFault{4, "can't set max speed hz", EINVAL},
                                         RequestFault{5, "can't get max speed hz", EPERM}));

struct TransferFault {
  long result;
  int error;
};

class FailingTransfer : public SpiLink, public testing::WithParamInterface<TransferFault> {};

TEST_P(FailingTransfer, AbortsWithoutPrintingTheReply) {
  device.set_transfer_result(GetParam().result);
  const harness::ChildResult run = run_on_device({"-v", "-D"});
  EXPECT_TRUE(run.killed_by(SIGABRT)) << run.describe();
  EXPECT_EQ(run.err, errno_line("can't send spi message", GetParam().error));
  EXPECT_EQ(run.out, kDeviceReport);
  EXPECT_EQ(device.requests(), settings_then_transfer());
}

INSTANTIATE_TEST_SUITE_P(ErrorOrNothingMoved, FailingTransfer,
                         testing::Values(TransferFault{-1, EIO}, TransferFault{0, 0}));

}  // namespace
