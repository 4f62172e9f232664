// SPDX-License-Identifier: MIT
// Typed values decoded from the supervisor's replies. A reply is the bytes
// that one exchange received, RX[0] up to the transfer length. RX[0] is
// never read; values start at RX[2], except the power-status flags in RX[1].
// 16-bit values are little-endian. Nothing is validated: whatever arrived
// is decoded, and no decoder reads past the reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

using Reply = std::span<const uint8_t>;

inline constexpr size_t kMaxEventCodes = 17;     // RX[3] to RX[19] of a 20-byte reply
inline constexpr size_t kDeviceInfoLength = 64;  // RX[2] to RX[65]

struct PowerStatus {
  bool motion, charging, pg, line;  // bits 0 to 3 of RX[1]
  uint16_t millivolts;
  uint8_t charge_percent;  // as received, not limited to 100
};

// count: the codes the reply holds, at most 17 and at most announced.
struct EventList {
  uint8_t announced;
  uint8_t count;
  uint8_t codes[kMaxEventCodes];
};

struct DeviceId {
  uint8_t bytes[16];
};

// Up to the first zero byte, at most 64 bytes, NUL-terminated.
struct DeviceInfo {
  char text[kDeviceInfoLength + 1];
};

// The numbers 1 to 10 whose bits (0 to 9) are set in a 16-bit mask.
struct NumberList {
  uint8_t count;
  uint8_t numbers[10];
};

struct Rgb {
  uint8_t red, green, blue;
};

// Tenths of a degree Celsius, unsigned.
struct Temperature {
  uint16_t tenths;
};

PowerStatus decode_power_status(Reply reply);
EventList decode_events(Reply reply);
DeviceId decode_device_id(Reply reply);
DeviceInfo decode_device_info(Reply reply);
NumberList decode_number_list(Reply reply);
Rgb decode_rgb(Reply reply);
Temperature decode_temperature(Reply reply);
uint8_t decode_byte(Reply reply);  // RX[2]: thresholds, mode, accelerometer sensitivity

// Name of an event code, or nullptr for a code that has none (41 and up).
const char* event_name(uint8_t code);

// What a query's reply holds, and so how it is decoded and printed.
enum class ValueKind : uint8_t {
  power_status,
  device_id,
  device_info,
  hex_byte,      // one byte, printed as two hex digits
  decimal_byte,  // one byte, printed in decimal
  number_list,
  events,
  rgb,
  temperature,
};

// The shortest reply each decoder reads from: the byte after the last one
// it reads at a fixed position. Device info and events read the rest of
// the reply as far as it goes.
constexpr size_t reply_bytes_read(ValueKind kind) {
  switch (kind) {
    case ValueKind::power_status: return 5;
    case ValueKind::device_id: return 18;
    case ValueKind::device_info:
    case ValueKind::hex_byte:
    case ValueKind::decimal_byte: return 3;
    case ValueKind::number_list: return 4;
    case ValueKind::events: return 3;
    case ValueKind::rgb: return 5;
    case ValueKind::temperature: return 4;
  }
  return SIZE_MAX;
}

// One decoded reply, of the kind its query names.
struct ReplyValue {
  ValueKind kind;
  union {
    PowerStatus power_status;
    DeviceId device_id;
    DeviceInfo device_info;
    uint8_t byte;
    NumberList number_list;
    EventList events;
    Rgb rgb;
    Temperature temperature;
  };
};

ReplyValue decode_reply(ValueKind kind, Reply reply);
