// SPDX-License-Identifier: MIT
// Running one supervisor operation over the open SPI device, as the tool
// does: prepare the frame, exchange it (a failure ends the run), then print
// what happened.
#pragma once

#include <cstdint>
#include <cstdio>

#include "ops/command_frame.h"
#include "ops/operation_table.h"
#include "spi/spi_device.h"

enum class RunError : uint8_t {
  none,
  unknown_operation,  // no operation has the name
  not_implemented,    // "Error: TBD"
  refused_argument,   // a setting's argument, see argument_error
};

// One operation, from its name to its reply.
struct OperationRun {
  const char* name;
  const Operation* operation;  // nullptr for an unknown name
  RunError error;
  ArgumentError argument_error;
  uint32_t value;      // a setting's argument, as parsed
  bool exchanged;      // the frame went out and the reply came in
  bool answered;       // exchanged, and the reply is an answer by its rule
  CommandFrame frame;  // valid for the operation's transfer length
};

// Looks the name up, checks a setting's argument and fills the frame; no
// I/O. A refused run keeps its frame unsent.
OperationRun prepare_operation(const char* name, const char* argument);

// The "Error: " line of a refused run, printed as a line.
const char* error_line(const OperationRun& run);

// A stable name for scripts of why a run was refused: "unknown_operation",
// "not_implemented", "syntax_error" or "parser_failed".
const char* error_code(const OperationRun& run);

// What an operation needs besides its name and argument: the descriptor of
// the open device, what to print beyond the value, and where to print.
struct OperationContext {
  int spi_fd;
  bool verbose;  // a label line before each value
  bool debug;    // the TX and RX frames as a hex trace
  FILE* out;
  // One JSON object instead of the text, which always holds everything:
  // verbose and debug change nothing then.
  bool json = false;
  const char* device_path = nullptr;
  SpiSettings settings = kSpiSettings;  // as read back
};

// The exit statuses of a run in SPI mode; the last two in JSON mode only.
inline constexpr int kCarriedOut = 0;
inline constexpr int kRefused = 1;       // an "Error: " line, nothing sent
inline constexpr int kNotAnswered = 3;   // the reply is no answer
inline constexpr int kDeviceFailed = 4;  // opening, setting up or a transfer failed

// Runs the operation called name with its -a argument and returns the run's
// exit status. A failed exchange ends the run through die_with_errno, or in
// JSON mode prints its object and returns kDeviceFailed.
int run_operation(const char* name, const char* argument, const OperationContext& context);
