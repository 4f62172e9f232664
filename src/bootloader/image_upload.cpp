// SPDX-License-Identifier: MIT
#include "bootloader/image_upload.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bootloader/serial_port.h"

namespace {

// The bootloader's answers are read after byte 1 and then every this many bytes.
constexpr int64_t kReadBackInterval = 32767;
constexpr int64_t kDotInterval = 65535;
// One byte of the reply buffer stays free for the terminating zero.
constexpr size_t kReplyBufferSize = 80;

// Whether the port has something to read (an answer, or an error or
// hang-up that the read will report) within the time; a signal that
// interrupts the wait and returns starts it again.
bool answer_within(int port_fd, int seconds) {
  pollfd port = {port_fd, POLLIN, 0};
  int ready;
  do {
    ready = poll(&port, 1, seconds * 1000);
  } while (ready < 0 && errno == EINTR);
  return ready != 0;
}

// The loop of upload_image; returns the upload result.
int send_file(int port_fd, int file_fd, int timeout_seconds, FILE* out) {
  for (int64_t bytes_sent = 0;;) {
    unsigned char byte;
    const ssize_t read_count = read(file_fd, &byte, 1);
    if (read_count == 0) return 0;
    if (read_count < 0) {
      fprintf(out, "  TBW: %d\r\n", static_cast<int>(read_count));
      return -1;
    }
    const ssize_t written = write(port_fd, &byte, static_cast<size_t>(read_count));
    if (written != read_count) {
      fprintf(out, "Error from write: %d, %d\n", static_cast<int>(written), errno);
      return -2;
    }
    ++bytes_sent;
    const UploadProgress progress = progress_after_byte(bytes_sent);
    if (progress.read_back) {
      if (timeout_seconds > 0 && !answer_within(port_fd, timeout_seconds)) {
        fprintf(out, "No answer within %d s\n", timeout_seconds);
        return -3;
      }
      report_port_read(port_fd, out);
    }
    if (progress.dot) fputc('.', out);
  }
}

}  // namespace

UploadProgress progress_after_byte(int64_t byte_number) {
  return {(byte_number - 1) % kReadBackInterval == 0, byte_number % kDotInterval == 0};
}

void report_port_read(int port_fd, FILE* out) {
  char reply[kReplyBufferSize];
  const ssize_t count = read(port_fd, reply, sizeof reply - 1);
  if (count > 0) {
    reply[count] = '\0';
    fprintf(out, "Read %d: \"%s\"\n", static_cast<int>(count), reply);
  } else if (count < 0) {
    fprintf(out, "Error from read: %d: %s\n", static_cast<int>(count), strerror(errno));
  } else {
    fputs("Timeout from read OR closed fd\n", out);
  }
}

int upload_image(int port_fd, int file_fd, int timeout_seconds, FILE* out) {
  configure_serial_port(port_fd, out);
  fputs("\nAll set, start sending file...\n", out);
  const int result = send_file(port_fd, file_fd, timeout_seconds, out);
  fputc('\n', out);
  return result;
}

void preview_port(int port_fd, FILE* out) {
  configure_serial_port(port_fd, out);
  fputs("\nAll set, what do we have here? ...\n", out);
  for (;;) report_port_read(port_fd, out);
}
