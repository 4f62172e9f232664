// SPDX-License-Identifier: MIT
#include "monitor/hook_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "ops/reply_values.h"

namespace {

// Inherited variables a hook must not see: the service manager's channel
// is the monitor's alone, and the monitor sets the SUPCTL_ ones itself.
constexpr const char* kWithheldPrefixes[] = {
    "NOTIFY_SOCKET=",     "WATCHDOG_USEC=",     "WATCHDOG_PID=",          "SUPCTL_EVENT=",
    "SUPCTL_EVENT_CODE=", "SUPCTL_EVENT_NAME=", "SUPCTL_CHARGE_PERCENT=", "SUPCTL_MILLIVOLTS=",
    "SUPCTL_LINE=",       "SUPCTL_CHARGING=",   "SUPCTL_REASON=",         "SUPCTL_RUNTIME_S=",
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
  if (request.runtime_s) add("SUPCTL_RUNTIME_S=%u", static_cast<unsigned>(*request.runtime_s));
  if (request.kind == Notification::shutdown)
    add("SUPCTL_REASON=%s", shutdown_reason_name(request.reason));
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

pid_t start_shell_command(const char* command, char* const* envp, const char* argument) {
  const pid_t pid = fork();
  if (pid > 0) setpgid(pid, pid);  // also here, so that its group is there to end at once
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
  const char* argv[] = {"sh", "-c", command, "sh", argument, nullptr};
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

void HookRunner::log(const char* format, ...) {  // NOLINT(cert-dcl50-cpp)
  if (name_ != nullptr) fprintf(log_, "%s: ", name_);
  va_list arguments;
  va_start(arguments, format);
  vfprintf(log_, format, arguments);
  va_end(arguments);
}

void HookRunner::drop(int position) {
  log("hook queue full (%d): dropped the hook for %s\n", kHookQueueSize,
      notification_name(queue_[position].kind));
  for (int i = position + 1; i < queued_; ++i) queue_[i - 1] = queue_[i];
  --queued_;
}

void HookRunner::submit(const HookRequest& request, int64_t now_ms) {
  if (request.kind == Notification::shutdown && shutdown_.pid < 0) {
    start(shutdown_, request, now_ms);
    return;
  }
  if (queued_ == kHookQueueSize) {
    const HookRequest* event = std::find_if(queue_, queue_ + queued_, [](const HookRequest& r) {
      return r.kind == Notification::event;
    });
    if (event == queue_ + queued_ && request.kind == Notification::event) {
      log("hook queue full (%d): dropped the hook for %s\n", kHookQueueSize,
          notification_name(request.kind));
      return;
    }
    drop(event == queue_ + queued_ ? 0 : static_cast<int>(event - queue_));
  }
  queue_[queued_++] = request;
}

void HookRunner::start(HookProcess& process, const HookRequest& request, int64_t now_ms) {
  const HookEnvironment environment(request, environ);
  process = {start_shell_command(command_, environment.envp(), argument_), request, now_ms, false};
  if (process.pid < 0)
    log("hook for %s: can't start: %s\n", notification_name(request.kind), strerror(errno));
}

void HookRunner::end_if_over_time(HookProcess& process, int64_t now_ms) {
  if (process.pid <= 0 || process.ended || now_ms - process.started_ms < kHookTimeLimitMs) return;
  log("hook for %s ran over %lld s: ended\n", notification_name(process.request.kind),
      static_cast<long long>(kHookTimeLimitMs / 1000));
  kill(-process.pid, SIGKILL);
  process.ended = true;
}

void HookRunner::service(int64_t now_ms) {
  end_if_over_time(running_, now_ms);
  end_if_over_time(shutdown_, now_ms);
  if (running_.pid > 0 || queued_ == 0 || !starting_) return;
  const HookRequest next = queue_[0];
  for (int i = 1; i < queued_; ++i) queue_[i - 1] = queue_[i];
  --queued_;
  start(running_, next, now_ms);
}

bool HookRunner::reaped(HookProcess& process, pid_t pid, int wait_status) {
  if (pid != process.pid) return false;
  process.pid = -1;
  if (!process.ended && !(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0)) {
    char how[32];
    describe_wait_status(wait_status, how);
    log("hook for %s failed: %s\n", notification_name(process.request.kind), how);
  }
  return true;
}

bool HookRunner::reaped(pid_t pid, int wait_status) {
  return reaped(running_, pid, wait_status) || reaped(shutdown_, pid, wait_status);
}

int64_t HookRunner::deadline_ms() const {
  const auto deadline = [](const HookProcess& process) {
    return process.pid > 0 && !process.ended ? process.started_ms + kHookTimeLimitMs : INT64_MAX;
  };
  return std::min(deadline(running_), deadline(shutdown_));
}
