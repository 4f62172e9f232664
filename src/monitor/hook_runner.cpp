// SPDX-License-Identifier: MIT
#include "monitor/hook_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ops/reply_values.h"

namespace {

// Inherited variables a hook must not see: the service manager's channel
// is the monitor's alone, and the monitor sets the SUPCTL_ ones itself.
constexpr const char* kWithheldPrefixes[] = {
    "NOTIFY_SOCKET=",     "WATCHDOG_USEC=",     "WATCHDOG_PID=",          "SUPCTL_EVENT=",
    "SUPCTL_EVENT_CODE=", "SUPCTL_EVENT_NAME=", "SUPCTL_CHARGE_PERCENT=", "SUPCTL_MILLIVOLTS=",
    "SUPCTL_LINE=",       "SUPCTL_CHARGING=",
};

bool withheld(const char* variable) {
  for (const char* prefix : kWithheldPrefixes) {
    if (strncmp(variable, prefix, strlen(prefix)) == 0) return true;
  }
  return false;
}

}  // namespace

HookEnvironment::HookEnvironment(const HookRequest& request, char* const* inherited) {
  int count = 0;
  for (; inherited != nullptr && *inherited != nullptr && count < kMaxHookEnvironment;
       ++inherited) {
    if (!withheld(*inherited)) envp_[count++] = *inherited;
  }
  int slot = 0;
  const auto add = [&](const char* format, auto value) {
    snprintf(own_[slot], sizeof own_[slot], format, value);
    envp_[count++] = own_[slot++];
  };
  add("SUPCTL_EVENT=%s", notification_name(request.kind));
  if (request.power_known) {
    add("SUPCTL_CHARGE_PERCENT=%u", request.power.charge_percent);
    add("SUPCTL_MILLIVOLTS=%u", request.power.millivolts);
    add("SUPCTL_LINE=%u", request.power.line ? 1u : 0u);
    add("SUPCTL_CHARGING=%u", request.power.charging ? 1u : 0u);
  }
  if (request.kind == Notification::event) {
    const char* name = event_name(request.event_code);
    add("SUPCTL_EVENT_CODE=%u", static_cast<unsigned>(request.event_code));
    if (name != nullptr) {
      add("SUPCTL_EVENT_NAME=%s", name);
    } else {
      add("SUPCTL_EVENT_NAME=0x%02x", static_cast<unsigned>(request.event_code));
    }
  }
  envp_[count] = nullptr;
}

pid_t start_shell_command(const char* command, char* const* envp) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  // The child: nothing of the monitor's signal handling stays.
  setpgid(0, 0);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) signal(signal_number, SIG_DFL);
  const int null_fd = open("/dev/null", O_RDONLY);
  if (null_fd > 0) {
    dup2(null_fd, STDIN_FILENO);
    close(null_fd);
  }
  const char* argv[] = {"sh", "-c", command, nullptr};
  execve("/bin/sh", const_cast<char* const*>(argv), envp);
  _exit(127);
}

void describe_wait_status(int wait_status, char (&text)[32]) {
  if (WIFSIGNALED(wait_status)) {
    snprintf(text, sizeof text, "signal %d", WTERMSIG(wait_status));
  } else {
    snprintf(text, sizeof text, "status %d", WEXITSTATUS(wait_status));
  }
}

void HookRunner::submit(const HookRequest& request) {
  if (queued_ == kHookQueueSize) {
    fprintf(log_, "hook queue full (%d): dropped the hook for %s\n", kHookQueueSize,
            notification_name(queue_[first_].kind));
    first_ = (first_ + 1) % kHookQueueSize;
    --queued_;
  }
  queue_[(first_ + queued_) % kHookQueueSize] = request;
  ++queued_;
}

void HookRunner::service(int64_t now_ms) {
  if (running_ > 0 && !ended_ && now_ms - started_ms_ >= kHookTimeLimitMs) {
    fprintf(log_, "hook for %s ran over %lld s: ended\n", notification_name(current_.kind),
            static_cast<long long>(kHookTimeLimitMs / 1000));
    kill(-running_, SIGKILL);
    ended_ = true;
  }
  if (running_ > 0 || queued_ == 0) return;
  current_ = queue_[first_];
  first_ = (first_ + 1) % kHookQueueSize;
  --queued_;
  const HookEnvironment environment(current_, environ);
  running_ = start_shell_command(command_, environment.envp());
  started_ms_ = now_ms;
  ended_ = false;
  if (running_ < 0)
    fprintf(log_, "hook for %s: can't start: %s\n", notification_name(current_.kind),
            strerror(errno));
}

bool HookRunner::reaped(pid_t pid, int wait_status) {
  if (pid != running_) return false;
  running_ = -1;
  if (!ended_ && !(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0)) {
    char how[32];
    describe_wait_status(wait_status, how);
    fprintf(log_, "hook for %s failed: %s\n", notification_name(current_.kind), how);
  }
  return true;
}

int64_t HookRunner::deadline_ms() const {
  if (running_ > 0) return ended_ ? INT64_MAX : started_ms_ + kHookTimeLimitMs;
  return INT64_MAX;
}
