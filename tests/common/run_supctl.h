// SPDX-License-Identifier: MIT
// Runs the supctl binary under test (its path comes from the build).
#pragma once

#include <string>
#include <vector>

#include "harness/child_process.h"

inline const std::string kSupctl = SUPCTL_BINARY;

// Runs supctl with args, stdout and stderr captured.
inline harness::ChildResult run_supctl(const std::vector<std::string>& args,
                                       const harness::RunOptions& options = {}) {
  std::vector<std::string> argv = {kSupctl};
  argv.insert(argv.end(), args.begin(), args.end());
  return harness::run_captured(argv, options);
}
