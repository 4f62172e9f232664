// SPDX-License-Identifier: MIT
// Running one supervisor operation over the open SPI device.
#pragma once

#include <cstdio>

// What an operation needs besides its name and argument: the descriptor of
// the open device, what to print beyond the value, and where to print.
struct OperationContext {
  int spi_fd;
  bool verbose;  // a label line before each value
  bool debug;    // the TX and RX frames as a hex trace
  FILE* out;
};

// Exchanges the power-status frame and prints the status. Returns the
// transfer result, or -1 when no device is open.
int query_power_status(const OperationContext& context);

// Runs the operation called name with its -a argument and returns the run's
// exit status: 0 when it was carried out, 1 when it printed an "Error: "
// line and sent nothing.
int run_named_operation(const char* name, const char* argument, const OperationContext& context);
