// SPDX-License-Identifier: MIT
// The JSON form of one operation run: one object on one line.
#pragma once

#include <cstdio>

#include "ops/json_writer.h"
#include "ops/run_operation.h"
#include "spi/spi_device.h"

// Writes a query's decoded value under the keys of its operation.
void write_value_json(JsonWriter& json, const Operation& query, const ReplyValue& value);

// Writes the object of a run on device_path with the settings read back:
// format version, operation, device, settings, the frames (null when nothing
// was exchanged), then the value, the setting's value or the error.
void print_run_json(FILE* out, const OperationRun& run, const char* device_path,
                    const SpiSettings& settings);
