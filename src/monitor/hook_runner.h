// SPDX-License-Identifier: MIT
// The -x hooks: one notification each, run through /bin/sh -c one at a
// time, in order, from a queue of at most 32, each for at most 30 s. The
// SHUTDOWN hook is never queued: it starts at once, beside whatever hook
// runs. Never waited for: the main loop starts and reaps them between polls.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <optional>

#include "monitor/power_guard.h"

struct HookRequest {
  Notification kind;
  uint8_t event_code;                                // for Notification::event
  bool power_known;                                  // the supervisor has answered at least once
  PowerStatus power;                                 // the last answer
  ShutdownReason reason = ShutdownReason::none;      // for Notification::shutdown
  std::optional<uint32_t> runtime_s = std::nullopt;  // the runtime left, when known
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
  static constexpr int kOwnVariables = 8;  // the most SUPCTL_ variables one hook gets
  char own_[kOwnVariables][80];
  char* envp_[kMaxHookEnvironment + kOwnVariables + 1];
};

// Starts COMMAND through /bin/sh -c in a process group of its own, with
// stdin on /dev/null, every signal at its default and unblocked, and the
// given environment; ARGUMENT, when given, is its $1. Returns its pid, or
// -1 (errno set).
pid_t start_shell_command(const char* command, char* const* envp, const char* argument = nullptr);

// One hook process and what it was started for.
struct HookProcess {
  pid_t pid = -1;
  HookRequest request = {};
  int64_t started_ms = 0;
  bool ended = false;  // sent SIGKILL for running over its time
};

class HookRunner {
 public:
  // ARGUMENT, when given, is each run's $1; NAME, when given, starts each
  // of its log lines ("NAME: hook for ...").
  HookRunner(const char* command, FILE* log, const char* argument = nullptr,
             const char* name = nullptr)
      : command_(command), log_(log), argument_(argument), name_(name) {}

  // Starts the SHUTDOWN hook at once; queues any other. A full queue drops
  // its oldest EVENT, or when it holds none, the new EVENT or else the
  // oldest state notification.
  void submit(const HookRequest& request, int64_t now_ms);
  // Starts the next hook when none runs, ends one that ran over its time.
  void service(int64_t now_ms);
  // No further hook starts from the queue (the monitor is ending).
  void stop_starting() { starting_ = false; }
  // Takes the wait status of a child; false when it was not a hook.
  bool reaped(pid_t pid, int wait_status);
  // When service() must run again at the latest; INT64_MAX for never.
  int64_t deadline_ms() const;
  bool shutdown_hook_running() const { return shutdown_.pid > 0; }
  bool idle() const { return running_.pid < 0 && shutdown_.pid < 0 && queued_ == 0; }

 private:
  void start(HookProcess& process, const HookRequest& request, int64_t now_ms);
  void end_if_over_time(HookProcess& process, int64_t now_ms);
  bool reaped(HookProcess& process, pid_t pid, int wait_status);
  void drop(int position);
  [[gnu::format(printf, 2, 3)]] void log(const char* format, ...);

  const char* command_;
  FILE* log_;
  const char* argument_;
  const char* name_;
  HookRequest queue_[kHookQueueSize] = {};  // queue_[0] is the oldest
  int queued_ = 0;
  bool starting_ = true;
  HookProcess running_;
  HookProcess shutdown_;
};

// How a child ended, for log lines: "status 3", "signal 9".
void describe_wait_status(int wait_status, char (&text)[32]);
