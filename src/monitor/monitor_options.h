// SPDX-License-Identifier: MIT
// Command line of supctl-monitor.
#pragma once

#include <cstdint>
#include <cstdio>

#include "monitor/power_guard.h"

struct MonitorOptions {
  const char* device = "/dev/spidev0.1";
  int64_t interval_ms = 5000;
  const char* hook_command = nullptr;  // -x, run for every notification
  const char* shutdown_command = "systemctl poweroff";
  bool act_on_shutdown = true;  // false with --no-shutdown
  ShutdownRules rules;          // --runtime-low, --on-battery-max, --voltage-low, --forceshutdown
  bool poweroff_set = false;    // -P given: the value for SET_PowerOFF
  uint32_t poweroff_value = 0;
  const char* status_file = nullptr;                        // -n, the NUT definition file
  const char* hook_folder = "/etc/supctl-monitor/hooks.d";  // --hooks-dir
  const char* metrics_file = nullptr;                       // --metrics, a *.prom file
  bool once = false;
  bool mark_stopped = false;  // --mark-stopped: the files say the monitor is gone
  bool json = false;
  bool verbose = false;
};

enum class MonitorCommand {
  run,      // options taken: monitor, or poll once
  help,     // -h: print the usage text, status 0
  version,  // -V: print the version, status 0
  invalid,  // a message was written: status 2
};

// Parses argv into options. The texts stay in argv. An empty argument of
// -d, -x, -P, -n, --hooks-dir or --metrics counts as not given, so that a service can pass a
// variable of its settings file that is left empty as one word.
MonitorCommand parse_monitor_options(int argc, char* argv[], MonitorOptions& options, FILE* err);

void print_monitor_usage(FILE* out);

// The power-off value: "x" and 1 to 8 hexadecimal digits, nothing else.
bool parse_poweroff_value(const char* text, uint32_t& value);

// Reads SECONDS, 0.1 to 3600 with up to three decimals, as milliseconds;
// -1 for anything else.
int64_t parse_interval_ms(const char* text);
