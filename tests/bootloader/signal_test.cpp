// Signals that end a bootloader run: during the port preview, which has no
// other end, and during an upload. The cases run side by side, since each
// handled signal holds its run for a second.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "common/temp_dir.h"
#include "fake_bootloader.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kPreviewStart = "Port preview mode\n\nAll set, what do we have here? ...\n";
const std::string kGreeting = "hi\r\n";
const std::string kGreetingReport = "Read 4: \"hi\r\n\"\n";

enum class Stage {
  preview,               // no -b
  preview_missing_file,  // -b naming no file
  upload,                // waiting for the answer after byte 1
};

struct SignalCase {
  const char* name;
  Stage stage;
  int signal;
  std::string farewell;  // what the run prints after the signal
};

struct Outcome {
  harness::ChildResult tool;
  Clock::duration signal_to_end{};
  std::string received;
};

// Sends the signal to the tool once it has reached the stage of the case.
Outcome run_until_signalled(const SignalCase& test) {
  TempDir dir;
  Pty pty;
  std::atomic<pid_t> tool{0};
  Clock::time_point signalled{};
  auto send_signal = [&] {
    while (tool == 0) std::this_thread::yield();
    signalled = Clock::now();
    kill(tool, test.signal);
  };
  harness::RunOptions options;
  options.on_started = [&](pid_t pid) { tool = pid; };
  Outcome outcome;

  switch (test.stage) {
    case Stage::preview:
    case Stage::preview_missing_file: {
      std::vector<std::string> args = {"-p", pty.slave_path()};
      if (test.stage == Stage::preview_missing_file) {
        args.insert(args.end(), {"-b", dir.path("missing")});
      }
      bool greeted = false;
      options.on_output = [&](pid_t, const std::string& out) {
        if (!greeted && out == kPreviewStart) {
          greeted = write(pty.master(), kGreeting.data(), kGreeting.size()) > 0;
        } else if (out == kPreviewStart + kGreetingReport) {
          send_signal();
        }
      };
      outcome.tool = run_supctl(args, options);
      break;
    }
    case Stage::upload: {
      const std::string file = dir.write("image.bin", std::string(32767, 'U'));
      BootloaderScript script;
      script.on_unanswered_point = send_signal;
      const BootloaderRun run = run_with_bootloader(pty, {"-p", pty.slave_path(), "-b", file},
                                                    std::move(script), options);
      outcome.tool = run.tool;
      outcome.received = run.received;
      break;
    }
  }
  outcome.signal_to_end = Clock::now() - signalled;
  return outcome;
}

std::string expected_start(Stage stage) {
  switch (stage) {
    case Stage::preview:
    case Stage::preview_missing_file: return kPreviewStart + kGreetingReport;
    case Stage::upload: return "\nAll set, start sending file...\n";
  }
  return "";
}

const SignalCase kCases[] = {
    {"SIGINT in the preview", Stage::preview, SIGINT, "received SIGINT\n\nByebye\n"},
    {"SIGUSR1 in the preview", Stage::preview_missing_file, SIGUSR1,
     "received SIGUSR1\n\nByebye\n"},
    {"SIGQUIT in the preview", Stage::preview, SIGQUIT, "\nByebye\n"},
    {"SIGINT in an upload", Stage::upload, SIGINT, "received SIGINT\n\nByebye\n"},
    {"SIGUSR1 in an upload", Stage::upload, SIGUSR1, "received SIGUSR1\n\nByebye\n"},
    {"SIGQUIT in an upload", Stage::upload, SIGQUIT, "\nByebye\n"},
    {"SIGTERM in the preview", Stage::preview, SIGTERM, ""},
};

TEST(BootloaderSignals, EndTheRunWithTheirLinesAfterASecond) {
  std::vector<std::future<Outcome>> runs;
  for (const SignalCase& test : kCases) {
    runs.push_back(std::async(std::launch::async, run_until_signalled, std::cref(test)));
  }
  for (size_t i = 0; i < std::size(kCases); ++i) {
    const SignalCase& test = kCases[i];
    SCOPED_TRACE(test.name);
    const Outcome outcome = runs[i].get();
    EXPECT_EQ(outcome.tool.out, expected_start(test.stage) + test.farewell);
    EXPECT_EQ(outcome.tool.err, "");
    if (test.stage == Stage::upload) {
      EXPECT_EQ(outcome.received, "U");
    }
    if (test.signal == SIGTERM) {
      EXPECT_TRUE(outcome.tool.killed_by(SIGTERM)) << outcome.tool.describe();
      continue;
    }
    EXPECT_TRUE(outcome.tool.exited_with(0)) << outcome.tool.describe();
    EXPECT_GE(outcome.signal_to_end, std::chrono::milliseconds(900));
  }
}

}  // namespace

// A port that hangs up under the preview reads as ended from then on; the
// preview reports every such read and goes on until a signal ends it.
TEST(BootloaderSignals, PreviewOfAHungUpPortReportsEveryReadUntilSignalled) {
  Pty pty;
  const std::string error_line = "Timeout from read OR closed fd\n";
  std::atomic<bool> signalled{false};
  harness::RunOptions options;
  options.on_output = [&](pid_t pid, const std::string& out) {
    if (out == kPreviewStart) pty.close_master();
    if (!signalled && out.find(error_line) != std::string::npos) signalled = kill(pid, SIGINT) == 0;
  };
  const harness::ChildResult run = run_supctl({"-p", pty.slave_path()}, options);
  EXPECT_TRUE(run.exited_with(0)) << run.describe();

  const std::string farewell = "received SIGINT\n\nByebye\n";
  ASSERT_GT(run.out.size(), kPreviewStart.size() + farewell.size());
  EXPECT_EQ(run.out.substr(0, kPreviewStart.size()), kPreviewStart);
  EXPECT_EQ(run.out.substr(run.out.size() - farewell.size()), farewell);
  std::string reports = run.out.substr(kPreviewStart.size());
  reports.resize(reports.size() - farewell.size());
  ASSERT_FALSE(reports.empty());
  for (size_t at = 0; at < reports.size(); at += error_line.size())
    ASSERT_EQ(reports.compare(at, error_line.size(), error_line), 0) << reports.substr(at, 80);
}
