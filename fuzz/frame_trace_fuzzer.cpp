// SPDX-License-Identifier: MIT
// The frame trace of arbitrary bytes: one line per 16 bytes, each made of
// the label, sixteen three-character cells, the separator and one character
// per byte of the line.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "fuzz_check.h"
#include "spi/frame_trace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  // An exact copy, so reading past the length is caught.
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[size]);
  std::copy(data, data + size, bytes.get());

  const std::string text =
      printed_by([&](FILE* out) { dump_frame(out, bytes.get(), static_cast<int>(size), "RX"); });
  if (size == 0) {
    FUZZ_CHECK(text == "RX | ");
    return 0;
  }
  size_t start = 0;
  for (size_t done = 0; done < size; done += 16) {
    const size_t in_line = std::min<size_t>(16, size - done);
    FUZZ_CHECK(text.compare(start, 5, "RX | ") == 0);
    FUZZ_CHECK(text.compare(start + 53, 3, " | ") == 0);
    FUZZ_CHECK(text.size() > start + 56 + in_line && text[start + 56 + in_line] == '\n');
    start += 57 + in_line;
  }
  FUZZ_CHECK(start == text.size());
  return 0;
}
