// Printers for the supervisor's replies. Each takes the received bytes of one
// exchange (RX[0] up to the transfer length) and prints the value line,
// which always ends with an empty line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

using Reply = std::span<const uint8_t>;

void print_power_status(FILE* out, Reply reply, bool verbose);
