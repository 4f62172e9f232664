// SPDX-License-Identifier: MIT
#include "monitor/state_files.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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
  const bool written = write_all(fd, content, length);
  const int saved = errno;
  if (close(fd) != 0 || !written || rename(temporary, path) != 0) {
    const int failure = written ? errno : saved;
    unlink(temporary);
    errno = failure;
    return false;
  }
  return true;
}

size_t format_poweroff_flag(char* out, size_t size, const char* device, uint32_t value) {
  const int length =
      snprintf(out, size, "device %s\nvalue x%x\n", device, static_cast<unsigned>(value));
  return length < 0 ? 0 : static_cast<size_t>(length);
}

bool write_poweroff_flag(const char* path, const char* device, uint32_t value) {
  char folder[PATH_MAX];
  snprintf(folder, sizeof folder, "%s", path);
  char* slash = strrchr(folder, '/');
  if (slash != nullptr && slash != folder) {
    *slash = '\0';
    if (mkdir(folder, 0755) != 0 && errno != EEXIST) return false;
  }
  char text[PATH_MAX + 32];
  const size_t length = format_poweroff_flag(text, sizeof text, device, value);
  if (length >= sizeof text) {
    errno = ENAMETOOLONG;
    return false;
  }
  return replace_file(path, text, length);
}

bool remove_stale_flag(const char* path) { return unlink(path) == 0 || errno == ENOENT; }
