// SPDX-License-Identifier: MIT
// Answering frames as a board once did: the exchanges of `supctl -D` traces,
// replayed by their TX.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct Exchange {
  std::vector<uint8_t> tx;
  std::vector<uint8_t> rx;
  bool operator==(const Exchange&) const = default;
};

// Reads the exchanges of a trace: the "TX | " and "RX | " lines of any
// number of runs, each frame on as many lines of 16 cells as it takes;
// other lines are skipped. A malformed trace is refused with its line
// number and the reason in error.
bool parse_trace(std::string_view text, std::vector<Exchange>& exchanges, std::string& error);

// parse_trace on the regular file at path; errors start with the path. A
// trace without a frame is refused.
bool load_trace_file(const std::string& path, std::vector<Exchange>& exchanges, std::string& error);

// Answers each frame with a reply recorded for the same TX: the replies to
// a TX recorded several times in their order, the last one again once
// they run out. A TX never recorded is named in a warning and leaves the
// bus at 0xFF, or with fail_unrecorded fails its transfer.
class TraceReplay {
 public:
  TraceReplay(const std::vector<Exchange>& exchanges, FILE* warnings, bool fail_unrecorded = false);
  // False for a TX never recorded.
  bool answer(std::span<const uint8_t> tx, std::span<uint8_t> rx);

 private:
  struct Replies {
    std::vector<std::vector<uint8_t>> rx;
    size_t next = 0;
  };
  std::map<std::string, Replies> replies_;  // by the TX bytes
  FILE* warnings_;
  bool fail_unrecorded_;
};

}  // namespace sim
