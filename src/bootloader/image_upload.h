// SPDX-License-Identifier: MIT
// Streaming a file to the bootloader, and watching what the port sends.
#pragma once

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

// Reads up to 79 bytes from the port, waiting for the first, and prints
// them on out as text up to the first zero byte, with the full count.
void report_port_read(int port_fd, FILE* out);

// Configures the port, then sends the file one byte at a time, reporting the
// bootloader's answers and progress on out. With timeout_seconds above 0,
// each read-back point waits at most that long for the first byte of the
// answer. Returns 0 at the end of the file, -1 when reading the file failed,
// -2 when a write to the port did, -3 when no answer came in time.
int upload_image(int port_fd, int file_fd, int timeout_seconds, FILE* out);

// Configures the port and prints whatever arrives on it, until a signal
// ends the process.
[[noreturn]] void preview_port(int port_fd, FILE* out);
