// SPDX-License-Identifier: MIT
// Command line of supctl: the parsed options and the usage text.
#pragma once

#include <cstdio>

// Everything one run is told on its command line. Text fields are fixed-size
// buffers; an argument longer than a field allows is cut without a message.
struct ToolOptions {
  char device_path[64];
  char operation_name[32];
  char operation_arg[32];
  char bl_file_path[4096];
  char bl_port_path[4096];
  int verbose;
  int debug;
  int json;             // -j: one JSON object instead of the text
  int timeout_seconds;  // -t: how long an upload waits for each answer; 0: for ever
};

// The options of this run; written only while the command line is parsed.
extern ToolOptions tool_options;

enum class ParseOutcome {
  run,           // options parsed, go on with the run
  show_usage,    // -h, an unknown option, a missing or bad argument
  show_version,  // -V
};

// Parses argv into options with getopt_long. Stops at the first option that
// asks for the usage text or the version; getopt_long reports its own
// diagnostics on stderr, and so does a bad -t value.
ParseOutcome parse_options(int argc, char* argv[], ToolOptions& options);

// Writes the version line, the usage line naming program_name and the help.
void print_usage(FILE* out, const char* program_name);

// Writes "supctl" and the version.
void print_version(FILE* out);
