// SPDX-License-Identifier: MIT
// Everyone the notifications go to: the -x command and each hook of the
// hook folder, every one with a runner of its own (its queue, its 30 s
// limit, its SHUTDOWN slot), so that one that fails or hangs never stops or
// delays another, and at SHUTDOWN every one starts at once.
//
// The folder is read once, at start, in name order. A hook is an
// executable regular file with a name of letters, digits, '_' and '-' (so
// editors' and package managers' leftovers are not run), owned by root or
// by the monitor's own user and writable by its owner alone; any other
// entry is skipped with a log line. A folder that others may write to is
// skipped whole. A missing folder is no hook.
#pragma once

#include <limits.h>

#include <cstdio>
#include <optional>

#include "monitor/hook_runner.h"

inline constexpr int kMaxFolderHooks = 16;

class HookSubscribers {
 public:
  // COMMAND (-x) and FOLDER may each be null.
  HookSubscribers(const char* command, const char* folder, FILE* log);

  void submit(const HookRequest& request, int64_t now_ms);
  void service(int64_t now_ms);
  void stop_starting();
  // Takes the wait status of a child; false when it was no hook.
  bool reaped(pid_t pid, int wait_status);
  int64_t deadline_ms() const;
  bool shutdown_hook_running() const;

 private:
  void read_folder(const char* folder);
  template <typename Each>
  void for_each(Each each);

  FILE* log_;
  int folder_hooks_ = 0;
  char paths_[kMaxFolderHooks][PATH_MAX];
  std::optional<HookRunner> runners_[kMaxFolderHooks + 1];
  int runner_count_ = 0;
};
