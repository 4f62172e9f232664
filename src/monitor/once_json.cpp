// SPDX-License-Identifier: MIT
#include "monitor/board_report.h"
#include "ops/json_writer.h"

void write_once_json(FILE* out, const PollInput& input) {
  JsonWriter json(out);
  char status[32];
  TextBuffer words(status, sizeof status);
  add_ups_status(words, input.power, false, false, false);
  json.begin_object();
  json.field("format_version", 1u);
  json.field("answered", input.answered);
  json.field("status", input.answered ? status : nullptr);
  json.field_or_null("line", input.answered, input.power.line);
  json.field_or_null("charging", input.answered, input.power.charging);
  json.field_integer_or_null("millivolts", input.answered, input.power.millivolts);
  json.field_integer_or_null("charge_percent", input.answered, input.power.charge_percent);
  json.field_integer_or_null("low_bat_percent", threshold_known(input, input.low_bat),
                             input.low_bat);
  json.field_integer_or_null("critical_low_bat_percent",
                             threshold_known(input, input.critical_low_bat),
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
