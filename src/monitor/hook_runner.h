// SPDX-License-Identifier: MIT
// The -x hooks: one notification each, run through /bin/sh -c one at a
// time, in order, from a queue of at most 32, each for at most 30 s. Never
// waited for: the main loop starts and reaps them between polls.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>

#include "monitor/power_guard.h"

struct HookRequest {
  Notification kind;
  uint8_t event_code;  // for Notification::event
  bool power_known;    // the supervisor has answered at least once
  PowerStatus power;   // the last answer
};

inline constexpr int kHookQueueSize = 32;
inline constexpr int64_t kHookTimeLimitMs = 30000;
inline constexpr int kMaxHookEnvironment = 256;  // inherited variables passed on

// The environment of one hook: the monitor's own, without NOTIFY_SOCKET,
// WATCHDOG_* and any SUPCTL_ variable it sets, and the SUPCTL_ variables of
// the notification. Fixed buffers, no heap.
class HookEnvironment {
 public:
  HookEnvironment(const HookRequest& request, char* const* inherited);
  char* const* envp() const { return envp_; }

 private:
  void set(int slot, const char* name, const char* format, unsigned value);
  char own_[7][80];
  char* envp_[kMaxHookEnvironment + 8];
};

// Starts COMMAND through /bin/sh -c in a process group of its own, with
// stdin on /dev/null, every signal at its default and unblocked, and the
// given environment. Returns its pid, or -1 (errno set).
pid_t start_shell_command(const char* command, char* const* envp);

class HookRunner {
 public:
  HookRunner(const char* command, FILE* log) : command_(command), log_(log) {}

  // Queues a hook for the notification; a full queue drops its oldest.
  void submit(const HookRequest& request);
  // Starts the next hook when none runs, ends one that ran over its time.
  void service(int64_t now_ms);
  // Takes the wait status of a child; false when it was not the hook.
  bool reaped(pid_t pid, int wait_status);
  // When service() must run again at the latest; INT64_MAX for never.
  int64_t deadline_ms() const;
  bool idle() const { return running_ < 0 && queued_ == 0; }

 private:
  const char* command_;
  FILE* log_;
  HookRequest queue_[kHookQueueSize] = {};
  int first_ = 0;
  int queued_ = 0;
  pid_t running_ = -1;
  HookRequest current_ = {};
  int64_t started_ms_ = 0;
  bool ended_ = false;  // the running hook was sent SIGKILL
};

// How a child ended, for log lines: "status 3", "signal 9".
void describe_wait_status(int wait_status, char (&text)[32]);
