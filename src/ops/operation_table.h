// SPDX-License-Identifier: MIT
// The supervisor operations that -o can name, as one table of data.
#pragma once

#include <cstdint>
#include <span>

#include "ops/arguments.h"
#include "ops/decoders.h"

using ReplyPrinter = void (*)(FILE* out, Reply reply, bool verbose);

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
  // Queries: the label printed before the value under --verbose, and the
  // printer of the value.
  const char* label = nullptr;
  ReplyPrinter print_reply = nullptr;
  // Setting commands: the argument form, the largest decimal value accepted
  // (from 1), and whether the value is echoed before the exchange.
  ArgumentForm form = ArgumentForm::none;
  uint8_t max_value = 0;
  bool echo = false;
};

// All operations in dispatch order.
std::span<const Operation> operation_table();

// The first operation whose name equals name exactly, or nullptr.
const Operation* find_operation(const char* name);
