// SPDX-License-Identifier: MIT
// A signal that arrives while the tool waits in an exchange with the device.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "device_test.h"

namespace {

struct SignalCase {
  int signal;
  std::string line;  // printed before the farewell
};

using SignalDuringExchange = DeviceTestWithParam<SignalCase>;

// umockdev holds signals back while it emulates the exchange, so the
// handler runs as the exchange ends: before the reply is printed.
TEST_P(SignalDuringExchange, EndsTheRunBeforeTheReplyIsPrinted) {
  device.reply_with({0xFF, 0x0A, 0x10, 0x0F, 0x5A, 0xFF});
  std::atomic<pid_t> tool{0};
  std::atomic<bool> signalled{false};
  device.on_transfer([&] {
    while (tool == 0) std::this_thread::yield();
    signalled = kill(tool, GetParam().signal) == 0;
  });
  harness::RunOptions options;
  options.on_started = [&](pid_t pid) { tool = pid; };

  const harness::ChildResult run = run_on_device({"-v", "-D"}, options);
  EXPECT_TRUE(signalled);
  EXPECT_TRUE(run.exited_with(0)) << run.describe();
  EXPECT_EQ(run.out, kDeviceReport + GetParam().line + "\nByebye\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(device.requests(), settings_then_transfer());
}

INSTANTIATE_TEST_SUITE_P(HandledSignals, SignalDuringExchange,
                         testing::Values(SignalCase{SIGINT, "received SIGINT\n"},
                                         SignalCase{SIGUSR1, "received SIGUSR1\n"},
                                         SignalCase{SIGQUIT, ""}));

}  // namespace
