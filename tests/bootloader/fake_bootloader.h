// SPDX-License-Identifier: MIT
// The far end of the bootloader line: a pseudo-terminal whose slave side the
// tool opens as its port, and a bootloader played on the master side.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "common/run_supctl.h"
#include "harness/child_process.h"

// Writes all of bytes to fd, retrying interrupted writes; throws on failure.
void write_all(int fd, const std::string& bytes);

// A pseudo-terminal pair. The test keeps the slave open too, so the line
// and its settings outlive the tool's run.
class Pty {
 public:
  Pty();
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  int master() const { return master_; }
  int slave() const { return slave_; }
  const std::string& slave_path() const { return slave_path_; }
  // Hangs the line up: the tool's reads and writes fail from then on.
  void close_master();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
};

struct BootloaderScript {
  // Sent at the read-back points in order (after byte 1, 32768, 65535, ...);
  // an empty answer sends nothing and leaves the tool with what is queued.
  std::vector<std::string> answers;
  // Runs at the first read-back point beyond the answers, which gets none.
  std::function<void()> on_unanswered_point;
  // Closes the master once this many bytes have arrived.
  size_t hang_up_after = std::numeric_limits<size_t>::max();
};

// Plays the bootloader on its own thread: collects every byte the tool
// sends and answers at the read-back points, once it has received exactly
// the bytes up to the point and the tool has gone quiet.
class FakeBootloader {
 public:
  FakeBootloader(Pty& pty, BootloaderScript script);
  ~FakeBootloader();
  FakeBootloader(const FakeBootloader&) = delete;
  FakeBootloader& operator=(const FakeBootloader&) = delete;

  // Reads what is still on its way, then stops. Call once the tool has ended.
  void finish();

  // Valid after finish.
  const std::string& received() const { return received_; }
  // For each read-back point reached: whether the tool sent nothing more
  // while the bootloader held back its answer.
  const std::vector<bool>& tool_waited() const { return tool_waited_; }

 private:
  void serve();
  void answer_read_back();

  Pty& pty_;
  BootloaderScript script_;
  std::string received_;
  std::vector<bool> tool_waited_;
  std::atomic<bool> finishing_{false};
  std::thread thread_;
};

struct BootloaderRun {
  harness::ChildResult tool;
  std::string received;
  std::vector<bool> tool_waited;
};

// Runs supctl with args while a FakeBootloader with script serves the pty.
BootloaderRun run_with_bootloader(Pty& pty, const std::vector<std::string>& args,
                                  BootloaderScript script, const harness::RunOptions& options = {});
