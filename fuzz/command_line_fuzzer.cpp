// SPDX-License-Identifier: MIT
// The command line: words made from the input (split at zero bytes) go
// through the option parser into ToolOptions. Every text field must stay
// terminated within its size minus one, whatever the words are.
#include <getopt.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cli/options.h"
#include "fuzz_check.h"

namespace {

template <size_t N>
void check_field(const char (&field)[N]) {
  FUZZ_CHECK(memchr(field, '\0', N - 1) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  opterr = 0;  // the parser's diagnostics are not what is being tested
  std::vector<std::string> words = {"supctl"};
  std::string word;
  for (size_t i = 0; i < size && words.size() < 64; ++i) {
    if (data[i] == '\0') {
      words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(data[i]);
    }
  }
  words.push_back(word);
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  ToolOptions options = tool_options;
  parse_options(static_cast<int>(words.size()), argv.data(), options);
  check_field(options.device_path);
  check_field(options.operation_name);
  check_field(options.operation_arg);
  check_field(options.bl_file_path);
  check_field(options.bl_port_path);
  FUZZ_CHECK(options.verbose == 0 || options.verbose == 1);
  FUZZ_CHECK(options.debug == 0 || options.debug == 1);
  return 0;
}
