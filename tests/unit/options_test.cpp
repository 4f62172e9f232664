// SPDX-License-Identifier: MIT
#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/captured_output.h"
#include "common/usage_text.h"

namespace {

struct Parsed {
  ParseOutcome outcome;
  ToolOptions options;
};

Parsed parse(std::vector<std::string> words) {
  words.insert(words.begin(), "supctl");
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  Parsed parsed{ParseOutcome::run, tool_options};  // starts from the defaults
  parsed.outcome = parse_options(static_cast<int>(words.size()), argv.data(), parsed.options);
  return parsed;
}

struct ParseCase {
  std::vector<std::string> words;
  ParseOutcome outcome;
  std::string device_path, operation_name, operation_arg, bl_file_path, bl_port_path;
  int verbose, debug;
};

class ParseOptions : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseOptions, FillsToolOptions) {
  const ParseCase& expected = GetParam();
  const Parsed parsed = parse(expected.words);
  EXPECT_EQ(parsed.outcome, expected.outcome);
  EXPECT_EQ(parsed.options.device_path, expected.device_path);
  EXPECT_EQ(parsed.options.operation_name, expected.operation_name);
  EXPECT_EQ(parsed.options.operation_arg, expected.operation_arg);
  EXPECT_EQ(parsed.options.bl_file_path, expected.bl_file_path);
  EXPECT_EQ(parsed.options.bl_port_path, expected.bl_port_path);
  EXPECT_EQ(parsed.options.verbose, expected.verbose);
  EXPECT_EQ(parsed.options.debug, expected.debug);
}

constexpr auto kRun = ParseOutcome::run;
constexpr auto kUsage = ParseOutcome::show_usage;
const std::string kDefaultDevice = "/dev/spidev0.1";

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ParseOptions,
    testing::Values(
        ParseCase{{}, kRun, kDefaultDevice, "", "", "", "", 0, 0},
        ParseCase{{"-d", "/dev/spidev1.0"}, kRun, "/dev/spidev1.0", "", "", "", "", 0, 0},
        ParseCase{{"--dev=/dev/a"}, kRun, "/dev/a", "", "", "", "", 0, 0},
        ParseCase{{"--dev", "/dev/a"}, kRun, "/dev/a", "", "", "", "", 0, 0},
        ParseCase{{"-o", "SET_LowBat", "-a", "20"},
                  kRun,
                  kDefaultDevice,
                  "SET_LowBat",
                  "20",
                  "",
                  "",
                  0,
                  0},
        ParseCase{{"--oper=SET_RGB", "--arg", "#ff8000"},
                  kRun,
                  kDefaultDevice,
                  "SET_RGB",
                  "#ff8000",
                  "",
                  "",
                  0,
                  0},
        ParseCase{{"-b", "image.bin", "-p", "/dev/ttyUSB0"},
                  kRun,
                  kDefaultDevice,
                  "",
                  "",
                  "image.bin",
                  "/dev/ttyUSB0",
                  0,
                  0},
        ParseCase{{"--blfile=i", "--blport=p"}, kRun, kDefaultDevice, "", "", "i", "p", 0, 0},
        ParseCase{{"-v"}, kRun, kDefaultDevice, "", "", "", "", 1, 0},
        ParseCase{{"-D"}, kRun, kDefaultDevice, "", "", "", "", 0, 1},
        ParseCase{{"-vD"}, kRun, kDefaultDevice, "", "", "", "", 1, 1},
        ParseCase{{"--verbose", "--debug", "-v"}, kRun, kDefaultDevice, "", "", "", "", 1, 1},
        // A repeated option overwrites the earlier value.
        ParseCase{{"-d", "/dev/a", "-d", "/dev/b"}, kRun, "/dev/b", "", "", "", "", 0, 0},
        ParseCase{{"-o", "", "-p", ""}, kRun, kDefaultDevice, "", "", "", "", 0, 0},
        // Operands are never looked at.
        ParseCase{{"operand", "-v"}, kRun, kDefaultDevice, "", "", "", "", 1, 0},
        // Options before -h are parsed, options after it are not.
        ParseCase{{"-o", "A", "-v", "-h", "-o", "B", "-D"},
                  kUsage,
                  kDefaultDevice,
                  "A",
                  "",
                  "",
                  "",
                  1,
                  0},
        ParseCase{{"--help"}, kUsage, kDefaultDevice, "", "", "", "", 0, 0},
        ParseCase{{"-x", "-v"}, kUsage, kDefaultDevice, "", "", "", "", 0, 0},
        ParseCase{{"--bogus"}, kUsage, kDefaultDevice, "", "", "", "", 0, 0},
        ParseCase{{"-v", "-d"}, kUsage, kDefaultDevice, "", "", "", "", 1, 0},
        ParseCase{{"--oper"}, kUsage, kDefaultDevice, "", "", "", "", 0, 0}));

// Each text option keeps at most its field size minus two characters.
struct CutCase {
  const char* option;
  size_t kept;
  char* (*field)(ToolOptions&);
};

class ArgumentCut : public testing::TestWithParam<CutCase> {};

TEST_P(ArgumentCut, KeepsFieldSizeMinusTwoCharacters) {
  const CutCase& cut = GetParam();
  for (size_t length : {cut.kept - 1, cut.kept, cut.kept + 1, cut.kept + 2, cut.kept + 40}) {
    const std::string argument(length, 'a');
    Parsed parsed = parse({cut.option, argument});
    ASSERT_EQ(parsed.outcome, kRun);
    EXPECT_EQ(std::string(cut.field(parsed.options)), argument.substr(0, cut.kept))
        << cut.option << " with " << length << " characters";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ArgumentCut,
    testing::Values(CutCase{"-d", 62, [](ToolOptions& o) { return o.device_path; }},
                    CutCase{"-o", 30, [](ToolOptions& o) { return o.operation_name; }},
                    CutCase{"-a", 30, [](ToolOptions& o) { return o.operation_arg; }},
                    CutCase{"-b", 4094, [](ToolOptions& o) { return o.bl_file_path; }},
                    CutCase{"-p", 4094, [](ToolOptions& o) { return o.bl_port_path; }}));

// -j and --json ask for JSON; -t takes whole seconds from 1 to 3600, in
// decimal, and a bad one is no matter once -V came first.
TEST(JsonAndTimeout, FillToolOptions) {
  const struct {
    std::vector<std::string> words;
    int json, seconds;
  } runs[] = {
      {{"-j", "-t", "1"}, 1, 1}, {{"--json", "--timeout=3600"}, 1, 3600}, {{"-t", "010"}, 0, 10}};
  for (const auto& run : runs) {
    const Parsed parsed = parse(run.words);
    ASSERT_EQ(parsed.outcome, kRun) << run.words[0];
    EXPECT_EQ(parsed.options.json, run.json) << run.words[0];
    EXPECT_EQ(parsed.options.timeout_seconds, run.seconds) << run.words[0];
  }
  for (const char* bad : {"0", "3601", "-1", "+5", " 5", "5s", "", "18446744073709551617"}) {
    EXPECT_EQ(parse({"-t", bad}).outcome, kUsage) << bad;
  }
  EXPECT_EQ(parse({"-V", "-t", "x"}).outcome, ParseOutcome::show_version);
}

TEST(PrintUsage, WritesVersionUsageAndHelp) {
  CapturedOutput output;
  print_usage(output.stream(), "/usr/bin/supctl");
  EXPECT_EQ(output.text(), expected_usage("/usr/bin/supctl"));
}

}  // namespace
