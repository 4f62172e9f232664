// SPDX-License-Identifier: MIT
#include "monitor/state_files.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "spi/write_all.h"

bool replace_file(const char* path, const char* content, size_t length) {
  char temporary[PATH_MAX];
  if (snprintf(temporary, sizeof temporary, "%s.new", path) >= static_cast<int>(sizeof temporary)) {
    errno = ENAMETOOLONG;
    return false;
  }
  const int fd = open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return false;
  // Readable by everyone whatever the umask: the files are for readers
  // without the monitor's rights.
  const bool written = fchmod(fd, 0644) == 0 && write_all(fd, content, length);
  const int saved = errno;
  if (close(fd) != 0 || !written || rename(temporary, path) != 0) {
    const int failure = written ? errno : saved;
    unlink(temporary);
    errno = failure;
    return false;
  }
  return true;
}

bool replace_file_seen(const char* path, const char* content, size_t length) {
  struct stat old = {};
  const bool had_old = stat(path, &old) == 0;
  if (!replace_file(path, content, length)) return false;
  struct stat now = {};
  if (!had_old || stat(path, &now) != 0 || now.st_mtim.tv_sec > old.st_mtim.tv_sec) return true;
  const timespec later[2] = {{0, UTIME_OMIT}, {old.st_mtim.tv_sec + 1, 0}};
  return utimensat(AT_FDCWD, path, later, 0) == 0;
}

namespace {

constexpr char kRunFolder[] = "/run/supctl-monitor";

// PATH of the run folder's file NAME; false (errno set) when too long.
bool run_path(char (&path)[PATH_MAX], const char* name) {
  if (snprintf(path, sizeof path, "%s/%s", run_folder(), name) < static_cast<int>(sizeof path))
    return true;
  errno = ENAMETOOLONG;
  return false;
}

bool replace_run_file(const char* name, const char* text, size_t length, size_t size) {
  char path[PATH_MAX];
  if (!run_path(path, name)) return false;
  if (length >= size) {
    errno = ENAMETOOLONG;
    return false;
  }
  if (mkdir(run_folder(), 0755) != 0 && errno != EEXIST) return false;
  return replace_file(path, text, length);
}

bool remove_run_file(const char* name) {
  char path[PATH_MAX];
  return run_path(path, name) && (unlink(path) == 0 || errno == ENOENT);
}

size_t length_of(int printed) { return printed < 0 ? 0 : static_cast<size_t>(printed); }

// The word after "KEY " on a line of text; false when there is none.
bool field(const char* text, const char* key, char* out, size_t size) {
  const size_t key_length = strlen(key);
  for (const char* line = text; *line != '\0';) {
    const char* end = strchrnul(line, '\n');
    if (strncmp(line, key, key_length) == 0 && line[key_length] == ' ') {
      const char* word = line + key_length + 1;
      const size_t length = static_cast<size_t>(end - word);
      if (length >= size) return false;
      memcpy(out, word, length);
      out[length] = '\0';
      return true;
    }
    line = *end == '\n' ? end + 1 : end;
  }
  return false;
}

}  // namespace

const char* run_folder() {
  const char* folder = getenv("SUPCTL_MONITOR_RUN_DIR");
  return folder != nullptr && folder[0] != '\0' ? folder : kRunFolder;
}

BootId read_boot_id() {
  BootId boot;
  const int fd = open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return boot;
  const ssize_t size = read(fd, boot.text, sizeof boot.text - 1);
  close(fd);
  boot.text[size > 0 ? size : 0] = '\0';
  boot.text[strcspn(boot.text, "\n")] = '\0';
  return boot;
}

size_t format_poweroff_flag(char* out, size_t size, const char* device, uint32_t value,
                            const BootId& boot, ShutdownReason reason) {
  return length_of(snprintf(out, size, "device %s\nvalue x%x\nboot %s\nreason %s\n", device,
                            static_cast<unsigned>(value), boot.text, shutdown_reason_name(reason)));
}

bool write_poweroff_flag(const char* device, uint32_t value, const BootId& boot,
                         ShutdownReason reason) {
  char text[PATH_MAX + 128];
  const size_t length = format_poweroff_flag(text, sizeof text, device, value, boot, reason);
  return replace_run_file("poweroff", text, length, sizeof text);
}

size_t format_decision(char* out, size_t size, const BootId& boot, const DecisionRecord& record) {
  return length_of(snprintf(out, size, "boot %s\nreason %s\nran %s\n", boot.text,
                            shutdown_reason_name(record.reason),
                            record.command_succeeded ? "yes" : "no"));
}

DecisionRecord parse_decision(const char* text, const BootId& boot) {
  char id[sizeof boot.text], reason[32], ran[8];
  if (boot.text[0] == '\0' || !field(text, "boot", id, sizeof id) || strcmp(id, boot.text) != 0 ||
      !field(text, "reason", reason, sizeof reason) || !field(text, "ran", ran, sizeof ran))
    return {};
  return {shutdown_reason_of(reason), strcmp(ran, "yes") == 0};
}

bool write_decision(const BootId& boot, const DecisionRecord& record) {
  char text[160];
  const size_t length = format_decision(text, sizeof text, boot, record);
  return replace_run_file("decision", text, length, sizeof text);
}

DecisionRecord read_decision(const BootId& boot) {
  char path[PATH_MAX], text[256];
  if (!run_path(path, "decision")) return {};
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return {};
  const ssize_t size = read(fd, text, sizeof text - 1);
  close(fd);
  text[size > 0 ? size : 0] = '\0';
  return parse_decision(text, boot);
}

bool remove_decision() { return remove_run_file("poweroff") && remove_run_file("decision"); }
