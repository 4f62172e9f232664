// SPDX-License-Identifier: MIT
// The service manager's notification socket: READY=1, STATUS=, WATCHDOG=1,
// written as datagrams to the address in NOTIFY_SOCKET.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>

#include <cstdint>

inline constexpr int64_t kMinWatchdogMs = 250;

// Fills address from NOTIFY_SOCKET's text: a path, or with a leading '@'
// an abstract name (a leading NUL and a length without a trailing one).
// False for an empty, relative or too long text.
bool notify_socket_address(const char* text, sockaddr_un& address, socklen_t& length);

// How often to send WATCHDOG=1, in milliseconds: half of WATCHDOG_USEC but
// at most four times a second, or 0 when there is no watchdog or it is
// meant for another process (WATCHDOG_PID).
int64_t watchdog_interval_ms(const char* usec_text, const char* pid_text, pid_t self);

class ServiceNotifier {
 public:
  // Takes NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID from the environment.
  ServiceNotifier();
  ~ServiceNotifier();
  ServiceNotifier(const ServiceNotifier&) = delete;
  ServiceNotifier& operator=(const ServiceNotifier&) = delete;

  // Sends one message; nothing without a socket. Never blocks: false when
  // the socket's queue is full and the message must be sent again.
  bool send(const char* message) const;
  int64_t watchdog_ms() const { return watchdog_ms_; }

 private:
  int fd_ = -1;
  sockaddr_un address_ = {};
  socklen_t length_ = 0;
  int64_t watchdog_ms_ = 0;
};
