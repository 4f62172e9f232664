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

// The end of the one JSON value at p, or nullptr. Strict: strings hold
// printable ASCII and the escapes \", \\ and \u00XX alone.
const char* skip_value(const char* p) {
  if (*p == '{' || *p == '[') {
    const char close = *p == '{' ? '}' : ']';
    if (p[1] == close) return p + 2;
    do {
      if (close == '}' && ((p = skip_value(p + 1)) == nullptr || *p != ':')) return nullptr;
      if ((p = skip_value(p + 1)) == nullptr) return nullptr;
    } while (*p == ',');
    return *p == close ? p + 1 : nullptr;
  }
  if (*p == '"') {
    for (++p; *p != '"'; ++p) {
      if (*p < 0x20 || *p > 0x7E) return nullptr;  // the end of the text too
      if (*p != '\\') continue;
      if (p[1] == '"' || p[1] == '\\')
        ++p;
      else if (strncmp(p + 1, "u00", 3) == 0 && strspn(p + 4, "0123456789abcdef") >= 2)
        p += 5;
      else
        return nullptr;
    }
    return p + 1;
  }
  for (const char* word : {"true", "false", "null"})
    if (strncmp(p, word, strlen(word)) == 0) return p + strlen(word);
  const size_t digits = strspn(p, "0123456789.");
  return digits > 0 ? p + digits : nullptr;
}

void check_value(const ReplyValue& value, const uint8_t* reply, size_t length) {
  if (value.kind == ValueKind::events) {
    const EventList& events = value.events;
    FUZZ_CHECK(events.announced == reply[2]);
    FUZZ_CHECK(events.count == std::min<size_t>(reply[2], length - 3));
    FUZZ_CHECK(std::equal(events.codes, events.codes + events.count, reply + 3));
  } else if (value.kind == ValueKind::device_info) {
    const std::string text(reply + 2, reply + length);  // up to its first zero byte
    FUZZ_CHECK(strcmp(value.device_info.text, text.c_str()) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<const Operation*> queries = operations_of(OperationKind::query);
  if (size == 0) return 0;
  const Operation& query = *queries[(data[0] >> 1) % queries.size()];
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
  FUZZ_CHECK(skip_value(json.c_str()) == json.c_str() + json.size());
  return 0;
}
