// SPDX-License-Identifier: MIT
// The monitor's ties to the system: service manager, hooks, NUT file.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <string>
#include <vector>

#include "common/captured_output.h"
#include "common/temp_dir.h"
#include "monitor/hook_runner.h"
#include "monitor/monitor_clock.h"
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
  EXPECT_EQ(watchdog_interval_ms("1", "7", 7), kMinWatchdogMs);  // a few times a second at most
  EXPECT_EQ(watchdog_interval_ms("2000000", "7", 8), 0);
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

// A full queue drops EVENT hooks first, the state notifications last.
TEST(HookRunner, FullQueueDropsEventsFirst) {
  constexpr Notification kOnline = Notification::online, kEvent = Notification::event;
  struct Case {
    int event_at;  // the one EVENT among the queued, or -1
    Notification incoming;
    const char* dropped;
  };
  for (const Case& c :
       {Case{-1, kOnline, "ONLINE"}, Case{-1, kEvent, "EVENT"}, Case{5, kOnline, "EVENT"}}) {
    CapturedOutput log;
    HookRunner runner("true", log.stream());
    for (int i = 0; i < kHookQueueSize; ++i)
      runner.submit({i == c.event_at ? kEvent : kOnline, 0, false, {}}, 0);
    runner.submit({c.incoming, 0, false, {}}, 0);
    EXPECT_EQ(log.text(),
              std::string("hook queue full (32): dropped the hook for ") + c.dropped + "\n");
  }
}

// The SHUTDOWN hook starts at once beside a running hook, and a failed
// hook is logged with how it ended.
TEST(HookRunner, ShutdownStartsAtOnceAndFailuresAreLogged) {
  CapturedOutput log;
  HookRunner runner("[ $SUPCTL_EVENT = SHUTDOWN ] && kill -9 $$; exit 3", log.stream());
  runner.submit({Notification::onbatt, 0, false, {}}, 0);
  runner.service(0);
  runner.submit({Notification::shutdown, 0, false, {}}, 0);
  EXPECT_TRUE(runner.shutdown_hook_running());
  for (int status = 0, reaped = 0; reaped < 2; ++reaped) {
    const pid_t pid = wait(&status);
    EXPECT_TRUE(runner.reaped(pid, status));
  }
  EXPECT_TRUE(runner.idle());
  const std::string text = log.text();
  EXPECT_NE(text.find("hook for ONBATT failed: status 3\n"), std::string::npos) << text;
  EXPECT_NE(text.find("hook for SHUTDOWN failed: signal 9\n"), std::string::npos) << text;
}

TEST(MonitorClock, MillisecondsOfSecondsAndNanoseconds) {
  EXPECT_EQ(milliseconds_of({2, 999999999}), 2999);
}

// The decision record holds for its own boot only.
TEST(DecisionRecord, ReadBackForItsBootOnly) {
  const BootId boot = {"1b2c"}, other = {"9f9f"};
  char text[160];
  format_decision(text, sizeof text, boot, {ShutdownReason::lost, true});
  EXPECT_STREQ(text, "boot 1b2c\nreason lost\nran yes\n");
  const DecisionRecord back = parse_decision(text, boot);
  EXPECT_EQ(back.reason, ShutdownReason::lost);
  EXPECT_TRUE(back.command_succeeded);
  EXPECT_EQ(parse_decision(text, other).reason, ShutdownReason::none);
  EXPECT_EQ(parse_decision("boot 1b2c\nreason lost\n", boot).reason, ShutdownReason::none);
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
