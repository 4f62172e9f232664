// SPDX-License-Identifier: MIT
// The state file, read back by jq, and the metrics text of one monitor's
// state after the polls of each case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/captured_output.h"
#include "common/temp_dir.h"
#include "monitor/metrics_text.h"

namespace {

// A poll at `second` (the wall clock 1000 s later) on battery at 3.92 V;
// a charge of -1 is no answer.
struct Poll {
  int64_t second;
  int charge;
};

struct Monitor {
  bool running;
  std::vector<Poll> polls;
  bool events = false;  // each poll drains a MAINPOWERLOST
  std::optional<uint32_t> runtime_s = {};
};

struct Case {
  const char* name;
  Monitor monitor;
  const char* jq;                             // true of the state file
  std::vector<std::string> shown, not_shown;  // in the metrics
};

void check(const Case& c) {
  const Monitor& m = c.monitor;
  PowerGuard guard(true);
  PollHistory history(m.running ? 5000 : 0);
  for (const Poll& poll : m.polls) {
    PollInput input = {};
    input.now_ms = poll.second * 1000;
    input.answered = poll.charge >= 0;
    input.power = {false, false, false, false, 3920, static_cast<uint8_t>(poll.charge)};
    input.events = {DrainedEvents::drained, static_cast<uint8_t>(m.events), {1}};
    history.polled(1000 + poll.second, input.answered, guard.step(input).notifications());
  }
  BoardDetails details;
  if (guard.ever_answered()) details = {true, "0011", "A \"7\"\t\\\n\xe9", false, 0};
  const PublishedState state = {m.running, guard, details, history, m.runtime_s};
  CapturedOutput json;
  write_state_json(json.stream(), state);
  TempDir directory;
  const std::string jq = "jq -e '" + std::string(c.jq) + "' " +
                         directory.write("state.json", json.text()) + " >/dev/null";
  EXPECT_EQ(system(jq.c_str()), 0) << json.text();  // NOLINT(cert-env33-c): jq from PATH
  EXPECT_EQ(json.text().find('\n'), json.text().size() - 1);
  char text[4096];
  TextBuffer metrics(text, sizeof text);
  add_metrics_text(metrics, state);
  const std::string written = metrics.text();
  for (const std::string& line : c.shown) EXPECT_NE(written.find(line), written.npos) << line;
  for (const std::string& part : c.not_shown) EXPECT_EQ(written.find(part), written.npos) << part;
}

class PublishedStateCase : public testing::TestWithParam<Case> {};

TEST_P(PublishedStateCase, ReadsAsItShould) { check(GetParam()); }

std::vector<Poll> twenty_polls() {
  std::vector<Poll> polls(20);
  for (int second = 0; second < 20; ++second) polls[second] = {second, 50};
  return polls;
}

INSTANTIATE_TEST_SUITE_P(
    States, PublishedStateCase,
    testing::Values(
        Case{"Stopped",
             {false, {}},
             ".running == false and .answered == false and .notifications == [] and"
             " ([del(.format_version, .running, .answered, .notifications)[]] | all(. == null))",
             {"supctl_monitor_running 0\n", "supctl_supervisor_up 0\n"},
             {"supctl_battery", "supctl_notifications", "supctl_shutdown", "supctl_last"}},
        Case{"BeforeAnAnswer",
             {true, {{0, -1}}},
             ".running and .status == null and .charge_percent == null and .model == null and"
             " .last_poll_s == 1000 and .last_answer_s == null and .poll_interval_ms == 5000 and"
             " .notifications == [{\"time_s\": 1000, \"name\": \"COMMBAD\"}]",
             {"supctl_monitor_running 1\n", "supctl_shutdown_decided 0\n",
              "supctl_last_poll_timestamp_seconds 1000\n",
              "supctl_notifications_total{notification=\"COMMBAD\"} 1\n"},
             {"supctl_battery", "supctl_line", "supctl_last_answer", "supctl_supervisor_info"}},
        Case{"CriticalTwiceThenSilent",
             {true, {{0, 5}, {5, 5}, {10, -1}}, false, 1234},
             ".answered == false and .status == \"OB DISCHRG LB\" and .line == false and"
             " .charging == false and .millivolts == 3920 and .charge_percent == 5 and"
             " .low_bat_percent == 20 and .critical_low_bat_percent == 10 and"
             " .shutdown_reason == \"critical\" and .serial == \"0011\" and"
             " .model == \"A \\\"7\\\"\\t\\\\\\n\\u00e9\" and .last_poll_s == 1010 and"
             " .last_answer_s == 1005 and .runtime_s == 1234 and"
             " [.notifications[] | [.time_s, .name]] == [[1000, \"ONBATT\"], [1000, \"BATTWARN\"],"
             " [1000, \"LOWBATT\"], [1005, \"SHUTDOWN\"], [1010, \"COMMBAD\"]]",
             {"supctl_supervisor_up 0\n", "supctl_battery_charge_ratio 0.05\n",
              "supctl_battery_voltage_volts 3.920\n", "supctl_battery_runtime_seconds 1234\n",
              "supctl_shutdown_decided 1\n", "supctl_last_poll_timestamp_seconds 1010\n",
              "supctl_last_answer_timestamp_seconds 1005\n",
              "supctl_supervisor_info{model=\"A \\\"7\\\"?\\\\\\n\xc3\xa9\",serial=\"0011\"} 1\n"},
             {}},
        Case{"TheLastSixteenNotifications",
             {true, twenty_polls(), true, {}},
             "(.notifications | length) == 16 and .notifications[0].time_s == 1004 and"
             " .notifications[15].time_s == 1019 and all(.notifications[]; .name == \"EVENT\""
             " and .event_code == 1 and .event_name == \"MAINPOWERLOST\")",
             {"supctl_notifications_total{notification=\"EVENT\"} 20\n",
              "supctl_notifications_total{notification=\"ONBATT\"} 1\n"},
             {}}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
