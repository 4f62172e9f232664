// SPDX-License-Identifier: MIT
// What the device tests share: a fixture that holds a fresh emulated
// /dev/spidev0.1, and running the real supctl next to it.
#pragma once

#include <gtest/gtest.h>
#include <linux/spi/spidev.h>

#include <string>
#include <vector>

#include "common/run_supctl.h"
#include "sim/emulated_spidev.h"

class DeviceTest : public testing::Test {
 protected:
  sim::EmulatedSpidev device;
};

template <typename Param>
class DeviceTestWithParam : public DeviceTest, public testing::WithParamInterface<Param> {};

// Runs supctl with args next to the emulated device of the calling test,
// with GLib's main context pumped while it runs.
harness::ChildResult run_on_device(const std::vector<std::string>& args,
                                   const harness::RunOptions& options = {});

// The line that die_with_errno writes for message and error.
std::string errno_line(const char* message, int error);

// What -v -D prints once the emulated device is opened with its defaults.
inline const std::string kDeviceReport =
    "Device in use: /dev/spidev0.1\n"
    "spi mode: 0x0\n"
    "bits per word: 8\n"
    "max speed: 100000 Hz (100 KHz)\n";

// The six settings requests of opening the device, in order.
inline const std::vector<unsigned long> kSettingsRequests = {
    SPI_IOC_WR_MODE32,        SPI_IOC_RD_MODE32,       SPI_IOC_WR_BITS_PER_WORD,
    SPI_IOC_RD_BITS_PER_WORD, SPI_IOC_WR_MAX_SPEED_HZ, SPI_IOC_RD_MAX_SPEED_HZ,
};

// The settings requests followed by one transfer.
std::vector<unsigned long> settings_then_transfer();

// A frame of length bytes: first, then 0xFF.
std::vector<uint8_t> frame_of(std::vector<uint8_t> first, size_t length);
