// SPDX-License-Identifier: MIT
// Running a program under test and collecting its outcome.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace harness {

struct ChildResult {
  std::string out;  // everything written on stdout
  std::string err;  // everything written on stderr
  int wait_status = 0;
  bool timed_out = false;

  bool exited_with(int code) const;
  bool killed_by(int signal) const;
  // "exit 0", "signal 6", ... for test failure messages.
  std::string describe() const;
};

inline const std::string kClosed = "(closed)";

struct RunOptions {
  std::chrono::milliseconds timeout{20000};
  // Called once the program is started, with its pid.
  std::function<void(pid_t)> on_started;
  // Called whenever more stdout has arrived, with the pid and all of stdout so far.
  std::function<void(pid_t, const std::string& out)> on_output;
  // Where the program's stdout and stderr go instead of being captured: a
  // path is opened for writing (such as /dev/full), kClosed leaves the
  // descriptor closed.
  std::string stdout_to;
  std::string stderr_to;
  // Where stdin comes from: a path opened for reading, or kClosed; empty
  // leaves it as the test's own.
  std::string stdin_from;
  // Starts the program as the leader of a session of its own, which has no
  // controlling terminal.
  bool new_session = false;
  // Work for the waiting thread between two looks at the program, such as
  // pumping the event loop that an emulated device relies on.
  std::function<void()> while_waiting;
};

// Runs argv[0] (a path) with stdout and stderr captured and no core dumps,
// until the program has ended. In a cross build, SUPCTL_TEST_EMULATOR names
// the emulator that runs the target's programs (for example
// "qemu-arm -L /usr/arm-linux-gnueabihf").
ChildResult run_captured(const std::vector<std::string>& argv, const RunOptions& options = {});

}  // namespace harness
