// SPDX-License-Identifier: MIT
#include "monitor/board_report.h"

#include <cstdarg>

namespace {

// dummy-ups splits a value into words at blanks and joins them again; it
// takes quotes, backslashes and '#' as syntax. Such bytes, and every byte
// outside printable ASCII, are written as '?'.
void add_nut_text(TextBuffer& out, const char* text) {
  char clean[sizeof BoardDetails::model];
  size_t i = 0;
  for (; text[i] != '\0' && i + 1 < sizeof clean; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool plain = c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '#';
    clean[i] = plain ? static_cast<char>(c) : '?';
  }
  clean[i] = '\0';
  out.add("%s", clean);
}

const char* charger_status(const PowerStatus& power) {
  if (power.charging) return "charging";
  return power.line ? "resting" : "discharging";
}

void add_volts(TextBuffer& out, unsigned millivolts) {
  out.add("%u.%03u", millivolts / 1000, millivolts % 1000);
}

// The runtime left, or "" once it is unknown: dummy-ups keeps a variable
// that a newer file leaves out.
void add_runtime(TextBuffer& out, const PowerGuard& guard) {
  const std::optional<uint32_t> runtime = guard.runtime_seconds();
  if (runtime) {
    out.add("battery.runtime: %u\n", static_cast<unsigned>(*runtime));
  } else {
    out.add("battery.runtime: \"\"\n");
  }
  if (guard.rules().runtime_low_s > 0)
    out.add("battery.runtime.low: %u\n", static_cast<unsigned>(guard.rules().runtime_low_s));
}

}  // namespace

// printf-style, so the compiler checks each format against its values.
void TextBuffer::add(const char* format, ...) {  // NOLINT(cert-dcl50-cpp)
  va_list arguments;
  va_start(arguments, format);
  const int wanted = vsnprintf(data_ + length_, size_ - length_, format, arguments);
  va_end(arguments);
  if (wanted < 0) return;
  const size_t room = size_ - length_ - 1;
  overflowed_ = overflowed_ || static_cast<size_t>(wanted) > room;
  length_ += static_cast<size_t>(wanted) > room ? room : static_cast<size_t>(wanted);
}

void add_ups_status(TextBuffer& out, const PowerStatus& power, bool low_battery,
                    bool lost_on_battery, bool forced) {
  if (forced) out.add("FSD ");
  if (lost_on_battery) {
    out.add("OB LB");
    return;
  }
  out.add("%s", power.line ? "OL" : "OB");
  if (power.charging) out.add(" CHRG");
  if (!power.line) out.add(" DISCHRG");
  if (low_battery) out.add(" LB");
}

void add_nut_definition(TextBuffer& out, const PowerGuard& guard, const BoardDetails& details) {
  out.add("device.type: ups\ndevice.mfr: supctl\n");
  if (details.identity_known) {
    out.add("device.model: ");
    add_nut_text(out, details.model);
    out.add("\ndevice.serial: %s\n", details.serial);
  }
  if (guard.ever_answered()) {
    const PowerStatus& power = guard.last_reading();
    out.add("battery.charge: %u\nbattery.voltage: ", power.charge_percent);
    add_volts(out, power.millivolts);
    out.add("\nbattery.charge.low: %u\nbattery.charge.warning: %u\n", guard.thresholds().critical,
            guard.thresholds().low);
    add_runtime(out, guard);
    out.add("battery.charger.status: %s\nups.status: ", charger_status(power));
    add_ups_status(out, power, guard.low_battery(), guard.lost_on_battery(), guard.forced());
    out.add("\n");
  } else {
    // Nothing known yet. NUT reads a file without a status as OL; an empty
    // one makes upsc show none and upsmon count the UPS as not reachable.
    out.add("ups.status: \"\"\n");
  }
  if (details.temperature_known)
    out.add("ups.temperature: %u.%u\n", details.temperature_tenths / 10,
            details.temperature_tenths % 10);
  // dummy-ups keeps a variable that a newer file leaves out; an empty
  // quoted value is what clears it.
  out.add("ups.alarm: %s\n", guard.answering() ? "\"\"" : "supervisor does not answer");
}

void add_stopped_nut_definition(TextBuffer& out) {
  out.add("device.type: ups\ndevice.mfr: supctl\n");
  for (const char* name : {"battery.charge", "battery.voltage", "battery.charge.low",
                           "battery.charge.warning", "battery.runtime", "battery.runtime.low",
                           "battery.charger.status", "ups.temperature", "ups.status"})
    out.add("%s: \"\"\n", name);
  out.add("ups.alarm: supctl-monitor is not running\n");
}

void add_status_words(TextBuffer& out, const PowerGuard& guard) {
  if (!guard.answering()) {
    out.add("no answer from the supervisor");
    if (guard.lost_on_battery()) out.add(" for 30 s after running on battery");
  } else {
    const PowerStatus& power = guard.last_reading();
    out.add("%s, %s, %u%%, ", power.line ? "on line power" : "on battery", charger_status(power),
            power.charge_percent);
    add_volts(out, power.millivolts);
    out.add(" V");
    const std::optional<uint32_t> runtime = guard.runtime_seconds();
    // In minutes, so that STATUS= does not change at every poll, but for
    // the last two.
    if (runtime && *runtime < 120) out.add(", %u s left", static_cast<unsigned>(*runtime));
    if (runtime && *runtime >= 120) out.add(", %u min left", static_cast<unsigned>(*runtime / 60));
  }
  const ShutdownReason condition = guard.condition();
  if (guard.shutdown_decided()) {
    out.add("; shutting down (%s)", shutdown_reason_name(guard.shutdown_reason()));
  } else if (condition != ShutdownReason::none) {
    out.add(", shutdown condition: %s", shutdown_reason_name(condition));
  }
}

void add_once_line(TextBuffer& out, const PollInput& input) {
  add_ups_status(out, input.power, false, false, false);
  out.add(" %u%% ", input.power.charge_percent);
  add_volts(out, input.power.millivolts);
  out.add("V");
  const char* names[] = {"low", "critical"};
  const uint8_t values[] = {input.low_bat, input.critical_low_bat};
  for (int i = 0; i < 2; ++i) {
    if (threshold_known(input, values[i])) {
      out.add(" %s %u%%", names[i], static_cast<unsigned>(values[i]));
    } else {
      out.add(" %s ?", names[i]);
    }
  }
  if (thresholds_contradict(input)) out.add(" (critical at or above low)");
}
