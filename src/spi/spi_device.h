// SPDX-License-Identifier: MIT
// The link to the supervisor: the spidev device, its settings and transfers.
#pragma once

#include <cstdint>
#include <cstdio>

// Descriptor of the open device; 0 while the device is not open.
extern int spi_fd;

// Writes "message: <error text>" on stderr and aborts. Device failures end
// the run this way, with no clean-up.
[[noreturn]] void die_with_errno(const char* message);

// Opens device_path, applies and reads back the settings (mode 0, 8 bits
// per word, 100 kHz), and with report set writes the device and the settings
// as the driver reads them back on out. Returns only when spi_fd is open and
// configured.
void open_spi_device(const char* device_path, bool report, FILE* out);

// One full-duplex transfer of length bytes: tx is clocked out while rx is
// filled. Returns the driver's result: bytes moved, or -1 with errno set.
int spi_transfer(int fd, const uint8_t* tx, uint8_t* rx, int length);
