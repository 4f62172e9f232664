// SPDX-License-Identifier: MIT
// The real supctl-monitor without a supervisor, as the service manager runs it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "harness/child_process.h"

namespace {

// READY=1 and STATUS= after the first poll and not again while the state
// stays, WATCHDOG=1 at its own pace, a stale power-off flag removed at
// start, an end at once on SIGTERM.
TEST(MonitorService, ReadyWatchdogStaleFlagAndSigterm) {
  TempDir directory;
  // A datagram socket under an abstract name, as the service manager has one.
  const std::string name = "@supctl-monitor-test-" + std::to_string(getpid());
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  memcpy(address.sun_path + 1, name.data() + 1, name.size() - 1);
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
  const timeval patience = {20, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
  setenv("NOTIFY_SOCKET", name.c_str(), 1);
  setenv("WATCHDOG_USEC", "200000", 1);
  const std::string flag = directory.write("poweroff", "device /dev/spidev0.1\nvalue x1\n");
  setenv("SUPCTL_MONITOR_RUN_DIR", directory.path("").c_str(), 1);
  std::vector<std::string> messages;
  const auto watchdogs = [&] { return std::count(messages.begin(), messages.end(), "WATCHDOG=1"); };
  harness::RunOptions options;
  options.on_started = [&](pid_t pid) {
    char message[512];
    for (ssize_t size; watchdogs() < 3 && (size = recv(fd, message, sizeof message, 0)) > 0;)
      messages.emplace_back(message, static_cast<size_t>(size));
    kill(pid, SIGTERM);
  };
  const harness::ChildResult run = harness::run_captured(
      {SUPCTL_MONITOR_BINARY, "-d", directory.path("no-device"), "-i", "0.1", "-s", "true"},
      options);
  unsetenv("SUPCTL_MONITOR_RUN_DIR");
  unsetenv("NOTIFY_SOCKET");
  unsetenv("WATCHDOG_USEC");
  close(fd);

  EXPECT_TRUE(run.exited_with(0)) << run.describe();
  EXPECT_EQ(messages, (std::vector<std::string>{"READY=1\nSTATUS=no answer from the supervisor",
                                                "WATCHDOG=1", "WATCHDOG=1", "WATCHDOG=1"}));
  EXPECT_EQ(run.err, "COMMBAD: can't open device: No such file or directory\nending on SIGTERM\n");
  EXPECT_NE(access(flag.c_str(), F_OK), 0) << "a stale flag outlived the start";
}

// A health check must not take output that was never written for success;
// a bad command line ends with 2.
TEST(MonitorOutput, StatusesOfARunThatCantGoOn) {
  struct Case {
    std::vector<std::string> argv;
    const char* stdout_to;
    int status;
    const char* err;
  };
  const std::string monitor = SUPCTL_MONITOR_BINARY;
  const Case kCases[] = {
      {{monitor, "-V"}, "/dev/full", 1, "supctl-monitor: write error: No space left on device\n"},
      {{monitor, "-P", "x1;reboot"},
       nullptr,
       2,
       "supctl-monitor: invalid power-off value (x and 1 to 8 hex digits): 'x1;reboot'\n"
       "Try 'supctl-monitor --help'.\n"},
  };
  for (const Case& c : kCases) {
    harness::RunOptions options;
    if (c.stdout_to != nullptr) options.stdout_to = c.stdout_to;
    const harness::ChildResult run = harness::run_captured(c.argv, options);
    EXPECT_TRUE(run.exited_with(c.status)) << run.describe();
    EXPECT_EQ(run.err, c.err);
  }
}

}  // namespace
