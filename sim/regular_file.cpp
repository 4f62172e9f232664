// SPDX-License-Identifier: MIT
#include "regular_file.h"

#include <fcntl.h>
#include <glib.h>
#include <unistd.h>

#include <cerrno>

namespace sim {

namespace {

// Far more than any state or trace holds; a larger file is a wrong name.
constexpr off_t kLargestFile = 16 << 20;

int fail(const std::string& path, int why, const char* reason, std::string& error) {
  error = path + ": " + reason;
  errno = why;
  return -1;
}

}  // namespace

int open_regular_file(const std::string& path, int flags, struct stat& info, std::string& error) {
  const int fd = open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  const int why = errno;
  // A socket can't be opened at all (ENXIO), nor a FIFO for writing
  // without a reader: neither is a regular file.
  if (fd < 0) return fail(path, why, why == ENXIO ? "not a regular file" : g_strerror(why), error);
  if (fstat(fd, &info) != 0) {
    const int status_why = errno;
    close(fd);
    return fail(path, status_why, g_strerror(status_why), error);
  }
  if (S_ISREG(info.st_mode)) return fd;
  close(fd);
  return fail(path, EINVAL, "not a regular file", error);
}

bool read_regular_file(const std::string& path, int flags, std::string& text, struct stat& info,
                       std::string& error) {
  const int fd = open_regular_file(path, flags, info, error);
  if (fd < 0) return false;
  if (info.st_size > kLargestFile) {
    close(fd);
    fail(path, EFBIG, "larger than 16 MiB", error);
    return false;
  }
  text.clear();
  char buffer[8192];
  ssize_t count = 0;
  while ((count = read(fd, buffer, sizeof buffer)) > 0 || (count < 0 && errno == EINTR)) {
    if (count > 0) text.append(buffer, static_cast<size_t>(count));
  }
  const int why = errno;
  close(fd);
  if (count == 0) return true;
  fail(path, why, g_strerror(why), error);
  return false;
}

}  // namespace sim
