// SPDX-License-Identifier: MIT
// Hex and character trace of a frame, as printed under --debug.
#pragma once

#include <cstdint>
#include <cstdio>

// Writes the first length bytes of data in lines of 16 cells, each line
// starting with "label | " and ending with the bytes as characters.
void dump_frame(FILE* out, const uint8_t* data, int length, const char* label);
