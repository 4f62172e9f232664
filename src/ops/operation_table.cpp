// SPDX-License-Identifier: MIT
#include "ops/operation_table.h"

#include <cstring>

std::span<const Operation> operation_table() { return kOperations; }

const Operation* find_operation(const char* name) {
  for (const Operation& operation : kOperations) {
    if (strcmp(operation.name, name) == 0) return &operation;
  }
  return nullptr;
}

bool is_answer(const Operation& operation, Reply reply) {
  return operation.kind != OperationKind::query || is_answer(operation.answer, reply);
}
