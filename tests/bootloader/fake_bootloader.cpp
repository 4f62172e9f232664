// SPDX-License-Identifier: MIT
#include "fake_bootloader.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace {

constexpr size_t kReadBackInterval = 32767;
// How long the bootloader watches for stray bytes before it answers, and
// how long the line must stay silent before a finished run is collected.
constexpr int kQuietMilliseconds = 10;
constexpr int kDrainMilliseconds = 50;

bool readable_within(int fd, int milliseconds) {
  pollfd ready = {fd, POLLIN, 0};
  return poll(&ready, 1, milliseconds) > 0;
}

}  // namespace

// Interrupted calls are retried: the tests start many programs at once, and
// the signals of their ends can interrupt a call on the master (qemu-user
// passes such interruptions on).
void write_all(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throw std::runtime_error("write to the pty master failed");
    done += static_cast<size_t>(written);
  }
}

// Opened close-on-exec, so that no tool started from a parallel test holds
// on to this line. The slave's name comes from ptsname_r: tests create
// ptys from several threads at once, and ptsname's shared buffer could hand
// one test the line of another.
Pty::Pty() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[64];
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0)
    throw std::runtime_error("cannot create a pseudo-terminal");
  slave_path_ = name;
  slave_ = open(slave_path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) throw std::runtime_error("cannot open " + slave_path_);
}

Pty::~Pty() {
  close_master();
  close(slave_);
}

void Pty::close_master() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

FakeBootloader::FakeBootloader(Pty& pty, BootloaderScript script)
    : pty_(pty), script_(std::move(script)), thread_([this] { serve(); }) {}

FakeBootloader::~FakeBootloader() { finish(); }

void FakeBootloader::finish() {
  finishing_ = true;
  if (thread_.joinable()) thread_.join();
}

void FakeBootloader::serve() {
  size_t next_point = 1;
  char buffer[4096];
  while (received_.size() < script_.hang_up_after) {
    if (received_.size() == next_point) {
      answer_read_back();
      next_point += kReadBackInterval;
      continue;
    }
    if (!readable_within(pty_.master(), finishing_ ? kDrainMilliseconds : kQuietMilliseconds)) {
      if (finishing_) return;
      continue;
    }
    const size_t wanted = std::min(
        {sizeof buffer, next_point - received_.size(), script_.hang_up_after - received_.size()});
    const ssize_t count = read(pty_.master(), buffer, wanted);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return;
    received_.append(buffer, static_cast<size_t>(count));
  }
  pty_.close_master();
}

void FakeBootloader::answer_read_back() {
  tool_waited_.push_back(!readable_within(pty_.master(), kQuietMilliseconds));
  const size_t point = tool_waited_.size() - 1;
  if (point < script_.answers.size()) {
    write_all(pty_.master(), script_.answers[point]);
  } else if (script_.on_unanswered_point) {
    script_.on_unanswered_point();
    script_.on_unanswered_point = nullptr;
  }
}

BootloaderRun run_with_bootloader(Pty& pty, const std::vector<std::string>& args,
                                  BootloaderScript script, const harness::RunOptions& options) {
  FakeBootloader bootloader(pty, std::move(script));
  BootloaderRun run;
  run.tool = run_supctl(args, options);
  bootloader.finish();
  run.received = bootloader.received();
  run.tool_waited = bootloader.tool_waited();
  return run;
}
