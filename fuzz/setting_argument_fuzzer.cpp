// SPDX-License-Identifier: MIT
// Setting commands: the first input byte picks one of the setting commands,
// the rest is its -a text. The parsed value is compared with the C library's
// strtoull, which reads numbers the same way but does not stop at 32 bits,
// and the frame is checked: command byte, argument bytes, 0xFF elsewhere.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "ops/command_frame.h"
#include "ops/operation_table.h"

namespace {

bool starts_negative(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  return *text == '-';
}

// What the argument must parse to, worked out with strtoull.
ParsedArgument expected_argument(const Operation& operation, const char* text) {
  const bool hex = operation.form != ArgumentForm::decimal;
  if (hex && text[0] != (operation.form == ArgumentForm::colour ? '#' : 'x'))
    return {ArgumentError::missing_prefix, 0};
  const char* number = hex ? text + 1 : text;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = strtoull(number, &end, hex ? 16 : 10);
  if (end == number) return {ArgumentError::no_value, 0};
  const bool negative = starts_negative(number);
  if (!hex && negative) return {ArgumentError::out_of_range, 0};
  // strtoull negates in 64 bits; negating again gives the magnitude back.
  const unsigned long long magnitude = negative ? 0 - value : value;
  const bool fits = errno == 0 && magnitude <= 0xFFFFFFFFull;
  if (!fits) return {ArgumentError::no_value, 0};
  const uint32_t value32 = static_cast<uint32_t>(value);
  if (!hex && (value32 < 1 || value32 > operation.max_value))
    return {ArgumentError::out_of_range, 0};
  return {ArgumentError::none, value32};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<const Operation*> settings = operations_of(OperationKind::setting);
  if (size == 0) return 0;
  const Operation& operation = *settings[data[0] % settings.size()];
  // -a keeps at most 30 characters and nothing after a zero byte.
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1 < 30 ? size - 1 : 30);
  text.resize(strlen(text.c_str()));

  const ParsedArgument parsed = parse_argument(operation.form, operation.max_value, text.c_str());
  const ParsedArgument expected = expected_argument(operation, text.c_str());
  FUZZ_CHECK(parsed.error == expected.error);
  if (parsed.error != ArgumentError::none) return 0;
  FUZZ_CHECK(parsed.value == expected.value);

  CommandFrame frame;
  prepare_frame(frame, operation.command, operation.capacity);
  encode_argument(operation.form, parsed.value, frame.tx);
  FUZZ_CHECK(frame.tx[0] == operation.command);
  const int bytes_sent = operation.form == ArgumentForm::hex_word ? 4
                         : operation.form == ArgumentForm::colour ? 3
                                                                  : 1;
  for (int i = 1 + bytes_sent; i < operation.capacity; ++i) FUZZ_CHECK(frame.tx[i] == 0xFF);
  FUZZ_CHECK(1 + bytes_sent < operation.transfer_length);
  uint32_t sent = 0;
  for (int i = 1; i <= bytes_sent; ++i) sent = sent << 8 | frame.tx[i];
  const uint32_t kept =
      bytes_sent == 4 ? parsed.value : parsed.value & ((1u << (8 * bytes_sent)) - 1);
  FUZZ_CHECK(sent == kept);
  return 0;
}
