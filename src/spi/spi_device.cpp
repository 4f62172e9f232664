// SPDX-License-Identifier: MIT
#include "spi/spi_device.h"

#include <fcntl.h>
#include <linux/spi/spidev.h>
#include <sys/ioctl.h>

#include <cstdlib>

int spi_fd = 0;

namespace {

// Settings applied to the device; each is replaced by what the driver reads
// back, so the report shows what the bus really runs at.
struct SpiSettings {
  uint32_t mode;
  uint8_t bits_per_word;
  uint32_t max_speed_hz;
};

SpiSettings spi_settings = {0, 8, 100000};

struct SettingsRequest {
  unsigned long request;
  void* value;
  const char* failure_message;
};

// Each setting is written, then read back, in this order.
const SettingsRequest kSettingsRequests[] = {
    {SPI_IOC_WR_MODE32, &spi_settings.mode, "can't set spi mode"},
    {SPI_IOC_RD_MODE32, &spi_settings.mode, "can't get spi mode"},
    {SPI_IOC_WR_BITS_PER_WORD, &spi_settings.bits_per_word, "can't set bits per word"},
    {SPI_IOC_RD_BITS_PER_WORD, &spi_settings.bits_per_word, "can't get bits per word"},
    {SPI_IOC_WR_MAX_SPEED_HZ, &spi_settings.max_speed_hz, "can't set max speed hz"},
    {SPI_IOC_RD_MAX_SPEED_HZ, &spi_settings.max_speed_hz, "can't get max speed hz"},
};

}  // namespace

void die_with_errno(const char* message) {
  perror(message);
  abort();
}

void open_spi_device(const char* device_path, bool report, FILE* out) {
  if (report) fprintf(out, "Device in use: %s\n", device_path);

  spi_fd = open(device_path, O_RDWR);
  if (spi_fd < 0) die_with_errno("can't open device");

  for (const SettingsRequest& step : kSettingsRequests) {
    if (ioctl(spi_fd, step.request, step.value) == -1) die_with_errno(step.failure_message);
  }

  if (report) {
    fprintf(out, "spi mode: 0x%x\n", static_cast<unsigned>(spi_settings.mode));
    fprintf(out, "bits per word: %d\n", spi_settings.bits_per_word);
    fprintf(out, "max speed: %u Hz (%u KHz)\n", static_cast<unsigned>(spi_settings.max_speed_hz),
            static_cast<unsigned>(spi_settings.max_speed_hz / 1000));
  }
}

// rx is written by the kernel, through the address in the transfer record.
int spi_transfer(int fd, const uint8_t* tx, uint8_t* rx,  // NOLINT(readability-non-const-parameter)
                 int length) {
  spi_ioc_transfer transfer = {};
  // The kernel takes buffer addresses as 64-bit numbers on every board.
  transfer.tx_buf = reinterpret_cast<uintptr_t>(tx);
  transfer.rx_buf = reinterpret_cast<uintptr_t>(rx);
  transfer.len = static_cast<uint32_t>(length);
  return ioctl(fd, SPI_IOC_MESSAGE(1), &transfer);
}
