// SPDX-License-Identifier: MIT
// The real supctl-monitor as the service manager runs it: readiness, status
// and watchdog on the notification socket, hooks without the service's
// channel, and an end at once on SIGTERM whatever the interval.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/temp_dir.h"
#include "harness/child_process.h"

namespace {

// A datagram socket under an abstract name, as the service manager has one.
class NotifySocket {
 public:
  NotifySocket()
      : fd_(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)),
        name_("@supctl-monitor-test-" + std::to_string(getpid())) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path + 1, name_.data() + 1, name_.size() - 1);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address),
                   static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name_.size())),
              0);
    timeval patience = {20, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
  }
  ~NotifySocket() { close(fd_); }
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  const std::string& name() const { return name_; }
  // The next message; empty when none came within 20 s.
  std::string receive() const {
    char buffer[512];
    const ssize_t length = recv(fd_, buffer, sizeof buffer, 0);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
  }

 private:
  int fd_;
  std::string name_;
};

TEST(MonitorService, ReadyWatchdogHooksAndSigterm) {
  TempDir directory;
  NotifySocket notify;
  setenv("NOTIFY_SOCKET", notify.name().c_str(), 1);
  setenv("WATCHDOG_USEC", "200000", 1);  // WATCHDOG=1 every 100 ms, whatever -i says
  const std::string env_file = directory.path("env");
  std::vector<std::string> messages;
  harness::RunOptions options;
  options.on_started = [&](pid_t pid) {
    while (std::count(messages.begin(), messages.end(), "WATCHDOG=1") < 2) {
      messages.push_back(notify.receive());
      if (messages.back().empty()) break;
    }
    for (int i = 0; i < 2000 && access(env_file.c_str(), F_OK) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    kill(pid, SIGTERM);
  };
  const harness::ChildResult run = harness::run_captured(
      {SUPCTL_MONITOR_BINARY, "-d", directory.path("no-device"), "-i", "3600", "-s", "true", "-x",
       "env >" + env_file + ".new && mv " + env_file + ".new " + env_file},
      options);
  unsetenv("NOTIFY_SOCKET");
  unsetenv("WATCHDOG_USEC");

  EXPECT_TRUE(run.exited_with(0)) << run.describe();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages[0], "READY=1\nSTATUS=no answer from the supervisor");
  EXPECT_EQ(run.err, "COMMBAD: can't open device: No such file or directory\nending on SIGTERM\n");
  const std::string env = read_file(env_file);
  EXPECT_NE(env.find("SUPCTL_EVENT=COMMBAD\n"), std::string::npos) << env;
  EXPECT_EQ(env.find("NOTIFY_SOCKET"), std::string::npos);
  EXPECT_EQ(env.find("WATCHDOG_"), std::string::npos);
}

}  // namespace
