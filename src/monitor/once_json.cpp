// SPDX-License-Identifier: MIT
#include "monitor/board_report.h"
#include "ops/json_writer.h"

void write_once_json(FILE* out, const PollInput& input) {
  JsonWriter json(out);
  const auto number = [&](const char* key, bool known, unsigned value) {
    if (known) {
      json.field(key, value);
    } else {
      json.field_null(key);
    }
  };
  const auto flag = [&](const char* key, bool value) {
    if (input.answered) {
      json.field(key, value);
    } else {
      json.field_null(key);
    }
  };
  char status[32];
  TextBuffer words(status, sizeof status);
  add_ups_status(words, input.power, false, false, false);
  json.begin_object();
  json.field("format_version", 1u);
  json.field("answered", input.answered);
  json.field("status", input.answered ? status : nullptr);
  flag("line", input.power.line);
  flag("charging", input.power.charging);
  number("millivolts", input.answered, input.power.millivolts);
  number("charge_percent", input.answered, input.power.charge_percent);
  number("low_bat_percent", threshold_known(input, input.low_bat), input.low_bat);
  number("critical_low_bat_percent", threshold_known(input, input.critical_low_bat),
         input.critical_low_bat);
  const bool both_known =
      threshold_known(input, input.low_bat) && threshold_known(input, input.critical_low_bat);
  if (both_known) {
    json.field("thresholds_contradict", thresholds_contradict(input));
  } else {
    json.field_null("thresholds_contradict");
  }
  json.end_object();
  json.end_line();
}
