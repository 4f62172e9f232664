// SPDX-License-Identifier: MIT
// Query replies: the first input byte picks a query and the verbose flag,
// the rest is what the supervisor sent. The reply lives in a buffer of
// exactly the transfer length, so a decoder that reads one byte too far is
// caught by AddressSanitizer. Every value line ends with an empty line.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "ops/decoders.h"
#include "ops/operation_table.h"

namespace {

std::vector<const Operation*> queries() {
  std::vector<const Operation*> found;
  for (const Operation& operation : operation_table())
    if (operation.kind == OperationKind::query) found.push_back(&operation);
  return found;
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

  const std::string text = printed_by([&](FILE* out) {
    print_value(out, decode_reply(query.value, Reply(reply.get(), length)), verbose);
  });
  FUZZ_CHECK(text.size() >= 2 && text.compare(text.size() - 2, 2, "\n\n") == 0);
  return 0;
}
