// SPDX-License-Identifier: MIT
// supctl-sim as a user meets it: a session of several supctl runs against one
// simulated board whose state persists in a file between the runs.
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/roff.h"
#include "common/temp_dir.h"
#include "harness/child_process.h"

namespace {

struct Step {
  std::vector<std::string> supctl_args;
  std::string out;
};

class SimSession : public testing::Test {
 protected:
  SimSession() : state_(directory_.path("state")) {}

  // supctl-sim with sim_args on the session's state, running command.
  harness::ChildResult sim_command(const std::vector<std::string>& sim_args,
                                   const std::vector<std::string>& command,
                                   const harness::RunOptions& options = {}) {
    std::vector<std::string> argv = {SUPCTL_SIM_BINARY, "--state", state_};
    argv.insert(argv.end(), sim_args.begin(), sim_args.end());
    if (!command.empty()) argv.push_back("--");
    argv.insert(argv.end(), command.begin(), command.end());
    return harness::run_captured(argv, options);
  }

  harness::ChildResult sim(const std::vector<std::string>& sim_args,
                           const std::vector<std::string>& supctl_args) {
    std::vector<std::string> command = {SUPCTL_BINARY};
    command.insert(command.end(), supctl_args.begin(), supctl_args.end());
    return sim_command(sim_args, command);
  }

  void run_steps(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      const harness::ChildResult run = sim({}, step.supctl_args);
      EXPECT_TRUE(run.exited_with(0)) << run.describe() << " " << run.err;
      EXPECT_EQ(run.out, step.out) << testing::PrintToString(step.supctl_args);
    }
  }

  TempDir directory_;
  std::string state_;
};

TEST_F(SimSession, SettingsPersistAndEventsDrain) {
  const harness::ChildResult fresh = sim({"--reset"}, {"-o", "GET_Event"});
  EXPECT_EQ(fresh.out, "01 14\n\n");  // the power-on reset of a fresh board
  run_steps({
      {{"-o", "GET_Event"}, "00 \n\n"},
      {{"-o", "SET_LowBat", "-a", "20"}, ""},
      {{"-v", "-o", "GET_LowBat"}, "Threshold - low bat:\n20\n\n"},
      {{"-o", "SET_DisableMCU", "-a", "2"}, ""},
      {{"-o", "SET_EnableMCU", "-a", "10"}, ""},
      {{"-o", "GET_ActiveMCU"}, "[1 3 10 ]\n\n"},
      {{"-o", "SET_EraseMCU", "-a", "3"}, ""},
      {{"-o", "SET_UnlockAdminMode", "-a", "x5a5a"}, ""},
      {{"-v", "-o", "GET_Event"}, "Event:\n02 ERASED_C3 ADMINUNLOCKED \n\n"},
      {{"-o", "SET_RGB", "-a", "#ff8000"}, ""},
      {{"-o", "GET_RGB"}, "#ff8000\n\n"},
      {{"-o", "SET_SupervisorMode", "-a", "10"}, ""},
      {{"-o", "GET_SupervisorMode"}, "0a\n\n"},
  });
}

TEST_F(SimSession, PoweredOffBoardIsSilentUntilTurnedOn) {
  sim({"--reset"}, {"-o", "SET_PowerOFF", "-a", "x1"});
  run_steps({
      {{"-o", "GET_PowerStatus"}, "motion charging pg line 65535mV 255%\n\n"},
      {{"-o", "SET_LowBat", "-a", "5"}, ""},
  });
  const harness::ChildResult on = sim({"--set", "powered_off=0"}, {"-o", "GET_LowBat"});
  EXPECT_EQ(on.out, "20\n\n");  // the setting sent while off was lost
}

TEST_F(SimSession, EventQueueDrainsAtMostSeventeenAtATime) {
  std::string codes;
  for (int i = 1; i <= 20; ++i) {
    if (i > 1) codes += ' ';
    codes += std::to_string(i);
  }
  sim({"--reset", "--set", "events=" + codes}, {"-o", "GET_LowBat"});
  run_steps({
      {{"-o", "GET_Event"}, "11 0102030405060708091011121314151617\n\n"},
      {{"-o", "GET_Event"}, "03 181920\n\n"},
  });
}

TEST_F(SimSession, BoardReactsToSetValuesAndToCommands) {
  const harness::ChildResult low =
      sim({"--reset", "--set", "events=", "--set", "charge_percent=15"}, {"-v", "-o", "GET_Event"});
  EXPECT_EQ(low.out, "Event:\n01 BATLOW \n\n");
  run_steps({
      {{"-o", "SET_LowBat", "-a", "10"}, ""},
      {{"-v", "-o", "GET_Event"}, "Event:\n01 BATLOWOFF \n\n"},
  });
}

// A board's answers recorded with -D come back from the trace, whatever
// the simulated board would say; a frame never recorded meets a silent bus.
TEST_F(SimSession, ReplayAnswersAsTheTracedBoardDid) {
  const std::string trace = directory_.write(
      "board.trace", sim({"--reset", "--set", "low_bat=33"}, {"-v", "-D", "-o", "GET_LowBat"}).out);
  const auto replay = [&](const std::string& file, const std::string& operation) {
    return harness::run_captured(
        {SUPCTL_SIM_BINARY, "--replay", file, "--", SUPCTL_BINARY, "-o", operation});
  };
  const harness::ChildResult recorded = replay(trace, "GET_LowBat");
  EXPECT_EQ(recorded.out, "33\n\n");
  EXPECT_EQ(recorded.err, "");
  const harness::ChildResult unknown = replay(trace, "GET_CriticalLowBat");
  EXPECT_EQ(unknown.out, "255\n\n");
  EXPECT_EQ(unknown.err,
            "supctl-sim: no reply recorded for TX 2A FF FF FF; the bus stays at 0xFF\n");
  const harness::ChildResult strict = harness::run_captured(
      {SUPCTL_SIM_BINARY, "--replay", trace, "--fail-unrecorded", "--", "sh", "-c",
       std::string(SUPCTL_BINARY) + " -o GET_CriticalLowBat 2>/dev/null; exit 0"});
  EXPECT_TRUE(strict.exited_with(2)) << strict.describe();
  EXPECT_EQ(strict.err, "supctl-sim: no reply recorded for TX 2A FF FF FF; the transfer fails\n");
  const std::string broken = directory_.write("broken.trace", "Power status:\nRX | FF\n");
  const harness::ChildResult refused = replay(broken, "GET_LowBat");
  EXPECT_TRUE(refused.exited_with(2)) << refused.describe();
  EXPECT_EQ(refused.err, "supctl-sim: " + broken + ": line 2: expected 16 cells, then \" | \"\n");
}

TEST_F(SimSession, InitialValuesComeFromOptions) {
  const harness::ChildResult run = sim({"--reset", "--set", "power_flags=0x5", "--set",
                                        "millivolts=3650", "--set", "charge_percent=15"},
                                       {});
  EXPECT_EQ(run.out, "motion pg 3650mV 15%\n\n");
}

struct FaultCase {
  const char* mode;
  std::string out;
  std::string err;
  int signal;  // 0: exit status 0
};

class SimFault : public SimSession, public testing::WithParamInterface<FaultCase> {};

// The one-run form and the board's own fault act alike.
TEST_P(SimFault, CommandSeesTheFaultyBus) {
  const std::string mode = GetParam().mode;
  for (const auto& [option, value] :
       {std::pair<std::string, std::string>{"--fault", mode}, {"--set", "fault=" + mode}}) {
    const harness::ChildResult run = sim({"--reset", option, value}, {});
    if (GetParam().signal) {
      EXPECT_TRUE(run.killed_by(GetParam().signal)) << option << ": " << run.describe();
    } else {
      EXPECT_TRUE(run.exited_with(0)) << option << ": " << run.describe();
    }
    EXPECT_EQ(run.out, GetParam().out);
    EXPECT_EQ(run.err, GetParam().err);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SimFault,
    testing::Values(FaultCase{"silent", "motion charging pg line 65535mV 255%\n\n", "", 0},
                    FaultCase{"transfer", "", "can't send spi message: Input/output error\n",
                              SIGABRT},
                    FaultCase{"settings", "", "can't set spi mode: Invalid argument\n", SIGABRT}));

TEST_F(SimSession, ExitStatusOfTheCommandIsPassedOn) {
  const harness::ChildResult run = sim({"--reset"}, {"-o", "GET_Bogus"});
  EXPECT_TRUE(run.exited_with(1)) << run.describe();
  EXPECT_EQ(run.out, "Error: Operation unknown\n");
}

TEST_F(SimSession, BrokenStateFileIsReportedNotOverwritten) {
  std::ofstream(state_) << "millivolts = lots\n";
  const harness::ChildResult run = sim({}, {});
  EXPECT_TRUE(run.exited_with(2)) << run.describe();
  EXPECT_EQ(run.err,
            "supctl-sim: " + state_ + ": line 1: millivolts: expected a number from 0 to 65535\n");
  std::ifstream file(state_);
  std::string line;
  std::getline(file, line);
  EXPECT_EQ(line, "millivolts = lots");
}

TEST_F(SimSession, ParallelRunsTakeTurnsAndEveryUpdateSurvives) {
  sim({"--reset", "--set", "active_mcus=0"}, {"-o", "GET_LowBat"});
  std::vector<std::thread> runs;
  for (int mcu = 1; mcu <= 10; ++mcu)
    runs.emplace_back([this, mcu] { sim({}, {"-o", "SET_EnableMCU", "-a", std::to_string(mcu)}); });
  for (std::thread& run : runs) run.join();
  EXPECT_EQ(sim({}, {"-o", "GET_ActiveMCU"}).out, "[1 2 3 4 5 6 7 8 9 10 ]\n\n");
}

TEST_F(SimSession, ShowSavesNothing) {
  sim({"--reset"}, {"-o", "SET_LowBat", "-a", "33"});
  const std::string saved = read_file(state_);
  const harness::ChildResult show = sim({"--reset", "--set", "low_bat=44", "--show"}, {});
  EXPECT_NE(show.out.find("low_bat = 44\n"), std::string::npos) << show.out;
  EXPECT_EQ(read_file(state_), saved);
}

// A link at the state's name is followed to the state it leads to, which is
// replaced while the link stays; a link planted at the old temporary name
// leads nowhere.
TEST_F(SimSession, StateBehindALinkIsSavedThroughIt) {
  const std::string target = directory_.path("real-state");
  sim({"--reset"}, {"-o", "GET_LowBat"});
  std::filesystem::rename(state_, target);
  std::filesystem::create_symlink(target, state_);
  std::filesystem::create_symlink(directory_.path("victim"), target + ".new");
  const harness::ChildResult run = sim({}, {"-o", "SET_LowBat", "-a", "44"});
  EXPECT_TRUE(run.exited_with(0)) << run.describe() << run.err;
  EXPECT_TRUE(std::filesystem::is_symlink(state_));
  EXPECT_NE(read_file(target).find("low_bat = 44\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(directory_.path("victim")));
}

class SimSignal : public SimSession, public testing::WithParamInterface<int> {};

// The command changes the board and waits; the signal sent to supctl-sim
// reaches it, and supctl-sim removes umockdev's folder and ends the way the
// command did. The change was saved as it was made.
TEST_P(SimSignal, GoesToTheCommand) {
  const TempDir tmp;
  const std::string script =
      std::string(SUPCTL_BINARY) + " -o SET_LowBat -a 33 && echo ready && exec sleep 30";
  harness::RunOptions options;
  options.on_output = [](pid_t pid, const std::string& out) {
    if (out == "ready\n") kill(pid, GetParam());
  };
  const harness::ChildResult run =
      harness::run_captured({"/usr/bin/env", "TMPDIR=" + tmp.path(""), SUPCTL_SIM_BINARY, "--state",
                             state_, "--reset", "--", "sh", "-c", script},
                            options);
  EXPECT_TRUE(run.killed_by(GetParam())) << run.describe() << run.err;
  EXPECT_NE(read_file(state_).find("low_bat = 33\n"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path(""))) << "umockdev's folder is left";
}

INSTANTIATE_TEST_SUITE_P(EndingARun, SimSignal,
                         testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGALRM,
                                         SIGRTMIN));

// Ctrl-C on the terminal goes to the whole foreground process group, the
// command included, so supctl-sim does not pass it on: the command would
// get it twice. The command here leaves that group first and counts the
// interrupts that still reach it, which only supctl-sim could send.
TEST_F(SimSession, TerminalInterruptIsNotPassedOnASecondTime) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const std::string script =
      "setpgrp; $n = 0; $SIG{INT} = sub { $n++ }; $| = 1; print qq(ready\\n);"
      "select(undef, undef, undef, 0.1) for 1 .. 10; print qq(interrupts $n\\n);";
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // A session of its own with the pty as its controlling terminal.
    setsid();
    ioctl(slave, TIOCSCTTY, 0);
    for (int fd = 0; fd <= 2; ++fd) dup2(slave, fd);
    execl(SUPCTL_SIM_BINARY, SUPCTL_SIM_BINARY, "--state", state_.c_str(), "--", "perl", "-e",
          script.c_str(), nullptr);
    _exit(127);
  }
  close(slave);
  std::string out;
  char buffer[256];
  for (ssize_t count; (count = read(master, buffer, sizeof buffer)) > 0;) {
    out.append(buffer, static_cast<size_t>(count));
    if (out.find("ready") != std::string::npos && out.find("^C") == std::string::npos) {
      ASSERT_EQ(write(master, "\x03", 1), 1);
      out += "^C";
    }
  }
  close(master);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << out;
  EXPECT_NE(out.find("interrupts 0\r\n"), std::string::npos) << out;
}

// Whatever supctl-sim ignores or blocks (SIGHUP ignored by its caller here,
// SIGPIPE by GLib, the signals it passes on), the command starts clean.
TEST_F(SimSession, CommandStartsWithDefaultSignals) {
  const std::string sim_run = std::string(SUPCTL_SIM_BINARY) + " --state " + state_ +
                              " -- grep -E '^Sig(Blk|Ign)' /proc/self/status";
  const harness::ChildResult run =
      harness::run_captured({"/bin/sh", "-c", "trap '' HUP; exec " + sim_run});
  EXPECT_EQ(run.out, "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n") << run.err;
}

// A plain shell command line run with env's assignments in front of it.
harness::ChildResult run_shell(const std::vector<std::string>& assignments,
                               const std::string& line) {
  std::vector<std::string> argv = {"/usr/bin/env"};
  argv.insert(argv.end(), assignments.begin(), assignments.end());
  argv.insert(argv.end(), {"/bin/sh", "-c", line});
  return harness::run_captured(argv);
}

std::string folder_of(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}

TEST_F(SimSession, HelpExamplesRunAsPrinted) {
  const std::string help = sim_command({"--help"}, {}).out;
  const std::string examples = help.substr(help.find("Examples:\n"));
  std::istringstream lines(examples.substr(examples.find('\n') + 1));
  int count = 0;
  for (std::string line; std::getline(lines, line) && line.starts_with("  "); ++count) {
    const harness::ChildResult example =
        run_shell({"PATH=/usr/bin:/bin", "XDG_STATE_HOME=" + directory_.path("")}, line);
    EXPECT_TRUE(example.exited_with(0)) << line << ": " << example.describe() << example.err;
  }
  EXPECT_GE(count, 2);
}

// Each option of the help ("  -s, --state FILE ..." or "      --show ...")
// has its entry in the man page's option list.
TEST_F(SimSession, ManPageDescribesEveryOptionOfTheHelp) {
  const std::string page = read_file(SUPCTL_SIM_MAN_PAGE);
  std::istringstream help(sim_command({"--help"}, {}).out);
  int count = 0;
  for (std::string line; std::getline(help, line);) {
    std::istringstream words(line);
    std::string first, second;
    words >> first >> second;
    if (!first.starts_with("-")) continue;
    const std::string tag =
        first.ends_with(",") ? roff(first.substr(0, first.size() - 1)) + " \", \" " + roff(second)
                             : roff(first);
    EXPECT_TRUE(page.find(".TP\n.B " + tag) != std::string::npos ||
                page.find(".TP\n.BR " + tag) != std::string::npos)
        << tag;
    ++count;
  }
  EXPECT_EQ(count, 8);
}

// Off PATH, supctl-sim puts its folder first, so the supctl next to it
// runs; on PATH, as when installed, the PATH's order holds.
TEST_F(SimSession, CommandIsFoundNextToTheSimulatorOrOnPath) {
  const std::string other = directory_.write("supctl", "#!/bin/sh\necho other supctl\n");
  std::filesystem::permissions(other, std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  const std::string sim_run = std::string(SUPCTL_SIM_BINARY) + " --state " + state_ + " -- supctl";
  EXPECT_EQ(run_shell({"PATH=/usr/bin:/bin"}, sim_run).out, "charging line 4012mV 87%\n\n");
  const std::string path = folder_of(other) + ":" + folder_of(SUPCTL_SIM_BINARY) + ":/usr/bin:/bin";
  EXPECT_EQ(run_shell({"PATH=" + path}, sim_run).out, "other supctl\n");
}

struct UnsavableState {
  const char* what;
  std::string state;  // in the session's directory
  std::string link;   // when set, a link from this name to "victim"
  std::string err;    // how stderr starts, "{dir}" standing for the session's directory
};

class UnsavableStateFile : public SimSession, public testing::WithParamInterface<UnsavableState> {};

// The run stops before the command has done anything, and nothing is
// written through a link.
TEST_P(UnsavableStateFile, IsRefusedBeforeTheCommandRuns) {
  directory_.write("a-file", "");
  if (!GetParam().link.empty())
    std::filesystem::create_symlink(directory_.path("victim"), directory_.path(GetParam().link));
  state_ = directory_.path(GetParam().state);
  const harness::ChildResult refused = sim_command({}, {"touch", directory_.path("ran")});
  EXPECT_TRUE(refused.exited_with(2)) << refused.describe();
  std::string err = GetParam().err;
  err.replace(err.find("{dir}"), 5, directory_.path(""));
  EXPECT_TRUE(refused.err.starts_with("supctl-sim: " + err)) << refused.err;
  EXPECT_FALSE(std::filesystem::exists(directory_.path("ran")));
  EXPECT_FALSE(std::filesystem::exists(directory_.path("victim")));
}

// The temporary file takes seven characters more than the name: a name
// that leaves room for ".lock" but not for them can be locked but not saved.
std::string long_name() { return std::string(249, 's'); }

INSTANTIATE_TEST_SUITE_P(
    Cases, UnsavableStateFile,
    testing::Values(
        UnsavableState{"FolderIsAFile", "a-file/state", "", "{dir}a-file/state: Not a directory\n"},
        UnsavableState{"LinkToNothing", "state", "state",
                       "{dir}state is a link that leads to no file: No such file or directory\n"},
        UnsavableState{"LinkAtTheLock", "state", "state.lock",
                       "cannot lock {dir}state.lock: Too many levels of symbolic links"},
        UnsavableState{"NoRoomForTheTemporaryName", long_name(), "",
                       "cannot create a file next to {dir}" + long_name() +
                           ": File name too long; the command was not run\n"}),
    [](const testing::TestParamInfo<UnsavableState>& info) { return info.param.what; });

// The state's folder goes away under a running command: the exchange that
// can't save fails (EIO), and the run ends with status 2 though the command
// exits with 0.
TEST_F(SimSession, StateThatCannotBeSavedFailsTheExchange) {
  state_ = directory_.path("board/state");
  sim({"--reset"}, {"-o", "GET_LowBat"});
  const std::string script =
      "rm -r " + directory_.path("board") + "; " + SUPCTL_BINARY + "; exit 0";
  const harness::ChildResult run = sim_command({}, {"sh", "-c", script});
  EXPECT_TRUE(run.exited_with(2)) << run.describe();
  EXPECT_NE(run.err.find(": Input/output error\n"), std::string::npos);
  EXPECT_NE(run.err.find("supctl-sim: cannot create a file next to " + state_), std::string::npos)
      << run.err;
}

struct RefusedOptions {
  std::vector<std::string> args;
  std::string err;
};

class SimOptionErrors : public SimSession, public testing::WithParamInterface<RefusedOptions> {};

// Refused before anything is read or made; "--f" and "--fa" stay "--fault".
TEST_P(SimOptionErrors, EndWithStatusTwoAndAMessage) {
  std::vector<std::string> argv = {SUPCTL_SIM_BINARY};
  argv.insert(argv.end(), GetParam().args.begin(), GetParam().args.end());
  const harness::ChildResult run = harness::run_captured(argv);
  EXPECT_TRUE(run.exited_with(2)) << run.describe();
  EXPECT_EQ(run.err, "supctl-sim: " + GetParam().err + "\n");
  EXPECT_TRUE(std::filesystem::is_empty(directory_.path("")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimOptionErrors,
    testing::Values(RefusedOptions{{"--fa", "x", "--", "true"}, "unknown fault mode 'x'"},
                    RefusedOptions{{"--fai", "--", "true"}, "--fail-unrecorded goes with --replay"},
                    RefusedOptions{{"--st", "", "--show"}, "--state needs a file name"},
                    RefusedOptions{{"--replay", "", "--", "true"}, "--replay needs a file name"},
                    RefusedOptions{{"--set", "device_info=a\nb"},
                                   "--set device_info: control characters are not allowed"},
                    RefusedOptions{
                        {"--f", "silent", "--set", "low_bat=1"},
                        "--fault is for one run of a command; --set fault=MODE keeps a fault"}));

// Nothing waits on the FIFO, nothing replaces it, no lock is made beside it.
TEST_F(SimSession, StateThatIsNoRegularFileIsRefused) {
  ASSERT_EQ(mkfifo(state_.c_str(), 0600), 0);
  const harness::ChildResult run = sim({"--set", "low_bat=5"}, {});
  EXPECT_TRUE(run.exited_with(2)) << run.describe();
  EXPECT_EQ(run.err, "supctl-sim: " + state_ + ": not a regular file\n");
  EXPECT_TRUE(std::filesystem::is_fifo(state_));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory_.path("")), {}), 1);
}

// With no TMPDIR the device can't be set up: nothing of the run is saved.
TEST_F(SimSession, DeviceThatCannotBeSetUpLeavesTheStateUntouched) {
  const harness::ChildResult run =
      harness::run_captured({"/usr/bin/env", "TMPDIR=" + directory_.path("none"), SUPCTL_SIM_BINARY,
                             "--state", state_, "--set", "low_bat=5", "--", "true"});
  EXPECT_TRUE(run.exited_with(1)) << run.describe();
  EXPECT_TRUE(run.err.starts_with("supctl-sim: cannot set up the emulated device: ")) << run.err;
  EXPECT_FALSE(std::filesystem::exists(state_));
}

// With stderr closed, the lock file would take its descriptor: the message
// is lost, the lock stays empty.
TEST_F(SimSession, CommandThatCannotRunEndsAsAShellWould) {
  const std::string plain = directory_.write("plain", "");
  harness::RunOptions closed;
  closed.stderr_to = harness::kClosed;
  const harness::ChildResult missing = sim_command({}, {directory_.path("missing")}, closed);
  const harness::ChildResult refused = sim_command({}, {plain});
  EXPECT_TRUE(missing.exited_with(127)) << missing.describe();
  EXPECT_EQ(read_file(state_ + ".lock"), "");
  EXPECT_TRUE(refused.exited_with(126)) << refused.describe();
  EXPECT_EQ(refused.err, "supctl-sim: cannot run " + plain + ": Permission denied\n");
}

// A caller that ignores SIGCHLD passes that on (umockdev's library loaded,
// so that no wrapper shell resets it): the command's status stays.
TEST_F(SimSession, StatusOfTheCommandSurvivesAnIgnoredSigchld) {
  const harness::ChildResult run = harness::run_captured(
      {"/usr/bin/perl", "-e", "$SIG{CHLD} = 'IGNORE'; exec @ARGV", "/usr/bin/env",
       "LD_PRELOAD=libumockdev-preload.so.0", "ASAN_OPTIONS=verify_asan_link_order=0",
       SUPCTL_SIM_BINARY, "--state", state_, "--", "sh", "-c", "exit 3"});
  EXPECT_TRUE(run.exited_with(3)) << run.describe() << run.err;
}

// SIGKILL can't be passed on: the command ends with the simulator, and
// with it the output that it holds open.
TEST_F(SimSession, CommandEndsWithAKilledSimulator) {
  harness::RunOptions options;
  options.on_output = [](pid_t pid, const std::string&) { kill(pid, SIGKILL); };
  const harness::ChildResult run =
      sim_command({}, {"sh", "-c", "echo ready; exec sleep 30"}, options);
  EXPECT_TRUE(run.killed_by(SIGKILL)) << run.describe();
}

TEST_F(SimSession, OutputThatCannotBeWrittenEndsWithStatusOne) {
  harness::RunOptions options;
  options.stdout_to = "/dev/full";
  for (const char* option : {"--show", "--help"}) {
    const harness::ChildResult run = sim_command({option}, {}, options);
    EXPECT_TRUE(run.exited_with(1)) << option << ": " << run.describe();
    EXPECT_EQ(run.err, "supctl-sim: write error: No space left on device\n");
  }
}

// A transfer longer than spidev's buffer fails as it does there.
TEST_F(SimSession, OverlongTransferFailsWithEmsgsize) {
  const std::string perl =
      "open(my $spi, '+<', '/dev/spidev0.1') or die; my $bytes = chr(255) x 4097;"
      "ioctl($spi, 0x40206b00, pack('P4097 P4097 L L S C6', $bytes, $bytes, 4097, (0) x 8))"
      " or print qq($!\\n);";
  const harness::ChildResult run = sim_command({}, {"perl", "-e", perl});
  EXPECT_TRUE(run.exited_with(0)) << run.describe() << run.err;
  EXPECT_EQ(run.out, "Message too long\n");
}

}  // namespace
