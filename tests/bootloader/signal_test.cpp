// SPDX-License-Identifier: MIT
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
#include <optional>
#include <sstream>
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
  std::optional<Clock::duration> signal_to_end;  // none when no signal was sent
  std::string received;
  std::string missing_file;
};

// Sends the signal to the tool once it has reached the stage of the case.
Outcome run_until_signalled(const SignalCase& test) {
  TempDir dir;
  Pty pty;
  std::atomic<pid_t> tool{0};
  std::optional<Clock::time_point> signalled;
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
        outcome.missing_file = dir.path("missing");
        args.insert(args.end(), {"-b", outcome.missing_file});
      }
      bool greeted = false;
      options.on_output = [&](pid_t, const std::string& out) {
        if (!greeted && out == kPreviewStart) {
          write_all(pty.master(), kGreeting);
          greeted = true;
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
  if (signalled) outcome.signal_to_end = Clock::now() - *signalled;
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
    // A file that was named and can't be opened is named on stderr.
    EXPECT_EQ(outcome.tool.err,
              outcome.missing_file.empty()
                  ? ""
                  : "supctl: cannot open " + outcome.missing_file + ": " + strerror(ENOENT) + "\n");
    ASSERT_TRUE(outcome.signal_to_end.has_value()) << "no signal was sent";
    if (test.stage == Stage::upload) {
      EXPECT_EQ(outcome.received, "U");
    }
    if (test.signal == SIGTERM) {
      EXPECT_TRUE(outcome.tool.killed_by(SIGTERM)) << outcome.tool.describe();
      continue;
    }
    EXPECT_TRUE(outcome.tool.exited_with(0)) << outcome.tool.describe();
    EXPECT_GE(*outcome.signal_to_end, std::chrono::milliseconds(900));
  }
}

}  // namespace

// A port that hangs up under the preview fails its reads from then on: the
// first may report the hang-up itself, the rest read as ended. The preview
// reports each one and goes on until a signal ends it.
TEST(BootloaderSignals, PreviewOfAHungUpPortReportsEveryReadUntilSignalled) {
  Pty pty;
  const std::string hung_up = "Error from read: -1: " + std::string(strerror(EIO)) + "\n";
  const std::string ended = "Timeout from read OR closed fd\n";
  std::atomic<bool> signalled{false};
  harness::RunOptions options;
  options.on_output = [&](pid_t pid, const std::string& out) {
    if (out == kPreviewStart) pty.close_master();
    if (!signalled && out.size() > kPreviewStart.size()) signalled = kill(pid, SIGINT) == 0;
  };
  const harness::ChildResult run = run_supctl({"-p", pty.slave_path()}, options);
  EXPECT_TRUE(run.exited_with(0)) << run.describe();

  const std::string farewell = "received SIGINT\n\nByebye\n";
  ASSERT_GT(run.out.size(), kPreviewStart.size() + farewell.size());
  EXPECT_EQ(run.out.substr(0, kPreviewStart.size()), kPreviewStart);
  EXPECT_EQ(run.out.substr(run.out.size() - farewell.size()), farewell);
  std::istringstream reports(run.out.substr(
      kPreviewStart.size(), run.out.size() - kPreviewStart.size() - farewell.size()));
  int count = 0;
  for (std::string line; std::getline(reports, line); ++count) {
    line += '\n';
    EXPECT_TRUE(line == ended || (count == 0 && line == hung_up)) << line;
  }
  EXPECT_GT(count, 0);
}
