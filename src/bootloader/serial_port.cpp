// SPDX-License-Identifier: MIT
#include "bootloader/serial_port.h"

#include <cerrno>
#include <cstring>

namespace {

struct FlagEdit {
  tcflag_t termios::*flags;
  tcflag_t cleared;
  tcflag_t set;
};

constexpr FlagEdit kBootloaderLineEdits[] = {
    {&termios::c_cflag, CSIZE | PARENB | CSTOPB | CRTSCTS, CS8 | CREAD | CLOCAL},
    {&termios::c_iflag, IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON, 0},
    {&termios::c_lflag, ISIG | ICANON | ECHO | ECHONL | IEXTEN, 0},
    {&termios::c_oflag, OPOST, 0},
};

}  // namespace

void make_bootloader_line(termios& settings) {
  cfsetospeed(&settings, B115200);
  cfsetispeed(&settings, B115200);
  for (const FlagEdit& edit : kBootloaderLineEdits) {
    settings.*edit.flags = (settings.*edit.flags & ~edit.cleared) | edit.set;
  }
  // With VMIN 1 a read waits for the first byte without a time limit, then
  // returns what has arrived; VTIME never comes into play.
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 1;
}

int configure_serial_port(int port_fd, FILE* out) {
  termios settings;
  if (tcgetattr(port_fd, &settings) < 0) {
    fprintf(out, "Error from tcgetattr: %s\n", strerror(errno));
    return -1;
  }
  make_bootloader_line(settings);
  if (tcsetattr(port_fd, TCSANOW, &settings) != 0) {
    fprintf(out, "Error from tcsetattr: %s\n", strerror(errno));
    return -1;
  }
  return 0;
}
