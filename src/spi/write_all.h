// SPDX-License-Identifier: MIT
// Writing a whole buffer to a descriptor.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>

// Writes all `length` bytes, again after a short write or EINTR; false on
// any other failure, with errno saying why. Nothing but write(2), so a
// signal handler may call it.
inline bool write_all(int fd, const void* data, size_t length) {
  const char* next = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t written = write(fd, next, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    next += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}
