// SPDX-License-Identifier: MIT
#include "ops/json_output.h"

#include <cstring>

namespace {

// "#rrggbb" from the low 24 bits.
void write_colour(JsonWriter& json, const char* key, uint32_t rgb) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  char text[8] = "#";
  for (int i = 0; i < 6; ++i) text[1 + i] = kHexDigits[(rgb >> (20 - 4 * i)) & 0xF];
  json.field(key, text);
}

void write_power_status(JsonWriter& json, const PowerStatus& status) {
  json.field("line", status.line);
  json.field("charging", status.charging);
  json.field("pg", status.pg);
  json.field("motion", status.motion);
  json.field("millivolts", static_cast<unsigned>(status.millivolts));
  json.field("charge_percent", static_cast<unsigned>(status.charge_percent));
}

void write_events(JsonWriter& json, const EventList& events) {
  json.field("event_count", static_cast<unsigned>(events.announced));
  json.begin_array("events");
  for (unsigned i = 0; i < events.count; ++i) {
    json.begin_object();
    json.field("code", static_cast<unsigned>(events.codes[i]));
    json.field("name", event_name(events.codes[i]));
    json.end_object();
  }
  json.end_array();
}

void write_error(JsonWriter& json, const OperationRun& run) {
  static constexpr char kPrefix[] = "Error: ";
  const char* message = error_line(run) + strlen(kPrefix);
  size_t length = strlen(message);
  while (length > 0 && message[length - 1] == '\n') --length;
  json.field_text("error", message, length);
  json.field("error_code", error_code(run));
}

// The members every object starts with; settings nullptr writes null.
void write_head(JsonWriter& json, const char* operation, const char* device_path,
                const SpiSettings* settings) {
  json.begin_object();
  json.field("format_version", kJsonFormatVersion);
  json.field("operation", operation);
  json.field("device", device_path);
  if (settings == nullptr) {
    json.field_null("spi");
    return;
  }
  json.begin_object("spi");
  json.field("mode", static_cast<unsigned>(settings->mode));
  json.field("bits_per_word", static_cast<unsigned>(settings->bits_per_word));
  json.field("max_speed_hz", static_cast<unsigned>(settings->max_speed_hz));
  json.end_object();
}

void write_setting_value(JsonWriter& json, const OperationRun& run) {
  if (run.operation->form == ArgumentForm::colour)
    write_colour(json, "value", run.value);
  else
    json.field("value", static_cast<unsigned>(run.value));
}

}  // namespace

void write_value_json(JsonWriter& json, const Operation& query, const ReplyValue& value) {
  const char* key = query.json_key;
  switch (value.kind) {
    case ValueKind::power_status: write_power_status(json, value.power_status); break;
    case ValueKind::device_id:
      json.field_hex(key, value.device_id.bytes, sizeof value.device_id.bytes);
      break;
    case ValueKind::device_info: json.field(key, value.device_info.text); break;
    case ValueKind::hex_byte:
    case ValueKind::decimal_byte: json.field(key, static_cast<unsigned>(value.byte)); break;
    case ValueKind::number_list:
      json.begin_array(key);
      for (unsigned i = 0; i < value.number_list.count; ++i)
        json.element(value.number_list.numbers[i]);
      json.end_array();
      break;
    case ValueKind::events: write_events(json, value.events); break;
    case ValueKind::rgb:
      write_colour(
          json, key,
          static_cast<uint32_t>(value.rgb.red << 16 | value.rgb.green << 8 | value.rgb.blue));
      break;
    case ValueKind::temperature: json.field_tenths(key, value.temperature.tenths); break;
  }
}

void write_errno(JsonWriter& json, int error) {
  json.field("error_code", "system_error");
  json.field_integer("errno", error);
  json.field("errno_name", error != 0 ? strerrorname_np(error) : nullptr);
}

void print_run_json(FILE* out, const OperationRun& run, const char* device_path,
                    const SpiSettings& settings) {
  JsonWriter json(out);
  write_head(json, run.name, device_path, &settings);
  const size_t length = run.exchanged ? run.operation->transfer_length : 0;
  json.field_hex("tx", run.exchanged ? run.frame.tx : nullptr, length);
  json.field_hex("rx", run.exchanged ? run.frame.rx : nullptr, length);
  if (run.error != RunError::none) {
    write_error(json, run);
  } else if (run.operation->kind == OperationKind::query) {
    write_value_json(json, *run.operation,
                     decode_reply(run.operation->value, Reply(run.frame.rx, length)));
  } else {
    write_setting_value(json, run);
  }
  if (run.exchanged && !run.answered) json.field("answered", false);
  json.end_object();
  json.end_line();
}

void print_device_failure_json(FILE* out, const char* operation, const char* device_path,
                               const SpiSettings* settings, const DeviceFailure& failure) {
  JsonWriter json(out);
  write_head(json, operation, device_path, settings);
  json.field_null("tx");
  json.field_null("rx");
  json.field("error", failure.message);
  write_errno(json, failure.error);
  json.end_object();
  json.end_line();
}
