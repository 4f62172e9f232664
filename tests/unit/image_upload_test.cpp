// SPDX-License-Identifier: MIT
#include "bootloader/image_upload.h"

#include <gtest/gtest.h>

#include "bootloader/upload_json.h"
#include "common/captured_output.h"

namespace {

struct ProgressCase {
  int64_t byte_number;
  bool read_back;
  bool dot;
};

class ProgressAfterByte : public testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressAfterByte, ReadsBackEvery32767AndDotsEvery65535) {
  const UploadProgress progress = progress_after_byte(GetParam().byte_number);
  EXPECT_EQ(progress.read_back, GetParam().read_back);
  EXPECT_EQ(progress.dot, GetParam().dot);
}

INSTANTIATE_TEST_SUITE_P(
    ByteNumbers, ProgressAfterByte,
    testing::Values(ProgressCase{1, true, false}, ProgressCase{2, false, false},
                    ProgressCase{32767, false, false}, ProgressCase{32768, true, false},
                    ProgressCase{65534, false, false}, ProgressCase{65535, true, true},
                    ProgressCase{65536, false, false}, ProgressCase{98302, true, false},
                    ProgressCase{131069, true, false}, ProgressCase{131070, false, true},
                    // Past the range of a 32-bit count the schedule simply goes on.
                    ProgressCase{2147483647, true, false}, ProgressCase{2147483648, false, false},
                    ProgressCase{2147516414, true, false}, ProgressCase{2147516415, false, true}));

TEST(ReportPortRead, EndOfFileAndFailureHaveTheirLines) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[1]);
  CapturedOutput output;
  report_port_read(ends[0], output.stream());
  report_port_read(-1, output.stream());
  EXPECT_EQ(output.text(),
            "Timeout from read OR closed fd\n"
            "Error from read: -1: Bad file descriptor\n");
  close(ends[0]);
}

TEST(JsonUploadReport, HoldsEndOfFileAsEmptyAndAFailedReadAsNull) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[1]);
  CapturedOutput output;
  {
    JsonUploadReport report(output.stream(), "port", "");
    report.started();
    report.read_back(read_port(ends[0]));
    report.read_back(read_port(-1));
    report.ended({kNoAnswer, 2, 0, 0});
  }
  EXPECT_EQ(output.text(),
            R"({"format_version":1,"port":"port","file":null,"read_backs":["",null],)"
            R"("bytes_sent":2,"result":-3,"reason":"no_answer"})"
            "\n");
  close(ends[0]);
}

}  // namespace
