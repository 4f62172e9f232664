// SPDX-License-Identifier: MIT
#include "device_test.h"

#include <cstring>

harness::ChildResult run_on_device(const std::vector<std::string>& args,
                                   const harness::RunOptions& options) {
  harness::RunOptions next_to_device = options;
  next_to_device.while_waiting = sim::pump_main_context;
  return run_supctl(args, next_to_device);
}

std::string errno_line(const char* message, int error) {
  return std::string(message) + ": " + strerror(error) + "\n";
}

std::vector<unsigned long> settings_then_transfer() {
  std::vector<unsigned long> requests = kSettingsRequests;
  requests.push_back(SPI_IOC_MESSAGE(1));
  return requests;
}

std::vector<uint8_t> frame_of(std::vector<uint8_t> first, size_t length) {
  first.resize(length, 0xFF);
  return first;
}

// The emulated device needs umockdev's preload library in this process.
int main(int argc, char** argv) {
  sim::start_under_umockdev(argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
