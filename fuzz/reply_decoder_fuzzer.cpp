// SPDX-License-Identifier: MIT
// Query replies: the first input byte picks a query and the verbose flag,
// the rest is what the supervisor sent. The reply lives in a buffer of
// exactly the transfer length, so a decoder that reads one byte too far is
// caught by AddressSanitizer. Every value line ends with an empty line; the
// value's JSON is valid JSON of printable ASCII alone; events and the
// information text hold exactly what the reply says.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "ops/decoders.h"
#include "ops/json_output.h"
#include "ops/operation_table.h"

namespace {

std::vector<const Operation*> queries() {
  std::vector<const Operation*> found;
  for (const Operation& operation : operation_table())
    if (operation.kind == OperationKind::query) found.push_back(&operation);
  return found;
}

constexpr size_t kInvalid = std::string::npos;

bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// The position after the one JSON value at i in text, or kInvalid. Strict:
// strings hold printable ASCII and the escapes \", \\ and \u00XX alone.
size_t skip_value(const std::string& text, size_t i) {
  if (i >= text.size()) return kInvalid;
  const char c = text[i];
  if (c == '{' || c == '[') {
    const char close = c == '{' ? '}' : ']';
    if (i + 1 < text.size() && text[i + 1] == close) return i + 2;
    do {
      if (c == '{') {
        i = skip_value(text, i + 1);
        if (i == kInvalid || i >= text.size() || text[i] != ':') return kInvalid;
      }
      i = skip_value(text, i + 1);
    } while (i != kInvalid && i < text.size() && text[i] == ',');
    return i != kInvalid && i < text.size() && text[i] == close ? i + 1 : kInvalid;
  }
  if (c == '"') {
    for (++i; i < text.size() && text[i] != '"'; ++i) {
      if (text[i] < 0x20 || text[i] > 0x7E) return kInvalid;
      if (text[i] != '\\') continue;
      if (text.compare(i + 1, 1, "\"") == 0 || text.compare(i + 1, 1, "\\") == 0) {
        ++i;
      } else if (text.compare(i + 1, 3, "u00") == 0 && i + 5 < text.size() && is_hex(text[i + 4]) &&
                 is_hex(text[i + 5])) {
        i += 5;
      } else {
        return kInvalid;
      }
    }
    return i < text.size() ? i + 1 : kInvalid;
  }
  for (const char* word : {"true", "false", "null"}) {
    if (text.compare(i, strlen(word), word) == 0) return i + strlen(word);
  }
  const size_t digits = text.find_first_not_of("0123456789.", i);
  return digits > i ? std::min(digits, text.size()) : kInvalid;
}

void check_value(const ReplyValue& value, const uint8_t* reply, size_t length) {
  if (value.kind == ValueKind::events) {
    const EventList& events = value.events;
    FUZZ_CHECK(events.announced == reply[2]);
    FUZZ_CHECK(events.count == std::min<size_t>(reply[2], length - 3));
    FUZZ_CHECK(std::equal(events.codes, events.codes + events.count, reply + 3));
  } else if (value.kind == ValueKind::device_info) {
    const size_t text_length = strlen(value.device_info.text);
    FUZZ_CHECK(text_length <= length - 2);
    FUZZ_CHECK(memcmp(value.device_info.text, reply + 2, text_length) == 0);
    FUZZ_CHECK(text_length == length - 2 || reply[2 + text_length] == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<const Operation*> all_queries = queries();
  if (size == 0) return 0;
  const Operation& query = *all_queries[(data[0] >> 1) % all_queries.size()];
  const bool verbose = data[0] & 1;

  const size_t length = query.transfer_length;
  std::unique_ptr<uint8_t[]> reply(new uint8_t[length]);
  memset(reply.get(), 0xFF, length);
  memcpy(reply.get(), data + 1, size - 1 < length ? size - 1 : length);
  const ReplyValue value = decode_reply(query.value, Reply(reply.get(), length));
  check_value(value, reply.get(), length);

  const std::string text = printed_by([&](FILE* out) { print_value(out, value, verbose); });
  FUZZ_CHECK(text.size() >= 2 && text.compare(text.size() - 2, 2, "\n\n") == 0);

  const std::string json = printed_by([&](FILE* out) {
    JsonWriter writer(out);
    writer.begin_object();
    write_value_json(writer, query, value);
    writer.end_object();
  });
  FUZZ_CHECK(skip_value(json, 0) == json.size());
  return 0;
}
