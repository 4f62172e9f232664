// Running one supervisor operation over the open SPI device.
#pragma once

#include <cstdio>

struct ToolOptions;

// Exchanges the power-status frame and prints the status. Returns the
// transfer result, or -1 when no device is open.
int query_power_status(const ToolOptions& options, FILE* out);

// Runs the operation called name and returns the run's exit status: 0 when
// it was carried out, 1 when it printed an "Error: " line and sent nothing.
int run_named_operation(const char* name, const ToolOptions& options, FILE* out);
