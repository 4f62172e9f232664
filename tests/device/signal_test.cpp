// A signal that arrives while the tool waits in an exchange with the device.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "harness/fake_spidev.h"
#include "supctl_runner.h"

namespace {

TEST(SignalDuringExchange, SigintEndsTheRunBeforeTheReplyIsPrinted) {
  harness::FakeSpidev device;
  device.reply_with({0xFF, 0x0A, 0x10, 0x0F, 0x5A, 0xFF});
  std::atomic<pid_t> tool{0};
  std::atomic<bool> signalled{false};
  device.on_transfer([&] {
    while (tool == 0) std::this_thread::yield();
    signalled = kill(tool, SIGINT) == 0;
  });
  harness::RunOptions options;
  options.on_started = [&](pid_t pid) { tool = pid; };

  const harness::ChildResult run = run_supctl({"-v", "-D"}, options);
  EXPECT_TRUE(signalled);
  EXPECT_TRUE(run.exited_with(0)) << run.describe();
  EXPECT_EQ(run.out,
            "Device in use: /dev/spidev0.1\n"
            "spi mode: 0x0\n"
            "bits per word: 8\n"
            "max speed: 100000 Hz (100 KHz)\n"
            "received SIGINT\n"
            "\nByebye\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(device.requests(), settings_then_transfer());
}

}  // namespace
