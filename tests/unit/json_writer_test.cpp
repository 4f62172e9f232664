// SPDX-License-Identifier: MIT
#include "ops/json_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "common/captured_output.h"

namespace {

std::string json_of(const std::string& text) {
  CapturedOutput output;
  {
    JsonWriter json(output.stream());
    json.begin_object();
    json.field_text("s", text.data(), text.size());
    json.end_object();
  }
  return output.text();
}

struct EscapeCase {
  std::string text, expected;
};

class JsonEscape : public testing::TestWithParam<EscapeCase> {};

TEST_P(JsonEscape, ReadsBytesAsLatin1) {
  EXPECT_EQ(json_of(GetParam().text), "{\"s\":\"" + GetParam().expected + "\"}");
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, JsonEscape,
    testing::Values(EscapeCase{" az~", " az~"}, EscapeCase{"\"", "\\\""}, EscapeCase{"\\", "\\\\"},
                    EscapeCase{std::string("\0\n\x1f", 3), "\\u0000\\u000a\\u001f"},
                    EscapeCase{"\x7f\x80\xe9\xff", "\\u007f\\u0080\\u00e9\\u00ff"}));

}  // namespace
