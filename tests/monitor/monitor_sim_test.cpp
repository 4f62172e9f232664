// SPDX-License-Identifier: MIT
// The real supctl-monitor on a live simulated board, changed by the test as
// the monitor's log and its hooks' lines show each step's text in order.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "common/temp_dir.h"
#include "harness/child_process.h"

namespace {

const std::string kHook =
    "echo hook $SUPCTL_EVENT line=$SUPCTL_LINE charging=$SUPCTL_CHARGING "
    "charge=$SUPCTL_CHARGE_PERCENT mv=$SUPCTL_MILLIVOLTS runtime=${SUPCTL_RUNTIME_S-none} "
    "code=$SUPCTL_EVENT_CODE name=$SUPCTL_EVENT_NAME";

struct Step {
  std::string awaited;
  std::vector<std::string> changes = {};  // KEY=VALUE, set once `awaited` shows
  int signal = 0;                         // then sent to the monitor
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
  setenv("SUPCTL_MONITOR_RUN_DIR", directory.path("run").c_str(), 1);
  const std::vector<Step> steps = {
      {"hook ONLINE line=1 charging=1 charge=87", {"fault=silent"}},
      {"COMMBAD: no supervisor's reply: ff ff ff ff ff ff\n"},
      {"poll: no answer", {"fault=none"}},
      {"COMMOK:", {"power_flags=0"}},
      {"hook ONBATT line=0 charging=0 charge=87 mv=4012 runtime=none code= name=\n",
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
  const harness::ChildResult run =
      harness::run_captured({SUPCTL_SIM_BINARY, "--state", state, "--reset", "--set",
                             "events=", "--", SUPCTL_MONITOR_BINARY, "-i", "0.1", "-v", "-P", "x1",
                             "-s", "echo \"$(tr '\\n' ' ' <" + flag + ")shut down\"", "-x", kHook},
                            options);
  unsetenv("SUPCTL_MONITOR_RUN_DIR");
  EXPECT_EQ(step, steps.size()) << run.out;
  EXPECT_TRUE(run.exited_with(0)) << run.describe() << "\n" << run.out;
  EXPECT_NE(run.out.find("device /dev/spidev0.1 value x1 boot "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(" reason critical shut down\n"), std::string::npos) << run.out;
  for (const char* once : {"COMMBAD:", "SHUTDOWN:", "hook SHUTDOWN", "shut down\n"})
    EXPECT_EQ(run.out.find(once), run.out.rfind(once)) << once << " twice in:\n" << run.out;
  EXPECT_LT(run.out.find("COMMOK:"), run.out.find("ONBATT:")) << run.out;
  // The line may be lost between a poll's status read and its event read:
  // the event then comes with the state that poll answered.
  const std::string event = " charge=87 mv=4012 runtime=none code=1 name=MAINPOWERLOST\n";
  EXPECT_TRUE(run.out.find("hook EVENT line=0 charging=0" + event) != std::string::npos ||
              run.out.find("hook EVENT line=1 charging=1" + event) != std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("can't"), std::string::npos) << run.out;
}

using HookFile = std::tuple<std::string, mode_t, std::string>;  // name, mode, sh script

// A board on battery at 5 %, the monitor's log and its hooks' lines on one
// stream; the run folder holds `decision` when given, the hook folder
// (--hooks-dir) the hook files. Each case's steps are awaited in order,
// then the texts that must show and must not.
struct Case {
  const char* name;
  std::vector<std::string> options;
  const char* decision;  // the record of an earlier run in this boot, or null
  std::vector<Step> steps;
  std::vector<std::string> shown, not_shown;
  std::vector<std::string> board = {};  // KEY=VALUE of the board at start, after those above
  void (*check)(const std::string& out) = nullptr;
  std::vector<HookFile> hooks = {};
};

// The monitor under supctl-sim: the simulator's one child.
pid_t monitor_of(pid_t sim_pid) {
  const std::string id = std::to_string(sim_pid);
  return static_cast<pid_t>(
      std::stol("0" + read_file("/proc/" + id + "/task/" + id + "/children")));
}

void run_case(const Case& c) {
  TempDir directory;
  const std::string state = directory.path("state"), run_dir = directory.path("run");
  mkdir(run_dir.c_str(), 0755);
  if (c.decision != nullptr)
    directory.write("run/decision",
                    "boot " + read_file("/proc/sys/kernel/random/boot_id") + c.decision);
  setenv("SUPCTL_MONITOR_RUN_DIR", run_dir.c_str(), 1);
  std::vector<std::string> argv = {SUPCTL_SIM_BINARY,
                                   "--state",
                                   state,
                                   "--reset",
                                   "--set",
                                   "events=",
                                   "--set",
                                   "power_flags=0",
                                   "--set",
                                   "charge_percent=5",
                                   "--",
                                   SUPCTL_MONITOR_BINARY,
                                   "-i",
                                   "0.2"};
  for (const std::string& setting : c.board)
    argv.insert(std::find(argv.begin(), argv.end(), "--"), {"--set", setting});
  argv.insert(argv.end(), c.options.begin(), c.options.end());
  if (!c.hooks.empty()) argv.insert(argv.end(), {"--hooks-dir", directory.path("hooks.d")});
  mkdir(directory.path("hooks.d").c_str(), 0755);
  for (const auto& [name, mode, script] : c.hooks)
    chmod(directory.write("hooks.d/" + name, "#!/bin/sh\n" + script).c_str(), mode);
  size_t step = 0, seen = 0;
  harness::RunOptions options;
  options.timeout = std::chrono::seconds(60);
  options.stderr_to = "/dev/stdout";
  options.on_output = [&](pid_t pid, const std::string& out) {
    for (size_t at;
         step < c.steps.size() && (at = out.find(c.steps[step].awaited, seen)) != out.npos;
         ++step) {
      seen = at + c.steps[step].awaited.size();
      if (!c.steps[step].changes.empty()) {
        EXPECT_TRUE(harness::run_captured(sim(state, c.steps[step].changes)).exited_with(0));
      }
      if (c.steps[step].signal != 0) kill(monitor_of(pid), c.steps[step].signal);
    }
  };
  const harness::ChildResult run = harness::run_captured(argv, options);
  unsetenv("SUPCTL_MONITOR_RUN_DIR");
  EXPECT_EQ(step, c.steps.size()) << run.out;
  EXPECT_TRUE(run.exited_with(0)) << run.describe() << "\n" << run.out;
  for (const std::string& text : c.shown) EXPECT_NE(run.out.find(text), run.out.npos) << text;
  for (const std::string& text : c.not_shown)
    EXPECT_EQ(run.out.find(text), run.out.npos) << text << " in:\n" << run.out;
  if (c.check != nullptr) c.check(run.out);
}

// A device whose transfers fail is closed after each failed poll: with a
// descriptor left open a poll, some thousand polls later the guardian could
// not open its device again.
TEST(MonitorOnBoard, FailedPollsLeaveNoDescriptorOpen) {
  TempDir directory;
  size_t polls = 0;
  long first = -1, last = -1;
  harness::RunOptions options;
  options.stderr_to = "/dev/stdout";
  options.on_output = [&](pid_t pid, const std::string& out) {
    size_t seen = 0;
    for (size_t at = 0; (at = out.find("poll:", at)) != out.npos; ++at) ++seen;
    if (seen == polls) return;
    polls = seen;
    const std::string fds = "/proc/" + std::to_string(monitor_of(pid)) + "/fd";
    last = std::distance(std::filesystem::directory_iterator(fds),
                         std::filesystem::directory_iterator());
    if (first < 0) first = last;
    if (polls >= 20) kill(monitor_of(pid), SIGTERM);
  };
  const harness::ChildResult run = harness::run_captured(
      {SUPCTL_SIM_BINARY, "--state", directory.path("state"), "--reset", "--set", "fault=transfer",
       "--", SUPCTL_MONITOR_BINARY, "-i", "0.1", "-v"},
      options);
  // A count may be taken while a poll holds the device open: one more.
  EXPECT_GE(polls, 20u) << run.out;
  EXPECT_LE(last, first + 1) << run.out;
}

class MonitorCase : public testing::TestWithParam<Case> {};

TEST_P(MonitorCase, GoesAsItShould) { run_case(GetParam()); }

const std::string kSlowHook = "sleep 1; echo hook $SUPCTL_EVENT $SUPCTL_REASON done";
// Busy for 2 s with each notification but SHUTDOWN, which tells whether
// it started before the first of them ended.
const std::string kBusyHook =
    "done=$SUPCTL_MONITOR_RUN_DIR/done\n"
    "[ $SUPCTL_EVENT = SHUTDOWN ] && { test -e $done || echo busy SHUTDOWN first; exit; }\n"
    "sleep 2; echo busy $SUPCTL_EVENT done; touch $done\n";
// Fails the first time, succeeds the second.
const std::string kFailsOnce =
    "test -e $SUPCTL_MONITOR_RUN_DIR/ran || { touch $SUPCTL_MONITOR_RUN_DIR/ran; exit 1; }; "
    "echo shut down";

// The runtime the shutdown command got, against the charge C read in the
// same poll: at a percent a second the board is empty in C - 1 to C s.
void runtime_within_10_percent(const std::string& out) {
  ASSERT_NE(out.find("\nleft "), out.npos) << out;
  double runtime = 0, charge = 0;
  std::string word;
  std::istringstream(out.substr(out.find("\nleft "))) >> word >> runtime >> word >> charge;
  EXPECT_NEAR(runtime, charge - 0.5, 0.1 * (charge - 0.5)) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Decisions, MonitorCase,
    testing::Values(
        // The SHUTDOWN hook starts beside the slow ones, and SIGTERM waits for it.
        Case{"ShutdownHookNeverQueued",
             {"-x", kSlowHook, "-s", "kill -TERM $PPID"},
             nullptr,
             {{"waiting for the SHUTDOWN hook"}, {"hook SHUTDOWN critical done"}},
             {"ending on SIGTERM"},
             {"hook LOWBATT", "dropped", "failed"}},
        Case{"FailedShutdownRetried",
             {"-s", kFailsOnce},
             nullptr,
             {{"failed: status 1; trying again in 10 s"}, {"\nshut down\n", {}, SIGTERM}},
             {},
             {"trying again in 20 s"}},
        Case{"LineBackWithdrawsTheDecision",
             {"-s", "false", "-P", "x1", "-x", "echo hook $SUPCTL_EVENT"},
             nullptr,
             {{"trying again in 10 s", {"power_flags=8"}},
              {"the shutdown is withdrawn", {"power_flags=0"}},
              {"hook ONBATT", {}, SIGHUP}},
             {"ending on SIGHUP"},
             {"trying again in 20 s"}},
        Case{"DecisionCarriedOnInTheSameBoot",
             {"-v", "-s", "echo shut down", "-x", "echo hook $SUPCTL_EVENT"},
             "reason lost\nran yes\n",
             {{"not deciding again; the shutdown command ran"},
              {"poll:", {}, SIGPIPE},
              {"poll:", {}, SIGUSR1}},
             {"hook LOWBATT", "ending on SIGUSR1"},
             {"SHUTDOWN", "shut down\n"}},
        // Polled every second at a percent a second: the estimate is known
        // after about 11 s, and the runtime rule decides at 25 s left.
        Case{"RuntimeRuleOnADrainingBoard",
             {"-i", "1", "--runtime-low", "25", "-s",
              "echo left $SUPCTL_RUNTIME_S at $SUPCTL_CHARGE_PERCENT %"},
             nullptr,
             {{"' (runtime)\n"}, {" %\n", {}, SIGTERM}},
             {},
             {},
             {"charge_percent=40", "drain_per_minute=60"},
             runtime_within_10_percent},
        // Each subscriber its own queue: a failing one and -x go on beside a
        // busy one, and every SHUTDOWN hook starts at once.
        Case{"HookFolderBesideTheCommand",
             {"-x", "echo x $SUPCTL_EVENT", "-s", "true"},
             nullptr,
             {{"fails LOWBATT"}, {"busy ONBATT done", {}, SIGTERM}},
             {"x LOWBATT", "x SHUTDOWN", "fails SHUTDOWN", "busy SHUTDOWN first",
              "10-fails: hook for ONBATT failed: status 3\n",
              "hooks.d: 30-writable skipped: writable by group or others\n"},
             {"writable ran"},
             {},
             nullptr,
             {{"10-fails", 0755, "echo fails $SUPCTL_EVENT; exit 3"},
              {"20-busy", 0700, kBusyHook},
              {"30-writable", 0775, "echo writable ran"}}}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
