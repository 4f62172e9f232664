// SPDX-License-Identifier: MIT
// The real supctl-monitor on a live simulated board. The monitor's log and
// its hooks' lines, on one stream, must show each step's text in order; as
// each shows, the test changes the board while the monitor polls it.
// SIGTERM ends the monitor once every step has shown and each of
// `anywhere` (hooks run beside the polls, so their lines come in no set
// order).
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "harness/child_process.h"

namespace {

struct Step {
  std::string awaited;
  std::vector<std::string> changes = {};  // KEY=VALUE, set once `awaited` shows
};

class MonitorOnBoard : public testing::Test {
 protected:
  // Runs the monitor (-i 0.1 -v -s true, then `monitor`) on a fresh board
  // with no event queued and the `board` values.
  std::string run(std::vector<std::string> board, const std::vector<std::string>& monitor,
                  const std::vector<Step>& steps, const std::vector<std::string>& anywhere = {}) {
    // Never the machine's own shutdown: a later -s replaces this one.
    std::string command = "exec " SUPCTL_MONITOR_BINARY " -i 0.1 -v -s true";
    for (const std::string& arg : monitor) {
      command += " '";
      for (char c : arg) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
      command += "'";
    }
    board.insert(board.begin(), "events=");
    const std::vector<std::string> argv =
        sim(board, {"--reset", "--", "/bin/sh", "-c", command + " 2>&1"});
    size_t step = 0, seen = 0;
    harness::RunOptions options;
    options.timeout = std::chrono::seconds(60);
    bool stopped = false;
    options.on_output = [&](pid_t pid, const std::string& out) {
      for (size_t at; step < steps.size() && (at = out.find(steps[step].awaited, seen)) != out.npos;
           ++step) {
        seen = at + steps[step].awaited.size();
        // What a second shell does while the monitor runs.
        if (!steps[step].changes.empty()) {
          EXPECT_TRUE(harness::run_captured(sim(steps[step].changes)).exited_with(0));
        }
      }
      const bool all_there = std::all_of(anywhere.begin(), anywhere.end(), [&](const auto& text) {
        return out.find(text) != std::string::npos;
      });
      if (!stopped && step == steps.size() && all_there) stopped = kill(pid, SIGTERM) == 0;
    };
    const harness::ChildResult result = harness::run_captured(argv, options);
    EXPECT_EQ(step, steps.size()) << "awaited '" << steps[std::min(step, steps.size() - 1)].awaited
                                  << "' in:\n"
                                  << result.out;
    EXPECT_TRUE(result.exited_with(0)) << result.describe() << "\n" << result.out << result.err;
    return result.out;
  }

  // supctl-sim on this test's board: a --set for each change, then `rest`.
  std::vector<std::string> sim(const std::vector<std::string>& changes,
                               const std::vector<std::string>& rest = {}) const {
    std::vector<std::string> argv = {SUPCTL_SIM_BINARY, "--state", directory_.path("state")};
    for (const std::string& change : changes) argv.insert(argv.end(), {"--set", change});
    argv.insert(argv.end(), rest.begin(), rest.end());
    return argv;
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

TEST_F(MonitorOnBoard, LineLostRunsTheOnBatteryHookWithItsVariables) {
  run({}, {"-x", kHook},
      {{"hook ONLINE line=1 charging=1 charge=87", {"power_flags=0"}},
       {"hook ONBATT line=0 charging=0 charge=87 mv=4012 code= name=\n"},
       {"hook EVENT line=0 charging=0 charge=87 mv=4012 code=1 name=MAINPOWERLOST\n"}});
}

// The stubbed shutdown command shows the flag as it finds it.
TEST_F(MonitorOnBoard, BatteryDrainedToCriticalShutsDownOnceAfterLeavingTheFlag) {
  const std::string flag = directory_.path("run/poweroff");
  const std::string out = run({"power_flags=0", "charge_percent=12", "drain_per_minute=120"},
                              {"-x", kHook, "-s", "tr '\\n' ' ' <" + flag + "; echo shut down",
                               "-P", "x1", "--poweroff-flag", flag},
                              {{"BATTWARN:"},
                               {"LOWBATT:"},
                               {"SHUTDOWN:"},
                               {"device /dev/spidev0.1 value x1 shut down\n"},
                               {"poll:"},
                               {"poll:"}},
                              {"hook SHUTDOWN"});
  EXPECT_EQ(count(out, "SHUTDOWN:"), 1u) << out;
  EXPECT_EQ(count(out, "hook SHUTDOWN"), 1u) << out;
  EXPECT_EQ(count(out, "shut down\n"), 1u) << out;
}

// A silent bus reads 0xFF, which must neither count as a reading nor, on
// line power, lead to a shutdown.
TEST_F(MonitorOnBoard, BusGoingSilentIsNoAnswerAndNoDecision) {
  const std::string out = run({"charge_percent=5"}, {},
                              {{"ONLINE:", {"fault=silent"}},
                               {"COMMBAD: no supervisor's reply: ff ff ff ff ff ff"},
                               {"poll: no answer"},
                               {"poll: no answer", {"fault=none"}},
                               {"COMMOK:"}});
  for (const char* wrong : {"ONBATT", "LOWBATT", "SHUTDOWN"})
    EXPECT_EQ(count(out, wrong), 0u) << wrong << " in:\n" << out;
}

// Long before the next poll is due.
TEST_F(MonitorOnBoard, SigtermEndsItAtOnce) { run({}, {"-i", "3600"}, {{"poll:"}}); }

}  // namespace
