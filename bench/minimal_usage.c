// SPDX-License-Identifier: MIT
/* The least a program can do to print supctl's usage text: the yardstick for
 * what supctl itself costs to start, parse -h and print it. */
#include <stdio.h>

int main(int argc, char* argv[]) {
  (void)argc;
  printf(
      "Version: 1.3 Feb 11 2021 23:02:05\n"
      "Usage: %s [-vDdoapbhjtV]\n"
      "  -v --verbose  verbose mode (debug)\n"
      "  -D --debug    debug SPI RAW communication\n"
      "  -d --dev      SPI device to use (default: /dev/spidev0.1)\n"
      "  -o --oper     operation (e.g. GET_DeviceID, GET_DeviceInfo)\n"
      "  -a --arg      operation arguments\n"
      "  -b --blfile   bootloader source file to upload\n"
      "  -p --blport   bootloader output device\n"
      "  -h --help     this help\n"
      "  -j --json     print the result as JSON\n"
      "  -t --timeout  seconds to wait for each bootloader answer\n"
      "  -V --version  print the version\n"
      "\n",
      argv[0]);
  return 1;
}
