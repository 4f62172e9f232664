// supctl-sim as a user meets it: a session of several supctl runs against one
// simulated board whose state persists in a file between the runs.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>

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

  harness::ChildResult sim(std::vector<std::string> sim_args,
                           const std::vector<std::string>& supctl_args) {
    std::vector<std::string> argv = {SUPCTL_SIM_BINARY, "--state", state_};
    argv.insert(argv.end(), sim_args.begin(), sim_args.end());
    argv.insert(argv.end(), {"--", SUPCTL_BINARY});
    argv.insert(argv.end(), supctl_args.begin(), supctl_args.end());
    return harness::run_captured(argv);
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

TEST_P(SimFault, CommandSeesTheFaultyBus) {
  const harness::ChildResult run = sim({"--reset", "--fault", GetParam().mode}, {});
  if (GetParam().signal) {
    EXPECT_TRUE(run.killed_by(GetParam().signal)) << run.describe();
  } else {
    EXPECT_TRUE(run.exited_with(0)) << run.describe();
  }
  EXPECT_EQ(run.out, GetParam().out);
  EXPECT_EQ(run.err, GetParam().err);
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

}  // namespace
