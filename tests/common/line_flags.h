// SPDX-License-Identifier: MIT
// How a port must look once it is set up as the bootloader line.
#pragma once

#include <gtest/gtest.h>
#include <termios.h>

#include <initializer_list>

struct LineFlag {
  const char* name;
  tcflag_t termios::*word;
  tcflag_t mask;
  tcflag_t value;  // what word & mask must be
};

inline constexpr LineFlag kLineFlags[] = {
    {"CS8", &termios::c_cflag, CSIZE, CS8},     {"PARENB", &termios::c_cflag, PARENB, 0},
    {"CSTOPB", &termios::c_cflag, CSTOPB, 0},   {"CRTSCTS", &termios::c_cflag, CRTSCTS, 0},
    {"CREAD", &termios::c_cflag, CREAD, CREAD}, {"CLOCAL", &termios::c_cflag, CLOCAL, CLOCAL},
    {"IGNBRK", &termios::c_iflag, IGNBRK, 0},   {"BRKINT", &termios::c_iflag, BRKINT, 0},
    {"PARMRK", &termios::c_iflag, PARMRK, 0},   {"ISTRIP", &termios::c_iflag, ISTRIP, 0},
    {"INLCR", &termios::c_iflag, INLCR, 0},     {"IGNCR", &termios::c_iflag, IGNCR, 0},
    {"ICRNL", &termios::c_iflag, ICRNL, 0},     {"IXON", &termios::c_iflag, IXON, 0},
    {"ISIG", &termios::c_lflag, ISIG, 0},       {"ICANON", &termios::c_lflag, ICANON, 0},
    {"ECHO", &termios::c_lflag, ECHO, 0},       {"ECHONL", &termios::c_lflag, ECHONL, 0},
    {"IEXTEN", &termios::c_lflag, IEXTEN, 0},   {"OPOST", &termios::c_oflag, OPOST, 0},
};

inline constexpr std::initializer_list<tcflag_t termios::*> kFlagWords = {
    &termios::c_iflag, &termios::c_oflag, &termios::c_cflag, &termios::c_lflag};

// Bits that belong to the line speeds rather than to the flags: the speed
// bits of c_cflag, and the top bit of c_iflag, where the C library marks an
// input speed of 0.
inline tcflag_t speed_bits(const tcflag_t termios::*word) {
  if (word == &termios::c_cflag) return CBAUD | CBAUDEX;
  if (word == &termios::c_iflag) return 020000000000;
  return 0;
}

// The bits of word that setup may change.
inline tcflag_t changeable_bits(tcflag_t termios::*word) {
  tcflag_t bits = speed_bits(word);
  for (const LineFlag& flag : kLineFlags) {
    if (flag.word == word) bits |= flag.mask;
  }
  return bits;
}

// Checks that after holds the bootloader line's speeds and flags, and that
// every other flag bit is as it was in before.
inline void expect_bootloader_line(const termios& before, const termios& after) {
  EXPECT_EQ(cfgetospeed(&after), speed_t{B115200});
  EXPECT_EQ(cfgetispeed(&after), speed_t{B115200});
  for (const LineFlag& flag : kLineFlags) {
    EXPECT_EQ(after.*flag.word & flag.mask, flag.value) << flag.name;
  }
  for (tcflag_t termios::*word : kFlagWords) {
    const tcflag_t kept = ~changeable_bits(word);
    EXPECT_EQ(after.*word & kept, before.*word & kept);
  }
}
