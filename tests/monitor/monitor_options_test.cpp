// SPDX-License-Identifier: MIT
#include "monitor/monitor_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/captured_output.h"

namespace {

struct OptionsCase {
  std::vector<std::string> words;
  MonitorCommand command;
  std::string check;  // the option that must differ from its default, as "field=value"
};

std::string describe(const MonitorOptions& o) {
  const auto text = [](const char* value) { return std::string(value ? value : "-"); };
  return "dev=" + text(o.device) + " interval=" + std::to_string(o.interval_ms) +
         " exec=" + text(o.hook_command) +
         " shutdown=" + (o.act_on_shutdown ? text(o.shutdown_command) : "no") +
         " poweroff=" + (o.poweroff_set ? std::to_string(o.poweroff_value) : "-") +
         " flag=" + text(o.poweroff_flag) + " nut=" + text(o.status_file) +
         (o.once ? " once" : "") + (o.json ? " json" : "") + (o.verbose ? " verbose" : "");
}

class ParseMonitorOptions : public testing::TestWithParam<OptionsCase> {};

TEST_P(ParseMonitorOptions, TakesOrRefusesTheCommandLine) {
  std::vector<std::string> words = GetParam().words;
  words.insert(words.begin(), "supctl-monitor");
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  MonitorOptions options;
  CapturedOutput err;
  EXPECT_EQ(
      parse_monitor_options(static_cast<int>(words.size()), argv.data(), options, err.stream()),
      GetParam().command);
  if (GetParam().command == MonitorCommand::invalid) {
    EXPECT_NE(err.text().find("--help"), std::string::npos);
  } else {
    EXPECT_NE(describe(options).find(GetParam().check), std::string::npos) << describe(options);
  }
}

const std::string kDefaults =
    "dev=/dev/spidev0.1 interval=5000 exec=- shutdown=systemctl poweroff poweroff=- "
    "flag=/run/supctl-monitor/poweroff nut=-";

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ParseMonitorOptions,
    testing::Values(
        OptionsCase{{}, MonitorCommand::run, kDefaults},
        OptionsCase{{"-d", "/dev/spidev1.0", "-i", "0.25"},
                    MonitorCommand::run,
                    "dev=/dev/spidev1.0 interval=250 "},
        OptionsCase{{"-i", "3600"}, MonitorCommand::run, "interval=3600000 "},
        OptionsCase{{"-i", "0.1"}, MonitorCommand::run, "interval=100 "},
        // Empty words from unset variables of the settings file mean "not given".
        OptionsCase{{"-d", "", "-x", "", "-P", "", "-n", ""}, MonitorCommand::run, kDefaults},
        OptionsCase{{"-x", "logger $SUPCTL_EVENT", "--no-shutdown"},
                    MonitorCommand::run,
                    "exec=logger $SUPCTL_EVENT shutdown=no"},
        OptionsCase{{"-s", "halt", "-P", "x1f", "--poweroff-flag", "/tmp/f", "-n", "/run/b.dev"},
                    MonitorCommand::run,
                    "shutdown=halt poweroff=31 flag=/tmp/f nut=/run/b.dev"},
        OptionsCase{{"--once", "-j", "-v"}, MonitorCommand::run, " once json verbose"},
        OptionsCase{{"-V"}, MonitorCommand::version, ""},
        OptionsCase{{"--help"}, MonitorCommand::help, ""},
        OptionsCase{{"-i", "0.09"}, MonitorCommand::invalid, ""},
        OptionsCase{{"-i", "3600.001"}, MonitorCommand::invalid, ""},
        OptionsCase{{"-i", "1.0001"}, MonitorCommand::invalid, ""},
        OptionsCase{{"-i", "5s"}, MonitorCommand::invalid, ""},
        OptionsCase{{"-i", ".5"}, MonitorCommand::invalid, ""},
        OptionsCase{{"-P", "1f"}, MonitorCommand::invalid, ""},
        OptionsCase{{"-P", "x100000000"}, MonitorCommand::invalid, ""},
        OptionsCase{{"-s", "halt", "--no-shutdown"}, MonitorCommand::invalid, ""},
        OptionsCase{{"-j"}, MonitorCommand::invalid, ""},
        OptionsCase{{"-d", "/dev/a\nvalue x0"}, MonitorCommand::invalid, ""},
        OptionsCase{{"--bogus"}, MonitorCommand::invalid, ""},
        OptionsCase{{"extra"}, MonitorCommand::invalid, ""}));

}  // namespace
