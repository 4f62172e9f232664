// SPDX-License-Identifier: MIT
// The JSON form of a bootloader run: one object on one line.
#pragma once

#include <cstdio>

#include "bootloader/image_upload.h"
#include "ops/json_writer.h"

// Writes the upload's object as it goes: format version, port, file, each
// read-back's bytes in hex ("" when the port reported end of file, null when
// the read failed), then the bytes sent, the result and the reason it
// stopped early (null when the whole file went out), with the errno of a
// failed read or write.
class JsonUploadReport final : public UploadReport {
 public:
  JsonUploadReport(FILE* out, const char* port_path, const char* file_path);
  void started() override;
  void read_back(const PortRead& port_read) override;
  void dot() override {}
  void ended(const UploadEnd& end) override;

 private:
  JsonWriter json_;
  const char* port_path_;
  const char* file_path_;
};

// Writes the object of a run whose port could not be opened: format version,
// port, file (null when none was named), then error and the errno.
void print_port_failure_json(FILE* out, const char* port_path, const char* file_path, int error);
