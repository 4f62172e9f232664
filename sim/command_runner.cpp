// SPDX-License-Identifier: MIT
#include "command_runner.h"

#include <glib-unix.h>
#include <glib.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace sim {

namespace {

// The signals whose default action ends a process, but for SIGKILL, SIGPIPE
// and those that the process's own faults raise; and the real-time ones.
constexpr int kEndingSignals[] = {SIGHUP,    SIGINT,  SIGQUIT, SIGUSR1,   SIGUSR2, SIGALRM, SIGTERM,
                                  SIGSTKFLT, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR};

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

[[noreturn]] void exec_failed(const char* name) {
  const int why = errno;
  const char* reason = strerrordesc_np(why);
  const char* parts[] = {"supctl-sim: cannot run ", name, ": ", reason ? reason : "unknown error",
                         "\n"};
  for (const char* part : parts) {
    if (write(STDERR_FILENO, part, strlen(part)) < 0) break;
  }
  _exit(why == ENOENT || why == ENOTDIR ? 127 : 126);
}

// The death signal goes with the thread that forked, the main thread, which
// lives as long as this process; a parent gone before the prctl took hold
// is seen in getppid.
[[noreturn]] void become_command(char* const args[], pid_t parent) {
  restore_default_signals();
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) raise(SIGTERM);
  execvp(args[0], args);
  exec_failed(args[0]);
}

struct Waiting {
  GMainLoop* loop;
  pid_t pid;
  int status;
};

// Passes on each signal that another process sent to this one. A signal
// that the kernel raised (Ctrl-C or a hang-up on the terminal) went to the
// whole foreground process group, the command included: passing it on
// would deliver it twice.
gboolean pass_signals_on(gint fd, GIOCondition, gpointer data) {
  const pid_t pid = static_cast<Waiting*>(data)->pid;
  signalfd_siginfo info;
  while (read(fd, &info, sizeof info) == sizeof info) {
    if (info.ssi_code != SI_KERNEL) kill(pid, static_cast<int>(info.ssi_signo));
  }
  return G_SOURCE_CONTINUE;
}

void command_ended(GPid, gint status, gpointer data) {
  Waiting* waiting = static_cast<Waiting*>(data);
  waiting->status = status;
  g_main_loop_quit(waiting->loop);
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

sigset_t passed_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kEndingSignals) sigaddset(&set, signal_number);
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number)
    sigaddset(&set, signal_number);
  return set;
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
  if (signals < 0) throw std::runtime_error(std::string("signalfd: ") + g_strerror(errno));
  // An ignored SIGCHLD, inherited from the caller, would let the system
  // reap the command before it is waited for, and its status be lost.
  signal(SIGCHLD, SIG_DFL);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) become_command(args.data(), parent);
  if (pid < 0) {
    const int why = errno;
    close(signals);
    throw std::runtime_error(std::string("cannot start the command: ") + g_strerror(why));
  }
  g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
  Waiting waiting = {loop, pid, 0};
  const guint signal_source = g_unix_fd_add(signals, G_IO_IN, pass_signals_on, &waiting);
  g_child_watch_add(pid, command_ended, &waiting);
  g_main_loop_run(loop);
  g_source_remove(signal_source);
  close(signals);
  return waiting.status;
}

}  // namespace sim
