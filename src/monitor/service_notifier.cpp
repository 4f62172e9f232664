// SPDX-License-Identifier: MIT
#include "monitor/service_notifier.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

// A whole decimal number, no sign, no blanks, at most 19 digits; -1 otherwise.
int64_t decimal(const char* text) {
  if (text == nullptr || text[0] == '\0' || strlen(text) > 19) return -1;
  int64_t value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return -1;
    value = value * 10 + (*p - '0');
  }
  return value;
}

}  // namespace

bool notify_socket_address(const char* text, sockaddr_un& address, socklen_t& length) {
  if (text == nullptr || (text[0] != '/' && text[0] != '@')) return false;
  const size_t size = strlen(text);
  if (size < 2 || size > sizeof address.sun_path - (text[0] == '/' ? 1 : 0)) return false;
  address = {};
  address.sun_family = AF_UNIX;
  memcpy(address.sun_path, text, size);
  if (text[0] == '@') address.sun_path[0] = '\0';
  // A path is sent with its trailing NUL, an abstract name without one.
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + size + (text[0] == '/'));
  return true;
}

int64_t watchdog_interval_ms(const char* usec_text, const char* pid_text, pid_t self) {
  const int64_t usec = decimal(usec_text);
  if (usec <= 0) return 0;
  if (pid_text != nullptr && decimal(pid_text) != self) return 0;
  return std::max(usec / 2000, kMinWatchdogMs);
}

ServiceNotifier::ServiceNotifier() {
  watchdog_ms_ = watchdog_interval_ms(getenv("WATCHDOG_USEC"), getenv("WATCHDOG_PID"), getpid());
  if (!notify_socket_address(getenv("NOTIFY_SOCKET"), address_, length_)) return;
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

ServiceNotifier::~ServiceNotifier() {
  if (fd_ >= 0) close(fd_);
}

bool ServiceNotifier::send(const char* message) const {
  if (fd_ < 0) return true;
  if (sendto(fd_, message, strlen(message), MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&address_), length_) >= 0)
    return true;
  return errno != EAGAIN && errno != ENOBUFS;
}
