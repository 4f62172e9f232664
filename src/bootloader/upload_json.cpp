// SPDX-License-Identifier: MIT
#include "bootloader/upload_json.h"

#include <cstdint>

#include "ops/json_output.h"

namespace {

void write_head(JsonWriter& json, const char* port_path, const char* file_path) {
  json.begin_object();
  json.field("format_version", kJsonFormatVersion);
  json.field("port", port_path);
  json.field("file", file_path[0] != '\0' ? file_path : nullptr);
}

// Why an upload stopped before the end of the file, and whether errno tells more.
struct StopReason {
  int result;
  const char* reason;
  bool has_errno;
};

constexpr StopReason kStopReasons[] = {
    {kFileReadFailed, "file_read_failed", true},
    {kPortWriteFailed, "port_write_failed", true},
    {kNoAnswer, "no_answer", false},
};

}  // namespace

JsonUploadReport::JsonUploadReport(FILE* out, const char* port_path, const char* file_path)
    : json_(out), port_path_(port_path), file_path_(file_path) {}

void JsonUploadReport::started() {
  write_head(json_, port_path_, file_path_);
  json_.begin_array("read_backs");
}

void JsonUploadReport::read_back(const PortRead& port_read) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(port_read.bytes);
  json_.element_hex(port_read.count < 0 ? nullptr : bytes,
                    port_read.count > 0 ? static_cast<size_t>(port_read.count) : 0);
}

void JsonUploadReport::ended(const UploadEnd& end) {
  json_.end_array();
  json_.field_integer("bytes_sent", end.bytes_sent);
  json_.field_integer("result", end.result);
  const StopReason* stop = nullptr;
  for (const StopReason& row : kStopReasons) {
    if (row.result == end.result) stop = &row;
  }
  json_.field("reason", stop != nullptr ? stop->reason : nullptr);
  if (stop != nullptr && stop->has_errno) write_errno(json_, end.error);
  json_.end_object();
  json_.end_line();
}

void print_port_failure_json(FILE* out, const char* port_path, const char* file_path, int error) {
  JsonWriter json(out);
  write_head(json, port_path, file_path);
  json.field("error", "can't open port");
  write_errno(json, error);
  json.end_object();
  json.end_line();
}
