// SPDX-License-Identifier: MIT
#include "ops/arguments.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr auto hex_word = ArgumentForm::hex_word;
constexpr auto colour = ArgumentForm::colour;
constexpr auto decimal = ArgumentForm::decimal;
using enum ArgumentError;

struct ParseCase {
  ArgumentForm form;
  uint8_t max_value;
  const char* text;
  ArgumentError error;
  uint32_t value;  // checked when accepted
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class ParseArgument : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseArgument, AcceptsOrRefusesAsTheFormSays) {
  const ParseCase& c = GetParam();
  const ParsedArgument parsed = parse_argument(c.form, c.max_value, c.text);
  EXPECT_EQ(parsed.error, c.error);
  if (c.error == none) {
    EXPECT_EQ(parsed.value, c.value);
  }
}

INSTANTIATE_TEST_SUITE_P(HexWords, ParseArgument,
                         testing::Values(ParseCase{hex_word, 0, "x12345678", none, 0x12345678},
                                         ParseCase{hex_word, 0, "xDEADbeef", none, 0xDEADBEEF},
                                         ParseCase{hex_word, 0, "x0x1f", none, 0x1F},
                                         ParseCase{hex_word, 0, "x0X1F", none, 0x1F},
                                         ParseCase{hex_word, 0, "x0x", none, 0},  // "0" then text
                                         ParseCase{hex_word, 0, "x \t7", none, 7},
                                         ParseCase{hex_word, 0, "x1fg", none, 0x1F},
                                         ParseCase{hex_word, 0, "xffffffff", none, 0xFFFFFFFF},
                                         ParseCase{hex_word, 0, "x00000000ff", none, 0xFF},
                                         ParseCase{hex_word, 0, "x-1", none, 0xFFFFFFFF},
                                         ParseCase{hex_word, 0, "x+10", none, 0x10},
                                         ParseCase{hex_word, 0, "x100000000", no_value, 0},
                                         ParseCase{hex_word, 0, "x-100000000", no_value, 0},
                                         ParseCase{hex_word, 0, "x", no_value, 0},
                                         ParseCase{hex_word, 0, "xg", no_value, 0},
                                         ParseCase{hex_word, 0, "x-", no_value, 0},
                                         ParseCase{hex_word, 0, "x 0x", none, 0},
                                         ParseCase{hex_word, 0, "", missing_prefix, 0},
                                         ParseCase{hex_word, 0, "X12", missing_prefix, 0},
                                         ParseCase{hex_word, 0, "#12", missing_prefix, 0},
                                         ParseCase{hex_word, 0, " x12", missing_prefix, 0},
                                         ParseCase{hex_word, 0, "12", missing_prefix, 0}));

INSTANTIATE_TEST_SUITE_P(Colours, ParseArgument,
                         testing::Values(ParseCase{colour, 0, "#ff8000", none, 0xFF8000},
                                         ParseCase{colour, 0, "#1ff8000", none, 0x1FF8000},
                                         ParseCase{colour, 0, "#0", none, 0},
                                         ParseCase{colour, 0, "#", no_value, 0},
                                         ParseCase{colour, 0, "#zz", no_value, 0},
                                         ParseCase{colour, 0, "#fffffffff", no_value, 0},
                                         ParseCase{colour, 0, "ff8000", missing_prefix, 0},
                                         ParseCase{colour, 0, "x123", missing_prefix, 0}));

INSTANTIATE_TEST_SUITE_P(
    Decimals, ParseArgument,
    testing::Values(
        ParseCase{decimal, 100, "1", none, 1}, ParseCase{decimal, 100, "100", none, 100},
        ParseCase{decimal, 100, "42abc", none, 42}, ParseCase{decimal, 100, " 42", none, 42},
        ParseCase{decimal, 100, "\n+42", none, 42}, ParseCase{decimal, 100, "007", none, 7},
        ParseCase{decimal, 255, "255", none, 255}, ParseCase{decimal, 100, "0", out_of_range, 0},
        ParseCase{decimal, 100, "101", out_of_range, 0},
        ParseCase{decimal, 255, "256", out_of_range, 0},
        ParseCase{decimal, 100, "4294967295", out_of_range, 0},
        ParseCase{decimal, 100, "-1", out_of_range, 0},
        ParseCase{decimal, 100, "-0", out_of_range, 0},
        ParseCase{decimal, 100, " -4294967295", out_of_range, 0},
        ParseCase{decimal, 100, "-99999999999999", out_of_range, 0},
        ParseCase{decimal, 100, "4294967296", no_value, 0},
        ParseCase{decimal, 100, "99999999999999999999", no_value, 0},
        ParseCase{decimal, 100, "", no_value, 0}, ParseCase{decimal, 100, "abc", no_value, 0},
        ParseCase{decimal, 100, "-", no_value, 0}, ParseCase{decimal, 100, "-abc", no_value, 0},
        ParseCase{decimal, 100, "+", no_value, 0}, ParseCase{decimal, 100, "x10", no_value, 0}));

TEST(ArgumentErrorMessage, SyntaxErrorOfAMissingPrefixEndsWithItsOwnLineEnd) {
  EXPECT_STREQ(argument_error_message(missing_prefix), "Error: Syntax error\n");
  EXPECT_STREQ(argument_error_message(out_of_range), "Error: Syntax error");
  EXPECT_STREQ(argument_error_message(no_value), "Error: Parser failed");
}

struct EncodeCase {
  ArgumentForm form;
  uint32_t value;
  std::vector<uint8_t> frame;  // TX[0] to TX[5] after encoding into 0xFF fill
};

class EncodeArgument : public testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeArgument, WritesTheValueAfterTheCommandByte) {
  std::vector<uint8_t> tx(6, 0xFF);
  tx[0] = 0x60;
  encode_argument(GetParam().form, GetParam().value, tx.data());
  EXPECT_EQ(tx, GetParam().frame);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, EncodeArgument,
    testing::Values(EncodeCase{hex_word, 0x12345678, {0x60, 0x12, 0x34, 0x56, 0x78, 0xFF}},
                    EncodeCase{hex_word, 0xFF, {0x60, 0x00, 0x00, 0x00, 0xFF, 0xFF}},
                    EncodeCase{colour, 0x1FF8000, {0x60, 0xFF, 0x80, 0x00, 0xFF, 0xFF}},
                    EncodeCase{colour, 0, {0x60, 0x00, 0x00, 0x00, 0xFF, 0xFF}},
                    EncodeCase{decimal, 100, {0x60, 0x64, 0xFF, 0xFF, 0xFF, 0xFF}}));

}  // namespace
