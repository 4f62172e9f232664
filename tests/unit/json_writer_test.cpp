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

// Commas between members and elements at every depth, however long the
// object grows past the writer's buffer.
TEST(JsonWriter, SeparatesMembersAndElementsAtEveryDepth) {
  CapturedOutput output;
  JsonWriter json(output.stream());
  json.begin_object();
  json.field("n", 4294967295u);
  json.field_null("z");
  json.begin_array("a");
  json.element(0);
  json.begin_object();
  json.field("b", false);
  json.field("t", static_cast<const char*>(nullptr));
  json.end_object();
  json.end_array();
  json.begin_object("o");
  json.field_tenths("c", 5);
  json.field_hex("h", reinterpret_cast<const uint8_t*>("\x0a\xff"), 2);
  json.end_object();
  const std::string long_text(600, 'x');
  json.field("l", long_text.c_str());
  json.end_object();
  json.end_line();
  EXPECT_EQ(output.text(),
            "{\"n\":4294967295,\"z\":null,\"a\":[0,{\"b\":false,\"t\":null}],"
            "\"o\":{\"c\":0.5,\"h\":\"0aff\"},\"l\":\"" +
                long_text + "\"}\n");
}

}  // namespace
