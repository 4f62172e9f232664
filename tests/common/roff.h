// SPDX-License-Identifier: MIT
// How an option is written in a man page's source.
#pragma once

#include <string>

// "--state" as "\-\-state".
inline std::string roff(const std::string& option) {
  std::string escaped;
  for (char c : option) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
  return escaped;
}
