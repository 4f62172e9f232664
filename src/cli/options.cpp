// SPDX-License-Identifier: MIT
#include "cli/options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>

ToolOptions tool_options = {"/dev/spidev0.1", "", "", "", "", 0, 0, 0, 0};

namespace {

constexpr char kShortOptions[] = "b:p:d:o:a:vhDjt:V";

constexpr option kLongOptions[] = {
    {"dev", required_argument, nullptr, 'd'},    {"debug", no_argument, nullptr, 'D'},
    {"oper", required_argument, nullptr, 'o'},   {"arg", required_argument, nullptr, 'a'},
    {"blfile", required_argument, nullptr, 'b'}, {"blport", required_argument, nullptr, 'p'},
    {"verbose", no_argument, nullptr, 'v'},      {"help", no_argument, nullptr, 'h'},
    {"json", no_argument, nullptr, 'j'},         {"timeout", required_argument, nullptr, 't'},
    {"version", no_argument, nullptr, 'V'},      {nullptr, 0, nullptr, 0},
};

// The copy keeps one byte more in reserve than the terminator needs: a field
// of N bytes holds at most N - 2 characters, so 62 for -d, 30 for -o and -a
// and 4094 for -b and -p. These are the limits that the usage notes and the
// man page give, and every build of supctl cuts a long word at the same place.
template <size_t N>
void copy_argument(char (&field)[N], const char* argument) {
  snprintf(field, N - 1, "%s", argument);
}

constexpr unsigned long kLongestTimeout = 3600;

// Whole seconds from 1 to 3600, in decimal digits alone; 0 when text is
// anything else.
int parse_timeout(const char* text) {
  if (*text < '0' || *text > '9') return 0;
  errno = 0;
  char* end = nullptr;
  const unsigned long seconds = strtoul(text, &end, 10);
  if (errno != 0 || *end != '\0' || seconds > kLongestTimeout) return 0;
  return static_cast<int>(seconds);
}

}  // namespace

ParseOutcome parse_options(int argc, char* argv[], ToolOptions& options) {
  optind = 0;  // full re-initialisation, so the parser can run more than once
  for (;;) {
    int letter = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
    switch (letter) {
      case -1: return ParseOutcome::run;
      case 'd': copy_argument(options.device_path, optarg); break;
      case 'o': copy_argument(options.operation_name, optarg); break;
      case 'a': copy_argument(options.operation_arg, optarg); break;
      case 'b': copy_argument(options.bl_file_path, optarg); break;
      case 'p': copy_argument(options.bl_port_path, optarg); break;
      case 'v': options.verbose = 1; break;
      case 'D': options.debug = 1; break;
      case 'j': options.json = 1; break;
      case 't':
        options.timeout_seconds = parse_timeout(optarg);
        if (options.timeout_seconds == 0) {
          // Reported like getopt_long's own diagnostics, under its switch.
          if (opterr != 0) fprintf(stderr, "supctl: invalid timeout: %s\n", optarg);
          return ParseOutcome::show_usage;
        }
        break;
      case 'V': return ParseOutcome::show_version;
      default: return ParseOutcome::show_usage;
    }
  }
}

void print_usage(FILE* out, const char* program_name) {
  fputs("Version: 1.3 Feb 11 2021 23:02:05\n", out);
  fprintf(out, "Usage: %s [-vDdoapbhjtV]\n", program_name);
  fputs(
      "  -v --verbose  verbose mode (debug)\n"
      "  -D --debug    debug SPI RAW communication\n"
      "  -d --dev      SPI device to use (default: /dev/spidev0.1)\n"
      "  -o --oper     operation (e.g. GET_DeviceID, GET_DeviceInfo)\n"
      "  -a --arg      operation arguments\n"
      "  -b --blfile   bootloader source file to upload\n"
      "  -p --blport   bootloader output device\n"
      "  -h --help     this help\n"
      "  -j --json     print the result as JSON\n"
      "  -t --timeout  seconds to wait for each bootloader answer\n"
      "  -V --version  print the version\n"
      "\n",
      out);
}

void print_version(FILE* out) { fputs("supctl " SUPCTL_VERSION "\n", out); }
