// SPDX-License-Identifier: MIT
#include "spi/spi_device.h"

#include <fcntl.h>
#include <linux/spi/spidev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

volatile sig_atomic_t spi_fd = 0;

namespace {

struct SettingsRequest {
  unsigned long request;
  void* (*field)(SpiSettings& settings);
  const char* failure_message;
};

void* mode_field(SpiSettings& settings) { return &settings.mode; }
void* bits_field(SpiSettings& settings) { return &settings.bits_per_word; }
void* speed_field(SpiSettings& settings) { return &settings.max_speed_hz; }

// Each setting is written, then read back, in this order.
constexpr SettingsRequest kSettingsRequests[] = {
    {SPI_IOC_WR_MODE32, mode_field, "can't set spi mode"},
    {SPI_IOC_RD_MODE32, mode_field, "can't get spi mode"},
    {SPI_IOC_WR_BITS_PER_WORD, bits_field, "can't set bits per word"},
    {SPI_IOC_RD_BITS_PER_WORD, bits_field, "can't get bits per word"},
    {SPI_IOC_WR_MAX_SPEED_HZ, speed_field, "can't set max speed hz"},
    {SPI_IOC_RD_MAX_SPEED_HZ, speed_field, "can't get max speed hz"},
};

}  // namespace

int spi_open(const char* path, SpiSettings& settings, const char*& failure) {
  settings = kSpiSettings;
  const int fd = open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    failure = kOpenFailure;
    return -1;
  }
  for (const SettingsRequest& step : kSettingsRequests) {
    if (ioctl(fd, step.request, step.field(settings)) == -1) {
      const int error = errno;
      close(fd);
      errno = error;
      failure = step.failure_message;
      return -1;
    }
  }
  return fd;
}

void die_with_errno(const char* message) {
  perror(message);
  abort();
}

SpiSettings open_spi_device(const char* device_path, bool report, FILE* out) {
  if (report) fprintf(out, "Device in use: %s\n", device_path);
  SpiSettings settings;
  const char* failure = nullptr;
  const int fd = spi_open(device_path, settings, failure);
  if (fd < 0) die_with_errno(failure);
  spi_fd = fd;
  if (report) {
    fprintf(out, "spi mode: 0x%x\n", static_cast<unsigned>(settings.mode));
    fprintf(out, "bits per word: %d\n", settings.bits_per_word);
    fprintf(out, "max speed: %u Hz (%u KHz)\n", static_cast<unsigned>(settings.max_speed_hz),
            static_cast<unsigned>(settings.max_speed_hz / 1000));
  }
  return settings;
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
