// SPDX-License-Identifier: MIT
// Printers for the supervisor's replies. Each takes the received bytes of one
// exchange (RX[0] up to the transfer length) and prints the value line,
// which always ends with an empty line. RX[0] is never read; values start at
// RX[2], except the power-status flags in RX[1].
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

using Reply = std::span<const uint8_t>;

void print_power_status(FILE* out, Reply reply, bool verbose);
void print_device_id(FILE* out, Reply reply, bool verbose);
void print_device_info(FILE* out, Reply reply, bool verbose);
void print_hex_byte(FILE* out, Reply reply, bool verbose);
void print_decimal_byte(FILE* out, Reply reply, bool verbose);
void print_number_list(FILE* out, Reply reply, bool verbose);
void print_events(FILE* out, Reply reply, bool verbose);
void print_rgb(FILE* out, Reply reply, bool verbose);
void print_temperature(FILE* out, Reply reply, bool verbose);

// Name of an event code, or nullptr for a code that has none.
const char* event_name(uint8_t code);
