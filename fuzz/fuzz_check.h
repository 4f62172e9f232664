// SPDX-License-Identifier: MIT
// Checks for the fuzz targets, what a target printed, and the operations
// of one kind.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ops/operation_table.h"

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

inline std::vector<const Operation*> operations_of(OperationKind kind) {
  std::vector<const Operation*> found;
  for (const Operation& operation : operation_table())
    if (operation.kind == kind) found.push_back(&operation);
  return found;
}
