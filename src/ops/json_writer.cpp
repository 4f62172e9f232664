// SPDX-License-Identifier: MIT
#include "ops/json_writer.h"

#include <cstring>

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

}  // namespace

JsonWriter::JsonWriter(FILE* out) : out_(out) {}

JsonWriter::~JsonWriter() { flush(); }

void JsonWriter::flush() {
  if (used_ > 0) fwrite(buffer_, 1, used_, out_);
  used_ = 0;
}

void JsonWriter::put(char c) {
  if (used_ == sizeof buffer_) flush();
  buffer_[used_++] = c;
}

void JsonWriter::put_raw(const char* text) {
  while (*text != '\0') put(*text++);
}

void JsonWriter::put_string(const char* bytes, size_t length) {
  put('"');
  for (size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte == '"' || byte == '\\') {
      put('\\');
      put(static_cast<char>(byte));
    } else if (byte < 0x20 || byte > 0x7E) {
      put_raw("\\u00");
      put(kHexDigits[byte >> 4]);
      put(kHexDigits[byte & 0xF]);
    } else {
      put(static_cast<char>(byte));
    }
  }
  put('"');
}

void JsonWriter::put_unsigned(unsigned value) {
  char digits[10];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) put(digits[--count]);
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

void JsonWriter::field_hex(const char* key, const uint8_t* bytes, size_t length) {
  if (bytes == nullptr) {
    field_null(key);
    return;
  }
  put_key(key);
  put('"');
  for (size_t i = 0; i < length; ++i) {
    put(kHexDigits[bytes[i] >> 4]);
    put(kHexDigits[bytes[i] & 0xF]);
  }
  put('"');
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

void JsonWriter::end_line() {
  put('\n');
  first_ = true;
  flush();
}
