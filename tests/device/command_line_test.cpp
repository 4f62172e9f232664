// SPDX-License-Identifier: MIT
// The command line of the real binary: usage text, exit statuses, and which
// runs touch the device at all.
#include <gtest/gtest.h>

#include "common/usage_text.h"
#include "device_test.h"

namespace {

struct UsageCase {
  std::vector<std::string> args;
  std::string diagnostic;  // what getopt_long writes on stderr
};

using UsageRun = DeviceTestWithParam<UsageCase>;

TEST_P(UsageRun, PrintsUsageExitsOneAndLeavesTheDeviceAlone) {
  const harness::ChildResult run = run_on_device(GetParam().args);
  EXPECT_TRUE(run.exited_with(1)) << run.describe();
  EXPECT_EQ(run.out, expected_usage(kSupctl));
  EXPECT_EQ(run.err, GetParam().diagnostic);
  EXPECT_TRUE(device.requests().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, UsageRun,
    testing::Values(UsageCase{{"-h"}, ""}, UsageCase{{"--help"}, ""},
                    UsageCase{{"-d", "/dev/spidev9.9", "-v", "-h"}, ""},
                    UsageCase{{"-h", "-x"}, ""},
                    UsageCase{{"-x"}, kSupctl + ": invalid option -- 'x'\n"},
                    UsageCase{{"--bogus"}, kSupctl + ": unrecognized option '--bogus'\n"},
                    UsageCase{{"-v", "-d"}, kSupctl + ": option requires an argument -- 'd'\n"},
                    UsageCase{{"--ver"},
                              kSupctl + ": option '--ver' is ambiguous; possibilities:"
                                        " '--verbose' '--version'\n"},
                    UsageCase{{"-t", "0"}, "supctl: invalid timeout: 0\n"}));

// A closed stdin gets /dev/null as descriptor 0, which is no failure.
TEST(Version, PrintsTheProjectVersionAlsoWithStdinClosed) {
  harness::RunOptions options;
  options.stdin_from = harness::kClosed;
  const harness::ChildResult run = run_supctl({"-V", "-h"}, options);
  EXPECT_TRUE(run.exited_with(0)) << run.describe();
  EXPECT_EQ(run.out, "supctl " SUPCTL_VERSION "\n");
}

struct FullOutputCase {
  std::vector<std::string> args;
  int status;
};

using OutputToFullDisk = DeviceTestWithParam<FullOutputCase>;

// Output that could not be written fails the run; a run that has nothing to
// print is not affected.
TEST_P(OutputToFullDisk, FailsEveryRunThatHadSomethingToSay) {
  harness::RunOptions options;
  options.stdout_to = "/dev/full";
  const harness::ChildResult run = run_on_device(GetParam().args, options);
  EXPECT_TRUE(run.exited_with(GetParam().status)) << run.describe();
  EXPECT_EQ(run.err,
            GetParam().status == 0 ? "" : "supctl: write error: No space left on device\n");
}

INSTANTIATE_TEST_SUITE_P(Runs, OutputToFullDisk,
                         testing::Values(FullOutputCase{{}, 1},
                                         FullOutputCase{{"-o", "GET_Event"}, 1},
                                         FullOutputCase{{"-o", "GET_Bogus"}, 1},
                                         FullOutputCase{{"-h"}, 1},
                                         FullOutputCase{{"-o", "SET_LowBat", "-a", "20"}, 0}));

using OperationName = DeviceTest;

TEST_F(OperationName, EmptyPortPathMeansSpiMode) {
  device.reply_with({0xFF, 0x00, 0x34, 0x12, 0x07});
  const harness::ChildResult run = run_on_device({"-p", ""});
  EXPECT_TRUE(run.exited_with(0)) << run.describe();
  EXPECT_EQ(run.out, "4660mV 7%\n\n");
}

}  // namespace
