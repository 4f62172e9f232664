// SPDX-License-Identifier: MIT
// The bootloader port as a raw 115200-baud 8N1 line.
#pragma once

#include <termios.h>

#include <cstdio>

// Edits settings in place into the bootloader line: both speeds 115200, 8N1
// without RTS/CTS, XON/XOFF from the far end taken as data, no line editing,
// echo or CR/LF translation, no output processing, and a read that waits for
// one byte. Only these flags and control characters change.
void make_bootloader_line(termios& settings);

// Applies make_bootloader_line to the port's current settings. Returns 0, or
// -1 after printing the failing call and its error text on out.
int configure_serial_port(int port_fd, FILE* out);
