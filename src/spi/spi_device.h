// The link to the supervisor: the spidev device, its settings and transfers.
#pragma once

#include <cstdint>

struct ToolOptions;

// Settings applied to the device; each is replaced by what the driver reads
// back, so they show what the bus really runs at.
struct SpiSettings {
  uint32_t mode;
  uint8_t bits_per_word;
  uint32_t max_speed_hz;
};

extern SpiSettings spi_settings;

// Descriptor of the open device; 0 while the device is not open.
extern int spi_fd;

// Writes "message: <error text>" on stderr and aborts. Device failures end
// the run this way, with no clean-up.
[[noreturn]] void die_with_errno(const char* message);

// Opens options.device_path, applies and reads back the settings, and with
// both verbose and debug set reports the device and the settings on stdout.
// Returns only when spi_fd is open and configured.
void open_spi_device(const ToolOptions& options);

// One full-duplex transfer of length bytes: tx is clocked out while rx is
// filled. Returns the driver's result: bytes moved, or -1 with errno set.
int spi_transfer(int fd, const uint8_t* tx, uint8_t* rx, int length);
