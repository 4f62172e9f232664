// SPDX-License-Identifier: MIT
// The command line, read two ways from the input:
// - as words (split at zero bytes): every text field of ToolOptions must
//   stay terminated within its size minus one, whatever the words are;
// - as options, each byte picking one and how it is written (short or long,
//   its argument attached or apart), then its argument: the parser must
//   give what it gives for the same options written short and apart.
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

ParseOutcome parse(std::vector<std::string>& words, ToolOptions& options) {
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  return parse_options(static_cast<int>(words.size()), argv.data(), options);
}

void check_any_words(const uint8_t* data, size_t size) {
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
  ToolOptions options = tool_options;
  parse(words, options);
  check_field(options.device_path);
  check_field(options.operation_name);
  check_field(options.operation_arg);
  check_field(options.bl_file_path);
  check_field(options.bl_port_path);
  FUZZ_CHECK(options.verbose == 0 || options.verbose == 1);
  FUZZ_CHECK(options.debug == 0 || options.debug == 1);
  FUZZ_CHECK(options.json == 0 || options.json == 1);
  FUZZ_CHECK(options.timeout_seconds >= 0 && options.timeout_seconds <= 3600);
}

struct Spelling {
  char letter;
  const char* name;
  bool argument;
};

constexpr Spelling kSpellings[] = {
    {'d', "dev", true},    {'o', "oper", true},    {'a', "arg", true},      {'b', "blfile", true},
    {'p', "blport", true}, {'t', "timeout", true}, {'v', "verbose", false}, {'D', "debug", false},
    {'j', "json", false},  {'h', "help", false},   {'V', "version", false},
};

void check_spellings(const uint8_t* data, size_t size) {
  std::vector<std::string> plain = {"supctl"}, spelled = {"supctl"};
  for (size_t i = 0; i < size;) {
    const Spelling& option = kSpellings[data[i] % std::size(kSpellings)];
    const unsigned form = data[i++] / std::size(kSpellings) % 4;
    std::string argument;
    if (option.letter == 't' && i < size) {
      argument = std::to_string(data[i++] * 16);  // timeouts in range and out of it
    } else if (option.argument) {
      for (size_t length = i < size ? data[i++] % 40 : 0; argument.size() < length && i < size; ++i)
        argument += data[i] == 0 ? 'x' : static_cast<char>(data[i]);
    }
    const std::string short_name = std::string("-") + option.letter;
    const std::string long_name = std::string("--") + option.name;
    plain.push_back(short_name);
    if (option.argument) plain.push_back(argument);
    if (!option.argument)
      spelled.push_back(form % 2 ? long_name : short_name);
    else if (form == 1 && !argument.empty())
      spelled.push_back(short_name + argument);
    else if (form == 3)
      spelled.push_back((long_name + '=').append(argument));
    else
      spelled.insert(spelled.end(), {form == 2 ? long_name : short_name, argument});
  }
  ToolOptions expected = tool_options, options = tool_options;
  FUZZ_CHECK(parse(plain, expected) == parse(spelled, options));
  FUZZ_CHECK(memcmp(&options, &expected, sizeof options) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  opterr = 0;  // the parser's diagnostics are not what is being tested
  check_any_words(data, size);
  check_spellings(data, size);
  return 0;
}
