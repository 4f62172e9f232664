// SPDX-License-Identifier: MIT
// Checks for the fuzz targets, and what a target printed.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

// Ends the run with a report libFuzzer keeps as a crash.
#define FUZZ_CHECK(condition)                                                       \
  do {                                                                              \
    if (!(condition)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      abort();                                                                      \
    }                                                                               \
  } while (0)

// Everything that print writes on the FILE* it is given.
template <typename Print>
std::string printed_by(Print print) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  FUZZ_CHECK(stream != nullptr);
  print(stream);
  fclose(stream);
  std::string text(buffer, size);
  free(buffer);
  return text;
}
