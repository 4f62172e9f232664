#include "supctl_runner.h"

#include <cstring>

#include "harness/fake_spidev.h"

harness::ChildResult run_on_device(const std::vector<std::string>& args,
                                   const harness::RunOptions& options) {
  harness::RunOptions next_to_device = options;
  next_to_device.while_waiting = harness::pump_main_context;
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
