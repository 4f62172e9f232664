// SPDX-License-Identifier: MIT
// The real supctl-monitor on a live simulated board, changed by the test as
// the monitor's log and its hooks' lines show each step's text in order.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "harness/child_process.h"

namespace {

const std::string kHook =
    "echo hook $SUPCTL_EVENT line=$SUPCTL_LINE charging=$SUPCTL_CHARGING "
    "charge=$SUPCTL_CHARGE_PERCENT mv=$SUPCTL_MILLIVOLTS code=$SUPCTL_EVENT_CODE "
    "name=$SUPCTL_EVENT_NAME";

struct Step {
  std::string awaited;
  std::vector<std::string> changes = {};  // KEY=VALUE, set once `awaited` shows
};

// supctl-sim on the board kept in `state`, a --set for each change.
std::vector<std::string> sim(const std::string& state, const std::vector<std::string>& changes) {
  std::vector<std::string> argv = {SUPCTL_SIM_BINARY, "--state", state};
  for (const std::string& change : changes) argv.insert(argv.end(), {"--set", change});
  return argv;
}

// A fresh board (line power, 87 %), a silent bus (all 0xFF: no answer, no
// decision), line power lost, the battery drained to critical. The hooks get
// the state and the events; the stub shutdown command shows the flag, in one
// write that no other line can split.
TEST(MonitorOnBoard, SilentBusLineLostAndDrainedToCritical) {
  TempDir directory;
  const std::string state = directory.path("state"), flag = directory.path("run/poweroff");
  const std::vector<Step> steps = {
      {"hook ONLINE line=1 charging=1 charge=87", {"fault=silent"}},
      {"COMMBAD: no supervisor's reply: ff ff ff ff ff ff"},
      {"poll: no answer", {"fault=none"}},
      {"COMMOK:", {"power_flags=0"}},
      {"hook ONBATT line=0 charging=0 charge=87 mv=4012 code= name=\n",
       {"charge_percent=12", "drain_per_minute=120"}},
      {"SHUTDOWN:"},
      {"hook SHUTDOWN"},
      {"poll:"},
  };
  size_t step = 0, seen = 0;
  bool stopped = false;
  harness::RunOptions options;
  options.timeout = std::chrono::seconds(60);
  options.stderr_to = "/dev/stdout";  // the log and the hooks' lines on one stream
  options.on_output = [&](pid_t pid, const std::string& out) {
    for (size_t at; step < steps.size() && (at = out.find(steps[step].awaited, seen)) != out.npos;
         ++step) {
      seen = at + steps[step].awaited.size();
      if (!steps[step].changes.empty()) {
        EXPECT_TRUE(harness::run_captured(sim(state, steps[step].changes)).exited_with(0));
      }
    }
    if (!stopped && step == steps.size()) stopped = kill(pid, SIGTERM) == 0;
  };
  // The shutdown command, started before SIGTERM, is waited for with its output.
  const harness::ChildResult run = harness::run_captured(
      {SUPCTL_SIM_BINARY, "--state", state, "--reset", "--set", "events=", "--",
       SUPCTL_MONITOR_BINARY, "-i", "0.1", "-v", "-P", "x1", "--poweroff-flag", flag, "-s",
       "echo \"$(tr '\\n' ' ' <" + flag + ")shut down\"", "-x", kHook},
      options);
  EXPECT_EQ(step, steps.size()) << run.out;
  EXPECT_TRUE(run.exited_with(0)) << run.describe() << "\n" << run.out;
  EXPECT_NE(run.out.find("device /dev/spidev0.1 value x1 shut down\n"), std::string::npos)
      << run.out;
  for (const char* once : {"COMMBAD:", "SHUTDOWN:", "hook SHUTDOWN", "shut down\n"})
    EXPECT_EQ(run.out.find(once), run.out.rfind(once)) << once << " twice in:\n" << run.out;
  EXPECT_LT(run.out.find("COMMOK:"), run.out.find("ONBATT:")) << run.out;
  // The line may be lost between a poll's status read and its event read:
  // the event then comes with the state that poll answered.
  const std::string event = " charge=87 mv=4012 code=1 name=MAINPOWERLOST\n";
  EXPECT_TRUE(run.out.find("hook EVENT line=0 charging=0" + event) != std::string::npos ||
              run.out.find("hook EVENT line=1 charging=1" + event) != std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("can't"), std::string::npos) << run.out;
}

}  // namespace
