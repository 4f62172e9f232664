// SPDX-License-Identifier: MIT
#include "bootloader/serial_port.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "common/captured_output.h"
#include "common/line_flags.h"

namespace {

termios filled_with(unsigned char byte) {
  termios settings;
  memset(&settings, byte, sizeof settings);
  return settings;
}

class MakeBootloaderLine : public testing::TestWithParam<unsigned char> {};

TEST_P(MakeBootloaderLine, SetsTheLineAndKeepsEveryOtherBit) {
  const termios before = filled_with(GetParam());
  termios after = before;
  make_bootloader_line(after);

  expect_bootloader_line(before, after);
  for (size_t i = 0; i < NCCS; ++i) {
    const cc_t expected = i == VMIN || i == VTIME ? 1 : before.c_cc[i];
    EXPECT_EQ(after.c_cc[i], expected) << "c_cc[" << i << "]";
  }
}

INSTANTIATE_TEST_SUITE_P(FromAllClearAndAllSet, MakeBootloaderLine, testing::Values(0x00, 0xFF));

TEST(ConfigureSerialPort, PipeGivesTheTcgetattrErrorLine) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  CapturedOutput output;
  EXPECT_EQ(configure_serial_port(ends[1], output.stream()), -1);
  EXPECT_EQ(output.text(), "Error from tcgetattr: Inappropriate ioctl for device\n");
  close(ends[0]);
  close(ends[1]);
}

}  // namespace
