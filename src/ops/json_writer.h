// SPDX-License-Identifier: MIT
// Compact JSON on a FILE*, without the heap. Every string goes through one
// escaper: quotes and backslashes are escaped, and every byte outside
// printable ASCII (0x20 to 0x7E) becomes \u00XX, so text is read as
// Latin-1. Output is gathered in a small buffer and written in one piece
// when a line ends (or the buffer fills), so an unbuffered stream gets few
// writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class JsonWriter {
 public:
  explicit JsonWriter(FILE* out);
  ~JsonWriter();  // writes what is still buffered
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;

  void begin_object();  // "{" at top level or as an array element
  void begin_object(const char* key);
  void end_object();
  void begin_array(const char* key);
  void end_array();

  void field(const char* key, bool value);
  void field(const char* key, unsigned value);
  void field_integer(const char* key, int64_t value);
  void field(const char* key, const char* text);  // nullptr writes null
  void field_text(const char* key, const char* bytes, size_t length);
  void field_hex(const char* key, const uint8_t* bytes, size_t length);  // "0aff"; nullptr: null
  void field_tenths(const char* key, unsigned tenths);                   // 253 -> 25.3
  void field_null(const char* key);
  // The value when it is known, else null.
  void field_or_null(const char* key, bool known, bool value);
  void field_integer_or_null(const char* key, bool known, int64_t value);
  void element(unsigned value);                           // a number in an array
  void element_hex(const uint8_t* bytes, size_t length);  // nullptr: null

  void end_line();  // a line end, then everything is written out
  void flush();

 private:
  void begin_value();  // the comma before every value but a container's first
  void put_key(const char* key);
  void append(const char* bytes, size_t length);
  void put(char c);
  void put_raw(const char* text);
  void put_string(const char* bytes, size_t length);
  void put_unsigned(uint64_t value);
  void put_hex(const uint8_t* bytes, size_t length);

  FILE* out_;
  bool first_ = true;
  size_t used_ = 0;
  char buffer_[512];
};
