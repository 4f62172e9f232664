// SPDX-License-Identifier: MIT
// Collects what a function prints on a FILE* into a string.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

class CapturedOutput {
 public:
  CapturedOutput() : stream_(open_memstream(&buffer_, &size_)) {}
  ~CapturedOutput() {
    if (stream_ != nullptr) fclose(stream_);
    free(buffer_);
  }
  CapturedOutput(const CapturedOutput&) = delete;
  CapturedOutput& operator=(const CapturedOutput&) = delete;

  FILE* stream() { return stream_; }

  std::string text() {
    fflush(stream_);
    return std::string(buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  size_t size_ = 0;
  FILE* stream_;
};
