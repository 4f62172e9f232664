// SPDX-License-Identifier: MIT
#include "ops/reply_values.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kFirstValue = 2;

uint16_t reply_u16(Reply reply, size_t low) {
  return static_cast<uint16_t>(reply[low] + 256u * reply[low + 1]);
}

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

PowerStatus decode_power_status(Reply reply) {
  const uint8_t flags = reply[1];
  return {(flags & 1) != 0, (flags & 2) != 0,    (flags & 4) != 0,
          (flags & 8) != 0, reply_u16(reply, 2), reply[4]};
}

// The count is kept as announced; only the codes that the reply holds are
// taken, however many the count announces.
EventList decode_events(Reply reply) {
  EventList events = {reply[kFirstValue], 0, {}};
  const Reply codes = reply.subspan(kFirstValue + 1);
  events.count =
      static_cast<uint8_t>(std::min<size_t>({events.announced, codes.size(), kMaxEventCodes}));
  std::copy_n(codes.begin(), events.count, events.codes);
  return events;
}

DeviceId decode_device_id(Reply reply) {
  DeviceId id;
  std::copy_n(reply.begin() + kFirstValue, sizeof id.bytes, id.bytes);
  return id;
}

// The text ends at its first zero byte; a reply without one gives all of
// its text, never more.
DeviceInfo decode_device_info(Reply reply) {
  const Reply text =
      reply.subspan(kFirstValue).first(std::min(reply.size() - kFirstValue, kDeviceInfoLength));
  const void* zero = memchr(text.data(), 0, text.size());
  const size_t length = zero != nullptr
                            ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - text.data())
                            : text.size();
  DeviceInfo info;
  memcpy(info.text, text.data(), length);
  info.text[length] = '\0';
  return info;
}

// Bits 0 to 9 of the mask stand for the numbers 1 to 10.
NumberList decode_number_list(Reply reply) {
  const unsigned mask = reply_u16(reply, kFirstValue);
  NumberList list = {0, {}};
  for (unsigned bit = 0; bit < 10; ++bit) {
    if (mask & (1u << bit)) list.numbers[list.count++] = static_cast<uint8_t>(bit + 1);
  }
  return list;
}

Rgb decode_rgb(Reply reply) { return {reply[2], reply[3], reply[4]}; }

Temperature decode_temperature(Reply reply) { return {reply_u16(reply, kFirstValue)}; }

uint8_t decode_byte(Reply reply) { return reply[kFirstValue]; }

ReplyValue decode_reply(ValueKind kind, Reply reply) {
  ReplyValue value;
  value.kind = kind;
  switch (kind) {
    case ValueKind::power_status: value.power_status = decode_power_status(reply); break;
    case ValueKind::device_id: value.device_id = decode_device_id(reply); break;
    case ValueKind::device_info: value.device_info = decode_device_info(reply); break;
    case ValueKind::hex_byte:
    case ValueKind::decimal_byte: value.byte = decode_byte(reply); break;
    case ValueKind::number_list: value.number_list = decode_number_list(reply); break;
    case ValueKind::events: value.events = decode_events(reply); break;
    case ValueKind::rgb: value.rgb = decode_rgb(reply); break;
    case ValueKind::temperature: value.temperature = decode_temperature(reply); break;
  }
  return value;
}
