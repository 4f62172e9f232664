// SPDX-License-Identifier: MIT
#include "ops/arguments.h"

namespace {

struct ScannedNumber {
  bool has_digits;
  bool negative;
  bool too_large;  // the magnitude does not fit 32 bits
  uint32_t magnitude;
};

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int digit_value(char c, unsigned base) {
  int value = 36;
  if (c >= '0' && c <= '9')
    value = c - '0';
  else if (c >= 'a' && c <= 'z')
    value = c - 'a' + 10;
  else if (c >= 'A' && c <= 'Z')
    value = c - 'A' + 10;
  return value < static_cast<int>(base) ? value : -1;
}

ScannedNumber scan_number(const char* text, unsigned base) {
  ScannedNumber number = {false, false, false, 0};
  while (is_space(*text)) ++text;
  if (*text == '+' || *text == '-') number.negative = *text++ == '-';
  if (base == 16 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
      digit_value(text[2], 16) >= 0) {
    text += 2;
  }
  uint64_t magnitude = 0;
  for (int digit; (digit = digit_value(*text, base)) >= 0; ++text) {
    number.has_digits = true;
    magnitude = magnitude * base + static_cast<unsigned>(digit);
    if (magnitude > UINT32_MAX) {
      number.too_large = true;
      break;
    }
  }
  number.magnitude = static_cast<uint32_t>(magnitude);
  return number;
}

// "x" or "#" and a hexadecimal number; a minus sign wraps as it does in the
// standard conversion ("x-1" is 0xFFFFFFFF).
ParsedArgument parse_prefixed_hex(char prefix, const char* text) {
  if (text[0] != prefix) return {ArgumentError::missing_prefix, 0};
  const ScannedNumber number = scan_number(text + 1, 16);
  if (!number.has_digits || number.too_large) return {ArgumentError::no_value, 0};
  return {ArgumentError::none, number.negative ? 0u - number.magnitude : number.magnitude};
}

// A negative number is out of range whatever its magnitude, rather than
// wrapping to some positive value.
ParsedArgument parse_decimal(uint8_t max_value, const char* text) {
  const ScannedNumber number = scan_number(text, 10);
  if (number.has_digits && number.negative) return {ArgumentError::out_of_range, 0};
  if (!number.has_digits || number.too_large) return {ArgumentError::no_value, 0};
  if (!decimal_in_range(number.magnitude, max_value))
    return {ArgumentError::out_of_range, number.magnitude};
  return {ArgumentError::none, number.magnitude};
}

}  // namespace

ParsedArgument parse_argument(ArgumentForm form, uint8_t max_value, const char* text) {
  switch (form) {
    case ArgumentForm::hex_word: return parse_prefixed_hex('x', text);
    case ArgumentForm::colour: return parse_prefixed_hex('#', text);
    case ArgumentForm::decimal: return parse_decimal(max_value, text);
    case ArgumentForm::none: break;
  }
  return {ArgumentError::none, 0};
}

const char* argument_error_message(ArgumentError error) {
  switch (error) {
    case ArgumentError::missing_prefix: return "Error: Syntax error\n";
    case ArgumentError::no_value: return "Error: Parser failed";
    case ArgumentError::out_of_range: return "Error: Syntax error";
    case ArgumentError::none: break;
  }
  return "";
}

void encode_argument(ArgumentForm form, uint32_t value, uint8_t* tx) {
  switch (form) {
    case ArgumentForm::hex_word:
      tx[1] = static_cast<uint8_t>(value >> 24);
      tx[2] = static_cast<uint8_t>(value >> 16);
      tx[3] = static_cast<uint8_t>(value >> 8);
      tx[4] = static_cast<uint8_t>(value);
      break;
    case ArgumentForm::colour:
      tx[1] = static_cast<uint8_t>(value >> 16);
      tx[2] = static_cast<uint8_t>(value >> 8);
      tx[3] = static_cast<uint8_t>(value);
      break;
    case ArgumentForm::decimal: tx[1] = static_cast<uint8_t>(value); break;
    case ArgumentForm::none: break;
  }
}
