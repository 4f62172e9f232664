// SPDX-License-Identifier: MIT
#include "ops/json_writer.h"

#include <cstring>

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// The bytes a JSON string holds as they are: printable ASCII but the quote
// and the backslash.
constexpr struct PlainBytes {
  bool plain[256] = {};
  constexpr PlainBytes() {
    for (int byte = 0x20; byte <= 0x7E; ++byte) plain[byte] = byte != '"' && byte != '\\';
  }
} kPlainBytes;

}  // namespace

// The buffer is written before it is read.
// cppcheck-suppress uninitMemberVar
JsonWriter::JsonWriter(FILE* out) : out_(out) {}

JsonWriter::~JsonWriter() { flush(); }

void JsonWriter::flush() {
  if (used_ > 0) fwrite(buffer_, 1, used_, out_);
  used_ = 0;
}

// Every byte goes through here, in runs where it can: kept out of line, so
// that the writer stays small on the boards.
[[gnu::noinline]] void JsonWriter::append(const char* bytes, size_t length) {
  if (length > sizeof buffer_ - used_) flush();
  if (length > sizeof buffer_) {
    fwrite(bytes, 1, length, out_);
    return;
  }
  memcpy(buffer_ + used_, bytes, length);
  used_ += length;
}

void JsonWriter::put(char c) { append(&c, 1); }

void JsonWriter::put_raw(const char* text) { append(text, strlen(text)); }

// Runs of printable ASCII go out as they are; each other byte escaped.
void JsonWriter::put_string(const char* bytes, size_t length) {
  put('"');
  for (size_t i = 0; i < length;) {
    const size_t run = i;
    while (i < length && kPlainBytes.plain[static_cast<unsigned char>(bytes[i])]) ++i;
    append(bytes + run, i - run);
    if (i == length) break;
    const auto byte = static_cast<unsigned char>(bytes[i++]);
    if (byte == '"' || byte == '\\') {
      const char escaped[] = {'\\', static_cast<char>(byte)};
      append(escaped, sizeof escaped);
    } else {
      const char escaped[] = {'\\', 'u', '0', '0', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
      append(escaped, sizeof escaped);
    }
  }
  put('"');
}

void JsonWriter::put_unsigned(uint64_t value) {
  char digits[20];
  size_t start = sizeof digits;
  do {
    digits[--start] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  append(digits + start, sizeof digits - start);
}

void JsonWriter::begin_value() {
  if (!first_) put(',');
  first_ = false;
}

void JsonWriter::put_key(const char* key) {
  begin_value();
  put_string(key, strlen(key));
  put(':');
}

void JsonWriter::begin_object() {
  begin_value();
  put('{');
  first_ = true;
}

void JsonWriter::begin_object(const char* key) {
  put_key(key);
  put('{');
  first_ = true;
}

void JsonWriter::end_object() {
  put('}');
  first_ = false;
}

void JsonWriter::begin_array(const char* key) {
  put_key(key);
  put('[');
  first_ = true;
}

void JsonWriter::end_array() {
  put(']');
  first_ = false;
}

void JsonWriter::field(const char* key, bool value) {
  put_key(key);
  put_raw(value ? "true" : "false");
}

void JsonWriter::field(const char* key, unsigned value) {
  put_key(key);
  put_unsigned(value);
}

void JsonWriter::field(const char* key, const char* text) {
  if (text == nullptr) {
    field_null(key);
    return;
  }
  field_text(key, text, strlen(text));
}

void JsonWriter::field_text(const char* key, const char* bytes, size_t length) {
  put_key(key);
  put_string(bytes, length);
}

void JsonWriter::field_integer(const char* key, int64_t value) {
  put_key(key);
  if (value < 0) put('-');
  // The magnitude as unsigned, so that INT64_MIN has one too.
  put_unsigned(value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value));
}

void JsonWriter::field_or_null(const char* key, bool known, bool value) {
  if (known) {
    field(key, value);
  } else {
    field_null(key);
  }
}

void JsonWriter::field_integer_or_null(const char* key, bool known, int64_t value) {
  if (known) {
    field_integer(key, value);
  } else {
    field_null(key);
  }
}

// nullptr writes null. Out of line, as append is.
[[gnu::noinline]] void JsonWriter::put_hex(const uint8_t* bytes, size_t length) {
  if (bytes == nullptr) {
    put_raw("null");
    return;
  }
  put('"');
  for (size_t i = 0; i < length; ++i) {
    const char digits[] = {kHexDigits[bytes[i] >> 4], kHexDigits[bytes[i] & 0xF]};
    append(digits, sizeof digits);
  }
  put('"');
}

void JsonWriter::field_hex(const char* key, const uint8_t* bytes, size_t length) {
  put_key(key);
  put_hex(bytes, length);
}

void JsonWriter::field_tenths(const char* key, unsigned tenths) {
  put_key(key);
  put_unsigned(tenths / 10);
  put('.');
  put(static_cast<char>('0' + tenths % 10));
}

void JsonWriter::field_null(const char* key) {
  put_key(key);
  put_raw("null");
}

void JsonWriter::element(unsigned value) {
  begin_value();
  put_unsigned(value);
}

void JsonWriter::element_hex(const uint8_t* bytes, size_t length) {
  begin_value();
  put_hex(bytes, length);
}

void JsonWriter::end_line() {
  put('\n');
  first_ = true;
  flush();
}
