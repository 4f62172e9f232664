// SPDX-License-Identifier: MIT
#include "monitor/metrics_text.h"

#include <string_view>

namespace {

// A sample's value, number / 10^decimals, written as an exact decimal.
struct Value {
  bool known;
  int64_t number;
  int decimals;
};

constexpr Value kUnknown = {false, 0, 0};

Value whole(int64_t number) { return {true, number, 0}; }

// A value of the last answer, while the monitor runs and once there is one.
Value last_answer(const PublishedState& state, int64_t number, int decimals) {
  return state.running && state.guard.ever_answered() ? Value{true, number, decimals} : kUnknown;
}

Value percent(const PublishedState& state, unsigned value) { return last_answer(state, value, 2); }

Value timestamp(const PublishedState& state, int64_t unix_s) {
  return state.running && unix_s != 0 ? whole(unix_s) : kUnknown;
}

// A label's value: the backslash, the quote and the line end escaped as the
// format asks, other control bytes as '?', and bytes from 0x80 up read as
// Latin-1 (as the state file's JSON reads them) and written as UTF-8, which
// the format requires.
void add_label_value(TextBuffer& out, const char* text) {
  for (const char* p = text; *p != '\0'; ++p) {
    const unsigned c = static_cast<unsigned char>(*p);
    if (c == '\\' || c == '"') {
      out.add("\\%c", static_cast<char>(c));
    } else if (c == '\n') {
      out.add("\\n");
    } else if (c < 0x20 || c == 0x7F) {
      out.add("?");
    } else if (c >= 0x80) {
      out.add("%c%c", static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.add("%c", static_cast<char>(c));
    }
  }
}

void add_identity(TextBuffer& out, const char* name, const PublishedState& state) {
  out.add("%s{model=\"", name);
  add_label_value(out, state.details.model);
  out.add("\",serial=\"");
  add_label_value(out, state.details.serial);
  out.add("\"} 1\n");
}

void add_notification_counts(TextBuffer& out, const char* name, const PublishedState& state) {
  for (int index = 0; index < kNotificationKinds; ++index) {
    const auto kind = static_cast<Notification>(index);
    out.add("%s{notification=\"%s\"} %llu\n", name, notification_name(kind),
            static_cast<unsigned long long>(state.history.count(kind)));
  }
}

struct Metric {
  const char* name;
  const char* type;  // "gauge" or "counter"
  const char* help;
  Value (*value)(const PublishedState&);
  // Writes the samples of a family with labels; null: one sample of `value`.
  void (*labelled)(TextBuffer&, const char* name, const PublishedState&) = nullptr;
};

using State = const PublishedState&;

constexpr Metric kMetrics[] = {
    {"supctl_monitor_running", "gauge", "1 while supctl-monitor runs, 0 once it has ended.",
     [](State s) { return whole(s.running); }},
    {"supctl_supervisor_up", "gauge", "1 when the supervisor answered the last poll.",
     [](State s) { return whole(s.running && s.guard.answering()); }},
    {"supctl_line_power_present", "gauge", "1 on line power, 0 on battery, as last answered.",
     [](State s) { return last_answer(s, s.guard.last_reading().line, 0); }},
    {"supctl_battery_charging", "gauge", "1 while the battery charges, as last answered.",
     [](State s) { return last_answer(s, s.guard.last_reading().charging, 0); }},
    {"supctl_battery_charge_ratio", "gauge", "The battery's charge from 0 to 1, as last answered.",
     [](State s) { return percent(s, s.guard.last_reading().charge_percent); }},
    {"supctl_battery_voltage_volts", "gauge", "The battery's voltage, as last answered.",
     [](State s) { return last_answer(s, s.guard.last_reading().millivolts, 3); }},
    {"supctl_battery_low_threshold_ratio", "gauge",
     "The charge at or below which the battery is low (BATTWARN).",
     [](State s) { return percent(s, s.guard.thresholds().low); }},
    {"supctl_battery_critical_threshold_ratio", "gauge",
     "The charge at or below which the battery is critical (LOWBATT).",
     [](State s) { return percent(s, s.guard.thresholds().critical); }},
    {"supctl_battery_runtime_seconds", "gauge", "The estimated time left on battery.",
     [](State s) { return s.running && s.runtime_s ? whole(*s.runtime_s) : kUnknown; }},
    {"supctl_shutdown_decided", "gauge", "1 once the monitor has decided to shut the board down.",
     [](State s) { return s.running ? whole(s.guard.shutdown_decided()) : kUnknown; }},
    {"supctl_last_poll_timestamp_seconds", "gauge", "When the monitor last polled the supervisor.",
     [](State s) { return timestamp(s, s.history.last_poll_s()); }},
    {"supctl_last_answer_timestamp_seconds", "gauge", "When the supervisor last answered.",
     [](State s) { return timestamp(s, s.history.last_answer_s()); }},
    {"supctl_notifications_total", "counter", "Notifications given since the monitor started.",
     [](State s) { return s.running ? whole(1) : kUnknown; }, add_notification_counts},
    {"supctl_supervisor_info", "gauge", "The supervisor's identity; the value is always 1.",
     [](State s) { return s.running && s.details.identity_known ? whole(1) : kUnknown; },
     add_identity},
};

// Counters, and counters alone, end in _total.
constexpr bool counters_named_as_such() {
  for (const Metric& metric : kMetrics) {
    const std::string_view name = metric.name;
    if (name.ends_with("_total") != (std::string_view(metric.type) == "counter")) return false;
  }
  return true;
}
static_assert(counters_named_as_such());

void add_value(TextBuffer& out, const Value& value) {
  int64_t scale = 1;
  for (int i = 0; i < value.decimals; ++i) scale *= 10;
  out.add("%lld", static_cast<long long>(value.number / scale));
  if (value.decimals > 0)
    out.add(".%0*lld", value.decimals, static_cast<long long>(value.number % scale));
}

}  // namespace

void add_metrics_text(TextBuffer& out, const PublishedState& state) {
  for (const Metric& metric : kMetrics) {
    const Value value = metric.value(state);
    if (!value.known) continue;
    out.add("# HELP %s %s\n# TYPE %s %s\n", metric.name, metric.help, metric.name, metric.type);
    if (metric.labelled != nullptr) {
      metric.labelled(out, metric.name, state);
      continue;
    }
    out.add("%s ", metric.name);
    add_value(out, value);
    out.add("\n");
  }
}
