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
  OperationKind kind;
  uint8_t command;
  uint8_t transfer_length;  // bytes moved each way
  uint8_t capacity;         // size of each frame buffer
  const char* label;        // query: printed before the value under --verbose
  ReplyPrinter print_reply; // query
  ArgumentForm form;        // setting
  uint8_t max_value;        // setting in decimal form: accepts 1 to max_value
  bool echo;                // setting: prints "? <value>" before the exchange
};

// All operations in dispatch order.
std::span<const Operation> operation_table();

// The first operation whose name equals name exactly, or nullptr.
const Operation* find_operation(const char* name);
