// SPDX-License-Identifier: MIT
// Streaming a file to the bootloader, and watching what the port sends.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>

// What follows the byte numbered byte_number (counting from 1) of an upload:
// a read of the bootloader's answer after byte 1 and every further 32767
// bytes, a progress dot after every 65535 bytes; the read comes first.
struct UploadProgress {
  bool read_back;
  bool dot;
};
UploadProgress progress_after_byte(int64_t byte_number);

// One byte of the buffer stays free for the terminating zero.
inline constexpr size_t kPortReadBufferSize = 80;

// One read of the port: up to 79 bytes, waiting for the first.
struct PortRead {
  ssize_t count;  // bytes read; 0: the port reported end of file; below 0: the read failed
  int error;      // errno of a failed read
  char bytes[kPortReadBufferSize];  // count bytes, then a zero byte
};
PortRead read_port(int port_fd);

// Prints the read as text: the bytes up to the first zero byte with the full
// count, or the failure's line.
void print_port_read(const PortRead& port_read, FILE* out);

// read_port, then print_port_read.
void report_port_read(int port_fd, FILE* out);

// The results of an upload.
inline constexpr int kUploadDone = 0;  // the end of the file was reached
inline constexpr int kFileReadFailed = -1;
inline constexpr int kPortWriteFailed = -2;  // a write to the port fell short
inline constexpr int kNoAnswer = -3;         // none in time at a read-back point

struct UploadEnd {
  int result;
  int64_t bytes_sent;  // written to the port
  int call_result;     // of the read or write that failed
  int error;           // errno after it
};

// What an upload tells as it goes, for the text or the JSON form to print.
class UploadReport {
 public:
  virtual void started() = 0;  // the port is set up, the first byte goes next
  virtual void read_back(const PortRead& port_read) = 0;
  virtual void dot() = 0;  // after every 65535 bytes
  virtual void ended(const UploadEnd& end) = 0;

 protected:
  ~UploadReport() = default;
};

// The text form: the banner, the read reports and dots as they come, then
// the failure's line, an empty line and "Finished with code: N".
class TextUploadReport final : public UploadReport {
 public:
  TextUploadReport(FILE* out, int timeout_seconds) : out_(out), timeout_seconds_(timeout_seconds) {}
  void started() override;
  void read_back(const PortRead& port_read) override;
  void dot() override;
  void ended(const UploadEnd& end) override;

 private:
  FILE* out_;
  int timeout_seconds_;
};

// Configures the port, printing a failure on diagnostics, then sends the file
// one byte at a time and tells report. With timeout_seconds above 0, each
// read-back point waits at most that long for the first byte of the answer.
// Returns the result, one of those above.
int upload_image(int port_fd, int file_fd, int timeout_seconds, UploadReport& report,
                 FILE* diagnostics);

// Configures the port and prints whatever arrives on it, until a signal
// ends the process.
[[noreturn]] void preview_port(int port_fd, FILE* out);
