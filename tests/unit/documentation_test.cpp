// SPDX-License-Identifier: MIT
// The man page and the shell completion must know every operation of the
// table and every option of the usage text.
#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <sstream>

#include "cli/options.h"
#include "common/captured_output.h"
#include "common/roff.h"
#include "common/temp_dir.h"
#include "ops/operation_table.h"

namespace {

struct OptionNames {
  std::string short_name, long_name;  // "-v", "--verbose"
};

// The option pairs as the usage text lists them: "  -v --verbose  ...".
std::vector<OptionNames> usage_options() {
  CapturedOutput usage;
  print_usage(usage.stream(), "supctl");
  std::istringstream lines(usage.text());
  std::vector<OptionNames> options;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  -", 0) != 0) continue;
    std::istringstream words(line);
    OptionNames names;
    words >> names.short_name >> names.long_name;
    options.push_back(names);
  }
  return options;
}

TEST(ManPage, DescribesEveryOperation) {
  const std::string page = read_file(SUPCTL_MAN_PAGE);
  ASSERT_FALSE(page.empty());
  for (const Operation& operation : operation_table())
    EXPECT_NE(page.find(operation.name), std::string::npos) << operation.name;
}

TEST(ManPage, DescribesEveryOption) {
  const std::string page = read_file(SUPCTL_MAN_PAGE);
  const std::vector<OptionNames> options = usage_options();
  ASSERT_EQ(options.size(), 11u);
  for (const OptionNames& option : options) {
    const std::string entry =
        ".BR " + roff(option.short_name) + " \", \" " + roff(option.long_name);
    EXPECT_NE(page.find(entry), std::string::npos) << entry;
  }
}

TEST(Completion, OffersTheOperationTable) {
  std::string names;
  for (const Operation& operation : operation_table()) {
    if (!names.empty()) names += ' ';
    names += operation.name;
  }
  const std::string script = read_file(SUPCTL_COMPLETION);
  EXPECT_NE(script.find("compgen -W \"" + names + "\""), std::string::npos) << names;
}

TEST(Completion, OffersExactlyTheOptions) {
  const std::string script = read_file(SUPCTL_COMPLETION);
  const std::string marker = "local options=\"";
  const size_t start = script.find(marker);
  ASSERT_NE(start, std::string::npos);
  const size_t end = script.find('"', start + marker.size());
  std::istringstream words(script.substr(start + marker.size(), end - start - marker.size()));
  std::set<std::string> offered{std::istream_iterator<std::string>(words), {}};
  std::set<std::string> expected;
  for (const OptionNames& option : usage_options())
    expected.insert({option.short_name, option.long_name});
  EXPECT_EQ(offered, expected);
}

}  // namespace
