#include "supctl_runner.h"

#include <cstring>

harness::ChildResult run_supctl(const std::vector<std::string>& args,
                                const harness::RunOptions& options) {
  std::vector<std::string> argv = {kSupctl};
  argv.insert(argv.end(), args.begin(), args.end());
  return harness::run_captured(argv, options);
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
