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

#include <algorithm>
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

// The model of one option: text cut to the field's size minus two.
template <size_t N>
void keep(char (&field)[N], const std::string& argument) {
  argument.copy(field, N - 2);
  field[std::min(argument.size(), N - 2)] = '\0';
}

ParseOutcome expect_option(ToolOptions& expected, char letter, const std::string& argument) {
  switch (letter) {
    case 'd': keep(expected.device_path, argument); break;
    case 'o': keep(expected.operation_name, argument); break;
    case 'a': keep(expected.operation_arg, argument); break;
    case 'b': keep(expected.bl_file_path, argument); break;
    case 'p': keep(expected.bl_port_path, argument); break;
    case 'v': expected.verbose = 1; break;
    case 'D': expected.debug = 1; break;
    case 'j': expected.json = 1; break;
    case 't':
      expected.timeout_seconds = std::stoi(argument);
      if (expected.timeout_seconds < 1 || expected.timeout_seconds > 3600)
        return ParseOutcome::show_usage;
      break;
    case 'h': return ParseOutcome::show_usage;
    default: return ParseOutcome::show_version;
  }
  return ParseOutcome::run;
}

void check_options(const uint8_t* data, size_t size) {
  std::vector<std::string> words = {"supctl"};
  ToolOptions expected = tool_options;
  ParseOutcome outcome = ParseOutcome::run;
  for (size_t i = 0; i < size && outcome == ParseOutcome::run;) {
    const Spelling& option = kSpellings[data[i] % std::size(kSpellings)];
    const unsigned form = data[i++] / std::size(kSpellings) % 4;
    std::string argument;
    if (option.letter == 't') {
      argument = std::to_string(i + 1 < size ? (data[i] << 8 | data[i + 1]) % 4000 : 0);
      i += 2;
    } else if (option.argument) {
      for (size_t length = i < size ? data[i++] % 40 : 0; argument.size() < length && i < size; ++i)
        argument += data[i] == 0 ? 'x' : static_cast<char>(data[i]);
    }
    const std::string short_name = std::string("-") + option.letter;
    const std::string long_name = std::string("--") + option.name;
    if (!option.argument)
      words.push_back(form % 2 ? long_name : short_name);
    else if (form == 0 || (form == 1 && argument.empty()))
      words.insert(words.end(), {short_name, argument});
    else if (form == 1)
      words.push_back(short_name + argument);
    else if (form == 2)
      words.insert(words.end(), {long_name, argument});
    else
      words.push_back((long_name + '=').append(argument));
    outcome = expect_option(expected, option.letter, argument);
  }
  ToolOptions options = tool_options;
  FUZZ_CHECK(parse(words, options) == outcome);
  if (outcome != ParseOutcome::run) return;
  FUZZ_CHECK(strcmp(options.device_path, expected.device_path) == 0);
  FUZZ_CHECK(strcmp(options.operation_name, expected.operation_name) == 0);
  FUZZ_CHECK(strcmp(options.operation_arg, expected.operation_arg) == 0);
  FUZZ_CHECK(strcmp(options.bl_file_path, expected.bl_file_path) == 0);
  FUZZ_CHECK(strcmp(options.bl_port_path, expected.bl_port_path) == 0);
  FUZZ_CHECK(options.verbose == expected.verbose && options.debug == expected.debug);
  FUZZ_CHECK(options.json == expected.json && options.timeout_seconds == expected.timeout_seconds);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  opterr = 0;  // the parser's diagnostics are not what is being tested
  check_any_words(data, size);
  check_options(data, size);
  return 0;
}
