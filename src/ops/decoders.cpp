// SPDX-License-Identifier: MIT
#include "ops/decoders.h"

namespace {

void print_power_status(FILE* out, const PowerStatus& status) {
  const struct {
    bool set;
    const char* word;
  } flags[] = {{status.motion, "motion "},
               {status.charging, "charging "},
               {status.pg, "pg "},
               {status.line, "line "}};
  for (const auto& flag : flags) {
    if (flag.set) fputs(flag.word, out);
  }
  fprintf(out, "%umV %u%%\n\n", static_cast<unsigned>(status.millivolts),
          static_cast<unsigned>(status.charge_percent));
}

void print_device_id(FILE* out, const DeviceId& id) {
  for (uint8_t byte : id.bytes) fprintf(out, "%02x", static_cast<unsigned>(byte));
  fputs("\n\n", out);
}

void print_number_list(FILE* out, const NumberList& list) {
  fputc('[', out);
  for (unsigned i = 0; i < list.count; ++i)
    fprintf(out, "%u ", static_cast<unsigned>(list.numbers[i]));
  fputs("]\n\n", out);
}

// Codes without a name show as 0x29 in verbose mode.
void print_events(FILE* out, const EventList& events, bool verbose) {
  fprintf(out, "%02x ", static_cast<unsigned>(events.announced));
  for (unsigned i = 0; i < events.count; ++i) {
    const unsigned code = events.codes[i];
    const char* name = event_name(events.codes[i]);
    if (!verbose)
      fprintf(out, "%02x", code);
    else if (name)
      fprintf(out, "%s ", name);
    else
      fprintf(out, "0x%02x ", code);
  }
  fputs("\n\n", out);
}

}  // namespace

void print_value(FILE* out, const ReplyValue& value, bool verbose) {
  switch (value.kind) {
    case ValueKind::power_status: print_power_status(out, value.power_status); break;
    case ValueKind::device_id: print_device_id(out, value.device_id); break;
    case ValueKind::device_info: fprintf(out, "%s\n\n", value.device_info.text); break;
    case ValueKind::hex_byte: fprintf(out, "%02x\n\n", static_cast<unsigned>(value.byte)); break;
    case ValueKind::decimal_byte: fprintf(out, "%u\n\n", static_cast<unsigned>(value.byte)); break;
    case ValueKind::number_list: print_number_list(out, value.number_list); break;
    case ValueKind::events: print_events(out, value.events, verbose); break;
    case ValueKind::rgb:
      fprintf(out, "#%02x%02x%02x\n\n", static_cast<unsigned>(value.rgb.red),
              static_cast<unsigned>(value.rgb.green), static_cast<unsigned>(value.rgb.blue));
      break;
    case ValueKind::temperature: {
      const unsigned tenths = value.temperature.tenths;
      fprintf(out, "%u.%u`C\n\n", tenths / 10, tenths % 10);
      break;
    }
  }
}
