// SPDX-License-Identifier: MIT
// Files the monitor leaves for others: the NUT definition (-n) and the
// power-off flag for the shutdown hook.
#pragma once

#include <cstddef>
#include <cstdint>

// Replaces the file at path with content: written to path.new in the same
// folder, then renamed over it, so a reader sees the old or the new file
// whole. Returns false with errno set.
bool replace_file(const char* path, const char* content, size_t length);

// The flag's text: "device PATH" and "value xHEX", a line each.
size_t format_poweroff_flag(char* out, size_t size, const char* device, uint32_t value);

// Writes the flag, creating its folder when it is missing.
bool write_poweroff_flag(const char* path, const char* device, uint32_t value);

// Removes a flag left by an earlier run; false (errno set) when one is
// there and can't be removed.
bool remove_stale_flag(const char* path);
