// Running a command next to the emulated device.
#pragma once

#include <string>
#include <vector>

namespace sim {

// Runs argv[0] (looked up in PATH) with the caller's standard streams while
// this process answers the emulated device, and returns its wait status.
// Terminal interrupts reach the command with their usual meaning.
int run_next_to_device(const std::vector<std::string>& argv);

}  // namespace sim
