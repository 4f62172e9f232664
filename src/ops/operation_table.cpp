// SPDX-License-Identifier: MIT
#include "ops/operation_table.h"

#include <cstring>

namespace {

constexpr Operation not_implemented(const char* name) { return {.name = name}; }

constexpr Operation query(const char* name, uint8_t command, uint8_t length, uint8_t capacity,
                          const char* label, ReplyPrinter print_reply) {
  return {.name = name,
          .kind = OperationKind::query,
          .command = command,
          .transfer_length = length,
          .capacity = capacity,
          .label = label,
          .print_reply = print_reply};
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

constexpr bool kEcho = true;
using enum ArgumentForm;

// Dispatch order: the first equal name wins.
constexpr Operation kOperations[] = {
    not_implemented("GET_ReadNVM"),
    query("GET_DeviceID", 0x21, 18, 32, "Device ID:", print_device_id),
    query("GET_DeviceInfo", 0x22, 66, 96, "Device info:", print_device_info),
    query("GET_PowerStatus", 0x23, 6, 16, "Power status:", print_power_status),
    query("GET_SupervisorMode", 0x24, 4, 16, "Supervisor mode:", print_hex_byte),
    query("GET_ActiveMCU", 0x25, 4, 16, "Active MCU:", print_number_list),
    query("GET_ActiveUSBPorts", 0x26, 4, 16, "Active USB port:", print_number_list),
    query("GET_Event", 0x27, 20, 32, "Event:", print_events),
    query("GET_RGB", 0x28, 6, 16, "RGB:", print_rgb),
    query("GET_LowBat", 0x29, 4, 96, "Threshold - low bat:", print_decimal_byte),
    query("GET_CriticalLowBat", 0x2A, 4, 96, "Threshold - critial low bat:", print_decimal_byte),
    query("GET_AccelSensitivity", 0x2B, 4, 96, "Threshold - accelerometer:", print_decimal_byte),
    query("GET_BoardTemperature", 0x2C, 6, 96, "Board temperature:", print_temperature),
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

}  // namespace

std::span<const Operation> operation_table() { return kOperations; }

const Operation* find_operation(const char* name) {
  for (const Operation& operation : kOperations) {
    if (strcmp(operation.name, name) == 0) return &operation;
  }
  return nullptr;
}
