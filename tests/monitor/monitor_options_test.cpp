// SPDX-License-Identifier: MIT
#include "monitor/monitor_options.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/captured_output.h"

namespace {

// What a command line gives: the options taken, in words, the error
// written, or nothing (help, version).
std::string parsed(std::vector<std::string> words) {
  words.insert(words.begin(), "supctl-monitor");
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  MonitorOptions o;
  CapturedOutput err;
  const MonitorCommand command =
      parse_monitor_options(static_cast<int>(words.size()), argv.data(), o, err.stream());
  if (command != MonitorCommand::run) return command == MonitorCommand::invalid ? err.text() : "";
  const auto text = [](const char* value) { return std::string(value ? value : "-"); };
  return "dev=" + text(o.device) + " interval=" + std::to_string(o.interval_ms) +
         " exec=" + text(o.hook_command) +
         " shutdown=" + (o.act_on_shutdown ? text(o.shutdown_command) : "no") +
         " poweroff=" + (o.poweroff_set ? std::to_string(o.poweroff_value) : "-") +
         " nut=" + text(o.status_file) + (o.once ? " once" : "") + (o.json ? " json" : "") +
         (o.mark_stopped ? " stopped" : "") + (o.verbose ? " verbose" : "") +
         " rules=" + std::to_string(o.rules.runtime_low_s) + "," +
         std::to_string(o.rules.on_battery_max_s) + "," + std::to_string(o.rules.voltage_low_mv) +
         (o.rules.forceshutdown ? ",force" : ",-");
}

const std::string kDefaults =
    "dev=/dev/spidev0.1 interval=5000 exec=- shutdown=systemctl poweroff poweroff=- nut=-";
const std::string kRefused = "Try 'supctl-monitor --help'.\n";

TEST(MonitorOptions, TakenOrRefused) {
  const std::pair<std::vector<std::string>, std::string> kCommandLines[] = {
      {{}, kDefaults},
      {{"-d", "/dev/spidev1.0", "-i", "0.25"}, "dev=/dev/spidev1.0 interval=250 "},
      // Empty words from unset variables of the settings file mean "not given".
      {{"-d", "", "-x", "", "-P", "", "-n", ""}, kDefaults},
      {{"-x", "logger $SUPCTL_EVENT", "--no-shutdown"}, "exec=logger $SUPCTL_EVENT shutdown=no"},
      {{"-s", "halt", "-P", "x1f", "-n", "/run/b.dev"}, "shutdown=halt poweroff=31 nut=/run/b.dev"},
      {{"-P", "xFFFFFFFF", "--mark-stopped"}, "poweroff=4294967295 nut=- stopped"},
      {{"--once", "-j", "-v"}, " once json verbose rules=0,0,0,-"},
      {{"--runtime-low", "300", "--on-battery-max", "86400", "--voltage-low", "1001",
        "--forceshutdown"},
       "rules=300,86400,1001,force"},
      // At or below 1000 mV is no answer on battery: the rule could never hold.
      {{"--voltage-low", "1000"}, "invalid --voltage-low (1001 to 65535): '1000'\n"},
      {{"--runtime-low", "0"}, kRefused},
      {{"--runtime-low", "+5"}, kRefused},
      {{"-i", "0.09"}, kRefused},
      {{"-i", "3600.001"}, kRefused},
      {{"-i", "1.0001"}, kRefused},
      {{"-i", "5s"}, kRefused},
      {{"-i", ".5"}, kRefused},
      // The power-off value: x and 1 to 8 hex digits, nothing else.
      {{"-P", "1f"}, kRefused},
      {{"-P", "x"}, kRefused},
      {{"-P", "x-1"}, kRefused},
      {{"-P", "x+1"}, kRefused},
      {{"-P", "x 1"}, kRefused},
      {{"-P", "x0x1"}, kRefused},
      {{"-P", "x1;reboot"}, kRefused},
      {{"-P", "x1\n"}, kRefused},
      {{"-P", "x123456789"}, kRefused},
      {{"--poweroff-flag", "/tmp/f"}, kRefused},
      {{"--once", "--mark-stopped"}, kRefused},
      {{"-s", "halt", "--no-shutdown"}, kRefused},
      {{"-j"}, kRefused},
      {{"-d", "/dev/a\nvalue x0"}, kRefused},
      {{"--bogus"}, kRefused},
      {{"extra"}, kRefused},
  };
  for (const auto& [words, part] : kCommandLines)
    EXPECT_NE(parsed(words).find(part), std::string::npos)
        << testing::PrintToString(words) << ": " << parsed(words);
}

}  // namespace
