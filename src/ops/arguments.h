// SPDX-License-Identifier: MIT
// The value that a setting command takes from -a, and how it goes on the wire.
#pragma once

#include <cstdint>

enum class ArgumentForm : uint8_t {
  none,
  hex_word,  // "x" and a hexadecimal 32-bit word
  colour,    // "#" and a hexadecimal 0xRRGGBB colour
  decimal,   // a decimal number from 1 up to the command's maximum
};

enum class ArgumentError : uint8_t {
  none,
  missing_prefix,  // a hex word or colour without its "x" or "#"
  no_value,        // no digits where the number starts, or too large for 32 bits
  out_of_range,    // a decimal value below 1, above the maximum, or negative
};

struct ParsedArgument {
  ArgumentError error;
  uint32_t value;
};

// Reads text in the given form. Numbers are read as the standard conversions
// read them: leading white space skipped, an optional sign, for hexadecimal
// an optional 0x or 0X, and whatever follows the digits ignored.
ParsedArgument parse_argument(ArgumentForm form, uint8_t max_value, const char* text);

// Whether a decimal command takes value: from 1 up to its maximum.
constexpr bool decimal_in_range(uint32_t value, uint8_t max_value) {
  return value >= 1 && value <= max_value;
}

// The error line, printed as a line, for a refused argument.
const char* argument_error_message(ArgumentError error);

// Writes value into TX[1] on: a hex word most significant byte first, a
// colour as red, green, blue, a decimal value as one byte.
void encode_argument(ArgumentForm form, uint32_t value, uint8_t* tx);

// Bytes that encode_argument writes from TX[1] on.
constexpr int argument_bytes(ArgumentForm form) {
  return form == ArgumentForm::hex_word  ? 4
         : form == ArgumentForm::colour  ? 3
         : form == ArgumentForm::decimal ? 1
                                         : 0;
}

// Bytes of a setting command's frame for its argument form.
constexpr uint8_t setting_transfer_length(ArgumentForm form) {
  return form == ArgumentForm::hex_word ? 6 : form == ArgumentForm::colour ? 5 : 4;
}
