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

// The loop of upload_image.
UploadEnd send_file(int port_fd, int file_fd, int timeout_seconds, UploadReport& report) {
  for (int64_t bytes_sent = 0;;) {
    unsigned char byte;
    const ssize_t read_count = read(file_fd, &byte, 1);
    if (read_count == 0) return {kUploadDone, bytes_sent, 0, 0};
    if (read_count < 0) return {kFileReadFailed, bytes_sent, static_cast<int>(read_count), errno};
    const ssize_t written = write(port_fd, &byte, static_cast<size_t>(read_count));
    if (written != read_count)
      return {kPortWriteFailed, bytes_sent, static_cast<int>(written), errno};
    ++bytes_sent;
    const UploadProgress progress = progress_after_byte(bytes_sent);
    if (progress.read_back) {
      if (timeout_seconds > 0 && !answer_within(port_fd, timeout_seconds))
        return {kNoAnswer, bytes_sent, 0, 0};
      report.read_back(read_port(port_fd));
    }
    if (progress.dot) report.dot();
  }
}

}  // namespace

UploadProgress progress_after_byte(int64_t byte_number) {
  return {(byte_number - 1) % kReadBackInterval == 0, byte_number % kDotInterval == 0};
}

PortRead read_port(int port_fd) {
  PortRead port_read;
  port_read.count = read(port_fd, port_read.bytes, sizeof port_read.bytes - 1);
  port_read.error = errno;
  port_read.bytes[port_read.count > 0 ? port_read.count : 0] = '\0';
  return port_read;
}

void print_port_read(const PortRead& port_read, FILE* out) {
  if (port_read.count > 0)
    fprintf(out, "Read %d: \"%s\"\n", static_cast<int>(port_read.count), port_read.bytes);
  else if (port_read.count < 0)
    fprintf(out, "Error from read: %d: %s\n", static_cast<int>(port_read.count),
            strerror(port_read.error));
  else
    fputs("Timeout from read OR closed fd\n", out);
}

void report_port_read(int port_fd, FILE* out) { print_port_read(read_port(port_fd), out); }

void TextUploadReport::started() { fputs("\nAll set, start sending file...\n", out_); }

void TextUploadReport::read_back(const PortRead& port_read) { print_port_read(port_read, out_); }

void TextUploadReport::dot() { fputc('.', out_); }

void TextUploadReport::ended(const UploadEnd& end) {
  switch (end.result) {
    case kFileReadFailed: fprintf(out_, "  TBW: %d\r\n", end.call_result); break;
    case kPortWriteFailed:
      fprintf(out_, "Error from write: %d, %d\n", end.call_result, end.error);
      break;
    case kNoAnswer: fprintf(out_, "No answer within %d s\n", timeout_seconds_); break;
    default: break;
  }
  fprintf(out_, "\nFinished with code: %d\n", end.result);
}

int upload_image(int port_fd, int file_fd, int timeout_seconds, UploadReport& report,
                 FILE* diagnostics) {
  configure_serial_port(port_fd, diagnostics);
  report.started();
  const UploadEnd end = send_file(port_fd, file_fd, timeout_seconds, report);
  report.ended(end);
  return end.result;
}

void preview_port(int port_fd, FILE* out) {
  configure_serial_port(port_fd, out);
  fputs("\nAll set, what do we have here? ...\n", out);
  for (;;) report_port_read(port_fd, out);
}
