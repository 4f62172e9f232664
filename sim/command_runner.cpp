// SPDX-License-Identifier: MIT
#include "command_runner.h"

#include <glib.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "emulated_spidev.h"

namespace sim {

namespace {

sigset_t passed_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kPassedSignals) sigaddset(&set, signal_number);
  return set;
}

// In the child between fork and exec: only async-signal-safe calls. The
// system refuses SIGKILL, SIGSTOP and the C library's own signals; they
// keep their default action anyway.
void restore_default_signals() {
  struct sigaction default_action = {};
  default_action.sa_handler = SIG_DFL;
  for (int signal_number = 1; signal_number < NSIG; ++signal_number)
    sigaction(signal_number, &default_action, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Waits for the command while answering the device, passing on each signal
// that another process sent to this one. A signal that the kernel raised
// (Ctrl-C or a hang-up on the terminal) went to the whole foreground
// process group, the command included: passing it on would deliver it twice.
int wait_passing_signals(pid_t pid, int signals) {
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    pump_main_context();
    pollfd ready = {signals, POLLIN, 0};
    poll(&ready, 1, 2);
    signalfd_siginfo info;
    while (read(signals, &info, sizeof info) == sizeof info) {
      if (info.ssi_code != SI_KERNEL) kill(pid, static_cast<int>(info.ssi_signo));
    }
  }
  return status;
}

bool folder_on_path(const std::string& folder, const char* path) {
  gchar** entries = g_strsplit(path, ":", -1);
  bool found = false;
  for (gchar** entry = entries; *entry != nullptr && !found; ++entry) {
    char* real = realpath(**entry != '\0' ? *entry : ".", nullptr);
    found = real != nullptr && folder == real;
    free(real);
  }
  g_strfreev(entries);
  return found;
}

}  // namespace

void put_own_folder_on_path() {
  gchar* self = g_file_read_link("/proc/self/exe", nullptr);
  if (self == nullptr) return;
  gchar* folder = g_path_get_dirname(self);
  // Without PATH, commands are looked up where the C library looks.
  const char* path = getenv("PATH") != nullptr ? getenv("PATH") : "/bin:/usr/bin";
  if (!folder_on_path(folder, path)) setenv("PATH", (std::string(folder) + ":" + path).c_str(), 1);
  g_free(folder);
  g_free(self);
}

void hold_passed_signals() {
  const sigset_t set = passed_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int run_next_to_device(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
  args.push_back(nullptr);
  const sigset_t set = passed_signals();
  const int signals = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (signals < 0) throw std::runtime_error("signalfd failed");
  const pid_t pid = fork();
  if (pid < 0) {
    close(signals);
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    restore_default_signals();
    execvp(args[0], args.data());
    perror(args[0]);
    _exit(127);
  }
  const int status = wait_passing_signals(pid, signals);
  close(signals);
  return status;
}

}  // namespace sim
