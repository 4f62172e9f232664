// SPDX-License-Identifier: MIT
#include "ops/json_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "common/captured_output.h"

namespace {

TEST(JsonEscape, ReadsBytesAsLatin1) {
  const struct {
    std::string text, expected;
  } cases[] = {{" az~", " az~"},
               {"\"", "\\\""},
               {"\\", "\\\\"},
               {std::string("\0\n\x1f", 3), "\\u0000\\u000a\\u001f"},
               {"\x7f\x80\xe9\xff", "\\u007f\\u0080\\u00e9\\u00ff"}};
  for (const auto& c : cases) {
    CapturedOutput output;
    {
      JsonWriter json(output.stream());
      json.begin_object();
      json.field_text("s", c.text.data(), c.text.size());
      json.end_object();
    }
    EXPECT_EQ(output.text(), "{\"s\":\"" + c.expected + "\"}");
  }
}

}  // namespace
