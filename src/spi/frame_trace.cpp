// SPDX-License-Identifier: MIT
#include "spi/frame_trace.h"

namespace {

constexpr int kBytesPerLine = 16;

// Control characters, the space and 0xFF show as '.'; every other byte,
// non-ASCII ones included, is written as it is.
char trace_character(uint8_t byte) {
  return (byte > 0x20 && byte != 0xFF) ? static_cast<char>(byte) : '.';
}

void finish_line(FILE* out, const uint8_t* line, int count) {
  for (int missing = count; missing < kBytesPerLine; ++missing) fputs("__ ", out);
  fputs(" | ", out);
  for (int i = 0; i < count; ++i) fputc(trace_character(line[i]), out);
  fputc('\n', out);
}

}  // namespace

void dump_frame(FILE* out, const uint8_t* data, int length, const char* label) {
  fprintf(out, "%s | ", label);
  for (int i = 0; i < length; ++i) {
    fprintf(out, "%02X ", data[i]);
    const int in_line = i % kBytesPerLine + 1;
    const bool last = i + 1 == length;
    if (in_line < kBytesPerLine && !last) continue;
    finish_line(out, data + i + 1 - in_line, in_line);
    if (!last) fprintf(out, "%s | ", label);
  }
}
