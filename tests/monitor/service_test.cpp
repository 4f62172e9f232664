// SPDX-License-Identifier: MIT
// The monitor's ties to the system: service manager, hooks, NUT file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/captured_output.h"
#include "common/temp_dir.h"
#include "monitor/hook_runner.h"
#include "monitor/service_notifier.h"
#include "monitor/state_files.h"

namespace {

// An abstract name is used end to end, as the service manager gives one.
TEST(NotifySocket, PathOrAbstractName) {
  sockaddr_un address;
  socklen_t length = 0;
  ASSERT_TRUE(notify_socket_address("/run/systemd/notify", address, length));
  EXPECT_STREQ(address.sun_path, "/run/systemd/notify");
  EXPECT_EQ(length, offsetof(sockaddr_un, sun_path) + 20);
  for (const char* bad : std::vector<const char*>{"", "@", "relative", nullptr})
    EXPECT_FALSE(notify_socket_address(bad, address, length)) << (bad ? bad : "null");
  EXPECT_FALSE(notify_socket_address(("/" + std::string(107, 'a')).c_str(), address, length));
  EXPECT_TRUE(notify_socket_address(("@" + std::string(107, 'a')).c_str(), address, length));
}

TEST(Watchdog, HalfTheTimeForThisProcessOnly) {
  EXPECT_EQ(watchdog_interval_ms("20000000", nullptr, 42), 10000);
  EXPECT_EQ(watchdog_interval_ms("20000000", "42", 42), 10000);
  EXPECT_EQ(watchdog_interval_ms("20000000", "43", 42), 0);
  EXPECT_EQ(watchdog_interval_ms(nullptr, nullptr, 42), 0);
  EXPECT_EQ(watchdog_interval_ms("0", nullptr, 42), 0);
  EXPECT_EQ(watchdog_interval_ms("20s", nullptr, 42), 0);
}

// The notification's own variables are shown end to end, on a live board.
TEST(HookEnvironment, WithoutTheServiceChannelOrStaleVariables) {
  std::string inherited[] = {"PATH=/bin",      "NOTIFY_SOCKET=/run/n", "WATCHDOG_USEC=1",
                             "WATCHDOG_PID=1", "SUPCTL_LINE=7",        "SUPCTL_MONITOR_OPTIONS=-v"};
  std::vector<char*> pointers;
  for (std::string& variable : inherited) pointers.push_back(variable.data());
  pointers.push_back(nullptr);
  const HookEnvironment environment({Notification::event, 41, false, {}}, pointers.data());
  std::vector<std::string> given;
  for (char* const* p = environment.envp(); *p != nullptr; ++p) given.emplace_back(*p);
  EXPECT_EQ(given, (std::vector<std::string>{"PATH=/bin", "SUPCTL_MONITOR_OPTIONS=-v",
                                             "SUPCTL_EVENT=EVENT", "SUPCTL_EVENT_CODE=41",
                                             "SUPCTL_EVENT_NAME=0x29"}));
}

TEST(HookRunner, FullQueueDropsTheOldest) {
  CapturedOutput log;
  HookRunner runner("true", log.stream());
  for (int i = 0; i <= kHookQueueSize; ++i)
    runner.submit({i == 0 ? Notification::online : Notification::event, 0, false, {}});
  EXPECT_EQ(log.text(), "hook queue full (32): dropped the hook for ONLINE\n");
}

TEST(ReplaceFile, ReplacedWholeAndRefusedWithoutItsFolder) {
  TempDir directory;
  const std::string path = directory.path("board.dev");
  ASSERT_TRUE(replace_file(path.c_str(), "a: 1\n", 5));
  ASSERT_TRUE(replace_file(path.c_str(), "a: 2\n", 5));
  EXPECT_EQ(read_file(path), "a: 2\n");
  EXPECT_FALSE(replace_file(directory.path("no/such/folder").c_str(), "a", 1));
}

}  // namespace
