// Output capture for the fuzz targets: printers write to a memory stream.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

class MemoryOutput {
 public:
  MemoryOutput() : stream_(open_memstream(&buffer_, &size_)) {
    if (stream_ == nullptr) abort();
  }
  ~MemoryOutput() {
    fclose(stream_);
    free(buffer_);
  }
  MemoryOutput(const MemoryOutput&) = delete;
  MemoryOutput& operator=(const MemoryOutput&) = delete;

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

// Ends the run with a report libFuzzer keeps as a crash.
#define FUZZ_CHECK(condition)                                                       \
  do {                                                                              \
    if (!(condition)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      abort();                                                                      \
    }                                                                               \
  } while (0)
