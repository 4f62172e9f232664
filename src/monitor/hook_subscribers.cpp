// SPDX-License-Identifier: MIT
#include "monitor/hook_subscribers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// A folder's hook runs as itself ($1), with the notification's environment.
constexpr char kRunHookFile[] = "exec \"$1\"";

constexpr char kHookNameBytes[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-";

// Why a file or folder may not be trusted with root's hooks; null when it may.
const char* untrusted(const struct stat& status) {
  if (status.st_uid != 0 && status.st_uid != geteuid()) return "owned by another user";
  if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "writable by group or others";
  return nullptr;
}

// Why the folder's entry NAME is no hook; null when it is one.
const char* not_a_hook(int folder_fd, const char* name) {
  if (name[0] == '\0' || strspn(name, kHookNameBytes) != strlen(name))
    return "its name has other bytes than letters, digits, _ and -";
  struct stat status = {};
  if (fstatat(folder_fd, name, &status, 0) != 0) return strerror(errno);
  if (!S_ISREG(status.st_mode)) return "not a regular file";
  if (faccessat(folder_fd, name, X_OK, AT_EACCESS) != 0) return "not executable";
  return untrusted(status);
}

int compare_paths(const void* a, const void* b) {
  return strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
}

}  // namespace

HookSubscribers::HookSubscribers(const char* command, const char* folder, FILE* log) : log_(log) {
  if (command != nullptr) runners_[runner_count_++].emplace(command, log);
  if (folder != nullptr) read_folder(folder);
  for (int i = 0; i < folder_hooks_; ++i)
    runners_[runner_count_++].emplace(kRunHookFile, log, paths_[i], strrchr(paths_[i], '/') + 1);
}

void HookSubscribers::read_folder(const char* folder) {
  DIR* directory = opendir(folder);
  if (directory == nullptr) {
    if (errno != ENOENT) fprintf(log_, "hook folder %s: %s\n", folder, strerror(errno));
    return;
  }
  struct stat status = {};
  const char* refused = fstat(dirfd(directory), &status) != 0 ? strerror(errno) : untrusted(status);
  if (refused != nullptr) fprintf(log_, "hook folder %s skipped: %s\n", folder, refused);
  for (const dirent* entry; refused == nullptr && (entry = readdir(directory)) != nullptr;) {
    const char* name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    const char* skipped = not_a_hook(dirfd(directory), name);
    if (skipped == nullptr && folder_hooks_ == kMaxFolderHooks) skipped = "more than 16 hooks";
    if (skipped == nullptr &&
        snprintf(paths_[folder_hooks_], PATH_MAX, "%s/%s", folder, name) >= PATH_MAX)
      skipped = strerror(ENAMETOOLONG);
    if (skipped == nullptr) {
      ++folder_hooks_;
    } else {
      fprintf(log_, "hook folder %s: %s skipped: %s\n", folder, name, skipped);
    }
  }
  closedir(directory);
  qsort(paths_, static_cast<size_t>(folder_hooks_), sizeof paths_[0], compare_paths);
}

template <typename Each>
void HookSubscribers::for_each(Each each) {
  for (int i = 0; i < runner_count_; ++i) each(*runners_[i]);
}

void HookSubscribers::submit(const HookRequest& request, int64_t now_ms) {
  for_each([&](HookRunner& runner) { runner.submit(request, now_ms); });
}

void HookSubscribers::service(int64_t now_ms) {
  for_each([&](HookRunner& runner) { runner.service(now_ms); });
}

void HookSubscribers::stop_starting() {
  for_each([](HookRunner& runner) { runner.stop_starting(); });
}

bool HookSubscribers::reaped(pid_t pid, int wait_status) {
  for (int i = 0; i < runner_count_; ++i)
    if (runners_[i]->reaped(pid, wait_status)) return true;
  return false;
}

int64_t HookSubscribers::deadline_ms() const {
  int64_t deadline = INT64_MAX;
  for (int i = 0; i < runner_count_; ++i) deadline = std::min(deadline, runners_[i]->deadline_ms());
  return deadline;
}

bool HookSubscribers::shutdown_hook_running() const {
  return std::any_of(
      runners_, runners_ + runner_count_,
      [](const std::optional<HookRunner>& runner) { return runner->shutdown_hook_running(); });
}
