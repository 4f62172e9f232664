// SPDX-License-Identifier: MIT
#include "harness/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace harness {

namespace {

std::vector<char*> make_argv(const std::vector<std::string>& argv) {
  std::vector<char*> result;
  result.reserve(argv.size() + 1);
  for (const std::string& word : argv) result.push_back(const_cast<char*>(word.c_str()));
  result.push_back(nullptr);
  return result;
}

// Appends what is readable on fd to text; closes fd and returns -1 at EOF.
int drain(int fd, std::string& text) {
  char buffer[4096];
  const ssize_t count = read(fd, buffer, sizeof buffer);
  if (count > 0) {
    text.append(buffer, static_cast<size_t>(count));
    return fd;
  }
  if (count < 0 && (errno == EINTR || errno == EAGAIN)) return fd;
  close(fd);
  return -1;
}

// The program and its arguments, behind the emulator that a cross build runs
// target programs with (SUPCTL_TEST_EMULATOR, words separated by blanks).
std::vector<std::string> with_emulator(const std::vector<std::string>& argv) {
  const char* emulator = getenv("SUPCTL_TEST_EMULATOR");
  if (emulator == nullptr || *emulator == '\0') return argv;
  std::vector<std::string> words;
  std::istringstream prefix(emulator);
  for (std::string word; prefix >> word;) words.push_back(word);
  words.insert(words.end(), argv.begin(), argv.end());
  return words;
}

// In the child: fd becomes the capture pipe (if any), the file at target,
// or closed.
void redirect(int fd, int pipe_end, const std::string& target, int flags = O_WRONLY) {
  if (target == kClosed) {
    close(fd);
  } else if (!target.empty()) {
    const int file = open(target.c_str(), flags);
    if (file < 0) _exit(126);
    dup2(file, fd);
    close(file);
  } else if (pipe_end >= 0) {
    dup2(pipe_end, fd);
  }
}

}  // namespace

bool ChildResult::exited_with(int code) const {
  return !timed_out && WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == code;
}

bool ChildResult::killed_by(int signal) const {
  return !timed_out && WIFSIGNALED(wait_status) && WTERMSIG(wait_status) == signal;
}

std::string ChildResult::describe() const {
  if (timed_out) return "timed out";
  if (WIFEXITED(wait_status)) return "exit " + std::to_string(WEXITSTATUS(wait_status));
  if (WIFSIGNALED(wait_status)) return "signal " + std::to_string(WTERMSIG(wait_status));
  return "status " + std::to_string(wait_status);
}

ChildResult run_captured(const std::vector<std::string>& argv, const RunOptions& options) {
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe2 failed");
  const std::vector<std::string> command = with_emulator(argv);
  std::vector<char*> args = make_argv(command);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    redirect(STDOUT_FILENO, out_pipe[1], options.stdout_to);
    redirect(STDERR_FILENO, err_pipe[1], options.stderr_to);
    redirect(STDIN_FILENO, -1, options.stdin_from, O_RDONLY);
    if (options.new_session) setsid();
    const rlimit no_core = {0, 0};
    setrlimit(RLIMIT_CORE, &no_core);  // aborts are expected results here
    execv(args[0], args.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (options.on_started) options.on_started(pid);

  ChildResult result;
  int out_fd = out_pipe[0], err_fd = err_pipe[0];
  bool reaped = false;
  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  while (out_fd >= 0 || err_fd >= 0 || !reaped) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    poll(fds, 2, 5);
    if (fds[0].revents) {
      const size_t known = result.out.size();
      out_fd = drain(out_fd, result.out);
      if (options.on_output && result.out.size() > known) options.on_output(pid, result.out);
    }
    if (fds[1].revents) err_fd = drain(err_fd, result.err);
    if (options.while_waiting) options.while_waiting();
    if (!reaped && waitpid(pid, &result.wait_status, WNOHANG) == pid) reaped = true;
    if (std::chrono::steady_clock::now() > deadline) {
      // Also when the program has ended but something it started still
      // holds its output open.
      if (!reaped) {
        kill(pid, SIGKILL);
        waitpid(pid, &result.wait_status, 0);
        reaped = true;
      }
      for (int* fd : {&out_fd, &err_fd}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
      }
      result.timed_out = true;
    }
  }
  return result;
}

}  // namespace harness
