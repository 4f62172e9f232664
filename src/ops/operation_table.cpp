#include "ops/operation_table.h"

#include <cstring>

namespace {

constexpr Operation query(const char* name, uint8_t command, uint8_t length, uint8_t capacity,
                          const char* label, ReplyPrinter print_reply) {
  return {name, OperationKind::query, command, length, capacity, label, print_reply};
}

constexpr Operation kOperations[] = {
    query("GET_PowerStatus", 0x23, 6, 16, "Power status:", print_power_status),
};

}  // namespace

std::span<const Operation> operation_table() { return kOperations; }

const Operation* find_operation(const char* name) {
  for (const Operation& operation : kOperations) {
    if (strcmp(operation.name, name) == 0) return &operation;
  }
  return nullptr;
}
