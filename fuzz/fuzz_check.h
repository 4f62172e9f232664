// Checks for the fuzz targets.
#pragma once

#include <cstdio>
#include <cstdlib>

// Ends the run with a report libFuzzer keeps as a crash.
#define FUZZ_CHECK(condition)                                                       \
  do {                                                                              \
    if (!(condition)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      abort();                                                                      \
    }                                                                               \
  } while (0)
