// SPDX-License-Identifier: MIT
// The JSON form of one operation run: one object on one line.
#pragma once

#include <cstdio>

#include "ops/json_writer.h"
#include "ops/run_operation.h"
#include "spi/spi_device.h"

// The format_version of every object the tool prints; bumped whenever a key
// changes meaning or type.
inline constexpr unsigned kJsonFormatVersion = 1;

// Writes a query's decoded value under the keys of its operation.
void write_value_json(JsonWriter& json, const Operation& query, const ReplyValue& value);

// Writes error_code "system_error" (an error code is a word in every
// object, so a reader needs one type for it), errno, the number, and
// errno_name, its symbolic name ("EACCES"; null for 0 and for a number
// that has none).
void write_errno(JsonWriter& json, int error);

// Writes the object of a run on device_path with the settings read back:
// format version, operation, device, settings, the frames (null when nothing
// was exchanged), then the value, the setting's value or the error; a reply
// that is no answer adds "answered":false at the end.
void print_run_json(FILE* out, const OperationRun& run, const char* device_path,
                    const SpiSettings& settings);

// A step on the device that failed: its message ("can't open device") and
// the errno it left.
struct DeviceFailure {
  const char* message;
  int error;
};

// Writes the object of a run that the failure ended: the members every run
// has, the settings null when the device was not set up (settings nullptr)
// and the frames null, then error, the message, and the errno.
void print_device_failure_json(FILE* out, const char* operation, const char* device_path,
                               const SpiSettings* settings, const DeviceFailure& failure);
