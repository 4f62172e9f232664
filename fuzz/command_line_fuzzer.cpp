// SPDX-License-Identifier: MIT
// The command line, read two ways from the input:
// - as words (split at zero bytes) that go through the option parser into
//   ToolOptions: every text field must stay terminated within its size
//   minus one, whatever the words are;
// - as a list of options, each byte picking an option and how it is
//   written (short or long, argument attached or as its own word), followed
//   by its argument: the parser must give what the options say, the last of
//   a repeated option winning, text cut to the field's size minus two, and
//   must stop at -h, -V or a bad -t.
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
  size_t kept;  // characters kept of the argument; 0: the option takes none
};

constexpr Spelling kSpellings[] = {
    {'d', "dev", 62},      {'o', "oper", 30},   {'a', "arg", 30},    {'b', "blfile", 4094},
    {'p', "blport", 4094}, {'t', "timeout", 4}, {'v', "verbose", 0}, {'D', "debug", 0},
    {'j', "json", 0},      {'h', "help", 0},    {'V', "version", 0},
};

// What the options of the input must give.
struct Expected {
  ParseOutcome outcome = ParseOutcome::run;
  std::string device = "/dev/spidev0.1", operation, argument, file, port;
  int verbose = 0, debug = 0, json = 0, timeout = 0;
};

void expect_option(Expected& expected, char letter, const std::string& argument) {
  switch (letter) {
    case 'd': expected.device = argument.substr(0, 62); break;
    case 'o': expected.operation = argument.substr(0, 30); break;
    case 'a': expected.argument = argument.substr(0, 30); break;
    case 'b': expected.file = argument.substr(0, 4094); break;
    case 'p': expected.port = argument.substr(0, 4094); break;
    case 'v': expected.verbose = 1; break;
    case 'D': expected.debug = 1; break;
    case 'j': expected.json = 1; break;
    case 't': {
      const int seconds = std::stoi(argument);
      if (seconds < 1 || seconds > 3600) expected.outcome = ParseOutcome::show_usage;
      expected.timeout = seconds;
      break;
    }
    case 'h': expected.outcome = ParseOutcome::show_usage; break;
    default: expected.outcome = ParseOutcome::show_version; break;
  }
}

void check_options(const uint8_t* data, size_t size) {
  std::vector<std::string> words = {"supctl"};
  Expected expected;
  for (size_t i = 0; i < size && expected.outcome == ParseOutcome::run;) {
    const Spelling& option = kSpellings[data[i] % std::size(kSpellings)];
    const unsigned form = data[i++] / std::size(kSpellings) % 4;
    std::string argument;
    if (option.letter == 't') {
      argument = std::to_string(i + 1 < size ? (data[i] << 8 | data[i + 1]) % 4000 : 0);
      i += 2;
    } else if (option.kept > 0) {
      const size_t length = i < size ? data[i++] % 40 : 0;
      for (; argument.size() < length && i < size; ++i)
        argument += data[i] == 0 ? 'x' : static_cast<char>(data[i]);
    }
    const std::string short_name = std::string("-") + option.letter;
    const std::string long_name = std::string("--") + option.name;
    if (option.kept == 0)
      words.push_back(form % 2 ? long_name : short_name);
    else if (form == 0 || (form == 1 && argument.empty()))
      words.insert(words.end(), {short_name, argument});
    else if (form == 1)
      words.push_back(short_name + argument);
    else if (form == 2)
      words.insert(words.end(), {long_name, argument});
    else
      words.push_back(long_name + "=" + argument);
    expect_option(expected, option.letter, argument);
  }
  ToolOptions options = tool_options;
  FUZZ_CHECK(parse(words, options) == expected.outcome);
  if (expected.outcome != ParseOutcome::run) return;
  FUZZ_CHECK(options.device_path == expected.device);
  FUZZ_CHECK(options.operation_name == expected.operation);
  FUZZ_CHECK(options.operation_arg == expected.argument);
  FUZZ_CHECK(options.bl_file_path == expected.file);
  FUZZ_CHECK(options.bl_port_path == expected.port);
  FUZZ_CHECK(options.verbose == expected.verbose && options.debug == expected.debug);
  FUZZ_CHECK(options.json == expected.json && options.timeout_seconds == expected.timeout);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  opterr = 0;  // the parser's diagnostics are not what is being tested
  check_any_words(data, size);
  check_options(data, size);
  return 0;
}
