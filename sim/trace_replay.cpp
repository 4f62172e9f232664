// SPDX-License-Identifier: MIT
#include "trace_replay.h"

#include <fcntl.h>
#include <glib.h>

#include <algorithm>

#include "regular_file.h"

namespace sim {

namespace {

// A trace line: "TX | ", 16 cells of "HH " or "__ " (padding after the
// last byte), " | ", then the bytes as characters, which are not read.
constexpr size_t kCells = 16;
constexpr size_t kCellsStart = 5;
constexpr size_t kCellsEnd = kCellsStart + 3 * kCells;
constexpr std::string_view kSeparator = " | ";

// 'T' or 'R' for a trace line, 0 for a line to skip.
char trace_label(std::string_view line) {
  if (line.starts_with("TX | ")) return 'T';
  if (line.starts_with("RX | ")) return 'R';
  return 0;
}

bool read_cells(std::string_view line, std::vector<uint8_t>& bytes, std::string& why) {
  if (line.size() < kCellsEnd + kSeparator.size() ||
      line.substr(kCellsEnd, kSeparator.size()) != kSeparator) {
    why = "expected 16 cells, then \" | \"";
    return false;
  }
  for (size_t cell = 0; cell < kCells; ++cell) {
    const std::string_view text = line.substr(kCellsStart + 3 * cell, 3);
    if (text == "__ ") continue;
    const int high = g_ascii_xdigit_value(text[0]), low = g_ascii_xdigit_value(text[1]);
    if (high < 0 || low < 0 || text[2] != ' ') {
      why = "cell " + std::to_string(cell + 1) + " is neither two hex digits nor __";
      return false;
    }
    if (bytes.size() < cell) {
      why = "a byte after the __ padding";
      return false;
    }
    bytes.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  if (!bytes.empty()) return true;
  why = "a line without a byte";
  return false;
}

struct Frame {
  char label;
  std::vector<uint8_t> bytes;
  int line;  // where it starts
};

bool refuse(std::string& error, int line, const std::string& why) {
  error = "line " + std::to_string(line) + ": " + why;
  return false;
}

// A frame continues on the next line while its lines are full and the
// label stays the same.
bool read_frames(std::string_view text, std::vector<Frame>& frames, std::string& error) {
  bool continues = false;
  for (int number = 1; !text.empty(); ++number) {
    const size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const char label = trace_label(line);
    if (label == 0) {
      continues = false;
      continue;
    }
    std::vector<uint8_t> bytes;
    std::string why;
    if (!read_cells(line, bytes, why)) return refuse(error, number, why);
    if (!continues || frames.back().label != label) frames.push_back({label, {}, number});
    frames.back().bytes.insert(frames.back().bytes.end(), bytes.begin(), bytes.end());
    continues = bytes.size() == kCells;
  }
  return true;
}

std::string tx_key(std::span<const uint8_t> tx) { return std::string(tx.begin(), tx.end()); }

std::string cells(std::span<const uint8_t> bytes) {
  std::string text;
  for (uint8_t byte : bytes) {
    char cell[4];
    snprintf(cell, sizeof cell, "%02X ", static_cast<unsigned>(byte));
    text += cell;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

}  // namespace

bool parse_trace(std::string_view text, std::vector<Exchange>& exchanges, std::string& error) {
  std::vector<Frame> frames;
  if (!read_frames(text, frames, error)) return false;
  for (size_t i = 0; i < frames.size(); i += 2) {
    const Frame& tx = frames[i];
    if (tx.label != 'T') return refuse(error, tx.line, "RX without a TX before it");
    if (i + 1 == frames.size() || frames[i + 1].label != 'R')
      return refuse(error, tx.line, "TX without an RX after it");
    const Frame& rx = frames[i + 1];
    if (rx.bytes.size() != tx.bytes.size())
      return refuse(error, rx.line,
                    "RX of " + std::to_string(rx.bytes.size()) + " bytes after a TX of " +
                        std::to_string(tx.bytes.size()));
    exchanges.push_back({tx.bytes, rx.bytes});
  }
  return true;
}

bool load_trace_file(const std::string& path, std::vector<Exchange>& exchanges,
                     std::string& error) {
  std::string text;
  struct stat info;
  if (!read_regular_file(path, O_RDONLY, text, info, error)) return false;
  if (!parse_trace(text, exchanges, error)) {
    error.insert(0, path + ": ");
    return false;
  }
  if (!exchanges.empty()) return true;
  error = path + ": no frames";
  return false;
}

TraceReplay::TraceReplay(const std::vector<Exchange>& exchanges, FILE* warnings,
                         bool fail_unrecorded)
    : warnings_(warnings), fail_unrecorded_(fail_unrecorded) {
  for (const Exchange& exchange : exchanges)
    replies_[tx_key(exchange.tx)].rx.push_back(exchange.rx);
}

bool TraceReplay::answer(std::span<const uint8_t> tx, std::span<uint8_t> rx) {
  const auto found = replies_.find(tx_key(tx));
  if (found == replies_.end()) {
    fprintf(warnings_, "supctl-sim: no reply recorded for TX %s; %s\n", cells(tx).c_str(),
            fail_unrecorded_ ? "the transfer fails" : "the bus stays at 0xFF");
    return false;
  }
  Replies& replies = found->second;
  const std::vector<uint8_t>& reply = replies.rx[replies.next];
  if (replies.next + 1 < replies.rx.size()) ++replies.next;
  std::copy_n(reply.begin(), std::min(reply.size(), rx.size()), rx.begin());
  return true;
}

}  // namespace sim
