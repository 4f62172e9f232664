// SPDX-License-Identifier: MIT
// The text form of the supervisor's replies: each decoded value printed as
// its value line, which always ends with an empty line.
#pragma once

#include <cstdio>

#include "ops/reply_values.h"

// Prints value; with verbose, events by name instead of by code.
void print_value(FILE* out, const ReplyValue& value, bool verbose);
