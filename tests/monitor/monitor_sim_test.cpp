// SPDX-License-Identifier: MIT
// The real supctl-monitor on a simulated board: the board is set up, the
// monitor polls it, and SIGTERM ends it once its log and its hooks' lines,
// on one stream, hold each awaited text in order, and each of `anywhere`
// (hooks run beside the polls, so their lines come in no set order).
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "harness/child_process.h"

namespace {

class MonitorOnBoard : public testing::Test {
 protected:
  std::string run(const std::vector<std::string>& board, const std::vector<std::string>& monitor,
                  const std::vector<std::string>& awaited,
                  const std::vector<std::string>& anywhere = {}) {
    std::vector<std::string> argv = {SUPCTL_SIM_BINARY, "--state", directory_.path("state"),
                                     "--reset",         "--set",   "events="};
    argv.insert(argv.end(), board.begin(), board.end());
    // Never the machine's own shutdown: a later -s replaces this one.
    std::string command = "exec " SUPCTL_MONITOR_BINARY " -i 0.1 -v -s true";
    for (const std::string& arg : monitor) {
      command += " '";
      for (char c : arg) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
      command += "'";
    }
    argv.insert(argv.end(), {"--", "/bin/sh", "-c", command + " 2>&1"});
    size_t step = 0, seen = 0;
    harness::RunOptions options;
    options.timeout = std::chrono::seconds(60);
    bool stopped = false;
    options.on_output = [&](pid_t pid, const std::string& out) {
      for (size_t at; step < awaited.size() && (at = out.find(awaited[step], seen)) != out.npos;)
        seen = at + awaited[step++].size();
      const bool all_there = std::all_of(anywhere.begin(), anywhere.end(), [&](const auto& text) {
        return out.find(text) != std::string::npos;
      });
      if (!stopped && step == awaited.size() && all_there) stopped = kill(pid, SIGTERM) == 0;
    };
    const harness::ChildResult result = harness::run_captured(argv, options);
    EXPECT_EQ(step, awaited.size())
        << "awaited '" << awaited[std::min(step, awaited.size() - 1)] << "' in:\n"
        << result.out;
    EXPECT_TRUE(result.exited_with(0)) << result.describe() << "\n" << result.out << result.err;
    return result.out;
  }

  static size_t count(const std::string& text, const std::string& word) {
    size_t found = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
      ++found;
    return found;
  }

  TempDir directory_;
};

const std::string kHook =
    "echo hook $SUPCTL_EVENT line=$SUPCTL_LINE charging=$SUPCTL_CHARGING "
    "charge=$SUPCTL_CHARGE_PERCENT mv=$SUPCTL_MILLIVOLTS code=$SUPCTL_EVENT_CODE "
    "name=$SUPCTL_EVENT_NAME";

TEST_F(MonitorOnBoard, OnBatteryHookGetsItsVariables) {
  run({"--set", "power_flags=0", "--set", "charge_percent=57"}, {"-x", kHook},
      {"hook ONBATT line=0 charging=0 charge=57 mv=4012 code= name=\n",
       "hook EVENT line=0 charging=0 charge=57 mv=4012 code=1 name=MAINPOWERLOST\n"});
}

TEST_F(MonitorOnBoard, CriticalOnBatteryShutsDownOnceAndLeavesTheFlag) {
  const std::string flag = directory_.path("run/poweroff");
  const std::string out =
      run({"--set", "power_flags=0", "--set", "charge_percent=8"},
          {"-x", kHook, "-s", "printf 'shut%s\\n' down-ran", "-P", "x1", "--poweroff-flag", flag},
          {"LOWBATT:", "SHUTDOWN:", "poll:", "poll:"}, {"hook SHUTDOWN", "shutdown-ran"});
  EXPECT_EQ(count(out, "SHUTDOWN:"), 1u) << out;
  EXPECT_EQ(count(out, "hook SHUTDOWN"), 1u) << out;
  EXPECT_EQ(count(out, "shutdown-ran"), 1u) << out;
  EXPECT_EQ(read_file(flag), "device /dev/spidev0.1\nvalue x1\n");
}

// A silent bus reads 0xFF: line power and a charge of 255 % if believed.
TEST_F(MonitorOnBoard, SilentBusIsNoAnswerAndNoDecision) {
  const std::string out = run(
      {"--set", "power_flags=0", "--set", "charge_percent=5", "--fault", "silent"}, {"-x", kHook},
      {"COMMBAD: no supervisor's reply: ff ff ff ff ff ff", "hook COMMBAD", "poll: no answer",
       "poll: no answer", "poll: no answer"});
  EXPECT_EQ(count(out, "ONLINE"), 0u) << out;
  EXPECT_EQ(count(out, "SHUTDOWN"), 0u) << out;
}

}  // namespace
