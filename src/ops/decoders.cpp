// SPDX-License-Identifier: MIT
#include "ops/decoders.h"

#include <cstring>

namespace {

constexpr size_t kFirstValue = 2;

// 16-bit values in replies are little-endian.
unsigned reply_u16(Reply reply, size_t low) { return reply[low] + 256u * reply[low + 1]; }

// Names by event code; the codes from 41 on have none.
constexpr const char* kEventNames[64] = {
    "NONE",
    "MAINPOWERLOST",
    "BATLOW",
    "BATCRITICALLOW",
    "MOTIONDETECTED",
    "FORCESHUTDOWN",
    "EMERGENCYERASE",
    "MAINPOWERBACK",
    "BATCHARGED",
    "MOTIONSTOPED",
    "ADMINUNLOCKED",
    "BATCHARGING",
    "BATLOWOFF",
    "BATCRITICALLOWOFF",
    "free1",
    "RESET",
    "LOW_POWER_RESET",
    "WINDOW_WATCHDOG_RESET",
    "INDEPENDENT_WATCHDOG_RESET",
    "SOFTWARE_RESET",
    "POWER-ON_RESET (POR) / POWER-DOWN_RESET (PDR)",
    "EXTERNAL_RESET_PIN_RESET",
    "OPTION_BYTES_RESET (OBL)",
    "UNKNOWN_RESET",
    "ERASED_C1",
    "ERASED_C2",
    "ERASED_C3",
    "ERASED_C4",
    "ERASED_C5",
    "ERASED_C6",
    "ERASED_C7",
    "ERASED_C8",
    "ERASED_C9",
    "ERASED_C10",
    "x22",
    "x23",
    "x24",
    "x25",
    "x26",
    "x27",
    "0x28",
};

}  // namespace

const char* event_name(uint8_t code) {
  return code < sizeof kEventNames / sizeof kEventNames[0] ? kEventNames[code] : nullptr;
}

void print_power_status(FILE* out, Reply reply, bool) {
  static constexpr const char* kFlagWords[] = {"motion ", "charging ", "pg ", "line "};
  for (unsigned bit = 0; bit < 4; ++bit) {
    if (reply[1] & (1u << bit)) fputs(kFlagWords[bit], out);
  }
  fprintf(out, "%umV %u%%\n\n", reply_u16(reply, 2), static_cast<unsigned>(reply[4]));
}

void print_device_id(FILE* out, Reply reply, bool) {
  for (uint8_t byte : reply.subspan(kFirstValue)) fprintf(out, "%02x", byte);
  fputs("\n\n", out);
}

// The text ends at its first zero byte; a reply without one is printed
// whole, never read past its end.
void print_device_info(FILE* out, Reply reply, bool) {
  const Reply text = reply.subspan(kFirstValue);
  const void* zero = memchr(text.data(), 0, text.size());
  const size_t length = zero ? static_cast<const uint8_t*>(zero) - text.data() : text.size();
  fwrite(text.data(), 1, length, out);
  fputs("\n\n", out);
}

void print_hex_byte(FILE* out, Reply reply, bool) {
  fprintf(out, "%02x\n\n", static_cast<unsigned>(reply[kFirstValue]));
}

void print_decimal_byte(FILE* out, Reply reply, bool) {
  fprintf(out, "%u\n\n", static_cast<unsigned>(reply[kFirstValue]));
}

// Bits 0 to 9 of the mask stand for the numbers 1 to 10.
void print_number_list(FILE* out, Reply reply, bool) {
  const unsigned mask = reply_u16(reply, kFirstValue);
  fputc('[', out);
  for (unsigned bit = 0; bit < 10; ++bit) {
    if (mask & (1u << bit)) fprintf(out, "%u ", bit + 1);
  }
  fputs("]\n\n", out);
}

// The count is printed as received; only the codes that the reply holds are
// printed, however many the count announces.
void print_events(FILE* out, Reply reply, bool verbose) {
  const unsigned count = reply[kFirstValue];
  fprintf(out, "%02x ", count);
  const Reply codes = reply.subspan(kFirstValue + 1);
  for (uint8_t code : codes.first(count < codes.size() ? count : codes.size())) {
    const char* name = verbose ? event_name(code) : nullptr;
    if (!verbose)
      fprintf(out, "%02x", static_cast<unsigned>(code));
    else if (name)
      fprintf(out, "%s ", name);
    else
      fprintf(out, "0x%02x ", static_cast<unsigned>(code));
  }
  fputs("\n\n", out);
}

void print_rgb(FILE* out, Reply reply, bool) {
  fprintf(out, "#%02x%02x%02x\n\n", static_cast<unsigned>(reply[2]),
          static_cast<unsigned>(reply[3]), static_cast<unsigned>(reply[4]));
}

// Tenths of a degree, unsigned.
void print_temperature(FILE* out, Reply reply, bool) {
  const unsigned tenths = reply_u16(reply, kFirstValue);
  fprintf(out, "%u.%u`C\n\n", tenths / 10, tenths % 10);
}
