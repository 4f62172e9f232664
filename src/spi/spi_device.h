// SPDX-License-Identifier: MIT
// The link to the supervisor: the spidev device, its settings and transfers.
#pragma once

#include <signal.h>

#include <cstdint>
#include <cstdio>

// SPI settings as applied, then as the driver reads them back.
struct SpiSettings {
  uint32_t mode;
  uint8_t bits_per_word;
  uint32_t max_speed_hz;
};

// Mode 0, 8 bits per word, 100 kHz.
inline constexpr SpiSettings kSpiSettings = {0, 8, 100000};

// Descriptor of the open device; 0 while the device is not open. The
// signal handler reads it and closes the device.
extern volatile sig_atomic_t spi_fd;

// spi_open's failure when the device itself can't be opened; the other
// failures name a settings request.
inline constexpr char kOpenFailure[] = "can't open device";

// Opens path (O_RDWR | O_CLOEXEC), applies kSpiSettings and reads each back
// into settings, in six requests: mode, bits per word, clock rate, each set
// then read. Returns the descriptor, or -1 with errno set and failure naming
// the failing step (kOpenFailure, "can't set spi mode", ...); a
// descriptor opened before a failing step is closed again, errno kept.
// Never aborts, never prints.
int spi_open(const char* path, SpiSettings& settings, const char*& failure);

// Writes "message: <error text>" on stderr and aborts. Device failures end
// the run this way, with no clean-up.
[[noreturn]] void die_with_errno(const char* message);

// spi_open for the tool: stores the descriptor in spi_fd and returns the
// settings read back; with report set, writes the device before opening it
// and the settings after, on out. Every failure ends the run through
// die_with_errno.
SpiSettings open_spi_device(const char* device_path, bool report, FILE* out);

// One full-duplex transfer of length bytes: tx is clocked out while rx is
// filled. Returns the driver's result: bytes moved, or -1 with errno set.
int spi_transfer(int fd, const uint8_t* tx, uint8_t* rx, int length);
