// SPDX-License-Identifier: MIT
// The supervisor operations that -o can name, as one table of data.
#pragma once

#include <cstdint>
#include <span>

#include "ops/answer_check.h"
#include "ops/arguments.h"
#include "ops/command_frame.h"
#include "ops/reply_values.h"

enum class OperationKind : uint8_t {
  not_implemented,  // recognised, answered with "Error: TBD"
  query,            // sends its command byte, prints the decoded reply
  setting,          // sends its command byte and argument, prints nothing
};

struct Operation {
  const char* name;
  OperationKind kind = OperationKind::not_implemented;
  uint8_t command = 0;
  uint8_t transfer_length = 0;  // bytes moved each way
  uint8_t capacity = 0;         // size of each frame buffer
  // Queries: the label printed before the value under --verbose, what the
  // reply holds, the JSON key of the value, and what the reply must show to
  // be the supervisor's answer.
  const char* label = nullptr;
  ValueKind value = ValueKind::power_status;
  const char* json_key = nullptr;
  AnswerRule answer = AnswerRule::bus;
  // Setting commands: the argument form, the largest decimal value accepted
  // (from 1), and whether the value is echoed before the exchange.
  ArgumentForm form = ArgumentForm::none;
  uint8_t max_value = 0;
  bool echo = false;
};

namespace operation_rows {

constexpr Operation not_implemented(const char* name) { return {.name = name}; }

constexpr Operation query(const char* name, uint8_t command, uint8_t length, uint8_t capacity,
                          const char* label, ValueKind value, const char* json_key,
                          AnswerRule answer = AnswerRule::bus) {
  return {.name = name,
          .kind = OperationKind::query,
          .command = command,
          .transfer_length = length,
          .capacity = capacity,
          .label = label,
          .value = value,
          .json_key = json_key,
          .answer = answer};
}

// Every setting command's frame is 16 bytes; its length follows its form.
constexpr Operation setting(const char* name, uint8_t command, ArgumentForm form,
                            uint8_t max_value = 0, bool echo = false) {
  return {.name = name,
          .kind = OperationKind::setting,
          .command = command,
          .transfer_length = setting_transfer_length(form),
          .capacity = 16,
          .form = form,
          .max_value = max_value,
          .echo = echo};
}

inline constexpr bool kEcho = true;
using enum ArgumentForm;
using enum ValueKind;

// Dispatch order: the first equal name wins.
inline constexpr Operation kOperations[] = {
    not_implemented("GET_ReadNVM"),
    query("GET_DeviceID", 0x21, 18, 32, "Device ID:", device_id, "device_id"),
    query("GET_DeviceInfo", 0x22, 66, 96, "Device info:", device_info, "device_info"),
    query("GET_PowerStatus", 0x23, 6, 16, "Power status:", power_status, nullptr,
          AnswerRule::power_status),
    query("GET_SupervisorMode", 0x24, 4, 16, "Supervisor mode:", hex_byte, "supervisor_mode"),
    query("GET_ActiveMCU", 0x25, 4, 16, "Active MCU:", number_list, "active_mcus"),
    query("GET_ActiveUSBPorts", 0x26, 4, 16, "Active USB port:", number_list, "active_usb_ports"),
    query("GET_Event", 0x27, 20, 32, "Event:", events, "events"),
    query("GET_RGB", 0x28, 6, 16, "RGB:", rgb, "rgb"),
    query("GET_LowBat", 0x29, 4, 96, "Threshold - low bat:", decimal_byte, "low_bat_percent",
          AnswerRule::percent),
    query("GET_CriticalLowBat", 0x2A, 4, 96, "Threshold - critial low bat:", decimal_byte,
          "critical_low_bat_percent", AnswerRule::percent),
    query("GET_AccelSensitivity", 0x2B, 4, 96, "Threshold - accelerometer:", decimal_byte,
          "accel_sensitivity"),
    query("GET_BoardTemperature", 0x2C, 6, 96, "Board temperature:", temperature,
          "temperature_celsius"),
    not_implemented("SET_WriteNVM"),
    setting("SET_SetMagic", 0x61, hex_word, 0, kEcho),
    setting("SET_UnlockAdminMode", 0x62, hex_word),
    setting("SET_LowBat", 0x63, decimal, 100),
    setting("SET_CriticalLowBat", 0x64, decimal, 100),
    setting("SET_AccelSensitivity", 0x65, decimal, 128),
    setting("SET_SupervisorMode", 0x66, decimal, 255),
    not_implemented("SET_EnableUSBPort"),
    not_implemented("SET_DisableUSBPort"),
    setting("SET_EnableMCU", 0x69, decimal, 10),
    setting("SET_DisableMCU", 0x6A, decimal, 10),
    setting("SET_EraseMCU", 0x6B, decimal, 10),
    setting("SET_PowerOFF", 0x6D, hex_word, 0, kEcho),
    setting("SET_RGB", 0x6C, colour),
};

// Every frame fits its buffers, and every buffer the largest frame; a
// query's decoder reads within the bytes its transfer brings in, and a
// setting's argument within the bytes it sends.
constexpr bool frames_fit() {
  for (const Operation& operation : kOperations) {
    if (operation.transfer_length > operation.capacity) return false;
    if (operation.capacity > kMaxFrameCapacity) return false;
    if (operation.kind == OperationKind::query &&
        reply_bytes_read(operation.value) > operation.transfer_length)
      return false;
    if (operation.kind == OperationKind::setting &&
        1 + argument_bytes(operation.form) > operation.transfer_length)
      return false;
  }
  return true;
}
static_assert(frames_fit(), "an operation's frame does not fit its buffers or its decoder");

// A rule beyond the bus rule reads the value its query decodes.
constexpr bool rules_fit() {
  for (const Operation& operation : kOperations) {
    if (operation.answer == AnswerRule::bus) continue;
    if (operation.kind != OperationKind::query) return false;
    if (operation.answer == AnswerRule::percent && operation.value != ValueKind::decimal_byte)
      return false;
    if (operation.answer == AnswerRule::power_status && operation.value != ValueKind::power_status)
      return false;
  }
  return true;
}
static_assert(rules_fit(), "an answer rule reads a value its query does not hold");

}  // namespace operation_rows

using operation_rows::kOperations;

// All operations in dispatch order.
std::span<const Operation> operation_table();

// The first operation whose name equals name exactly, or nullptr.
const Operation* find_operation(const char* name);

// Whether the reply, RX[0] up to the transfer length, is the supervisor's
// answer by the operation's rule. A setting command's reply is not judged:
// it always counts as answered.
bool is_answer(const Operation& operation, Reply reply);
