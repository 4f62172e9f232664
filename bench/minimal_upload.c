// SPDX-License-Identifier: MIT
/* The baseline of the upload benchmark: the least a program can do to make
 * the system calls of supctl's upload. It sets the port up raw, then reads
 * one byte from the file and writes it to the port at a time, reads the
 * answer after byte 1 and every further 32767 bytes, and prints a dot every
 * 65535 bytes.
 *
 *   minimal_upload PORT FILE
 */
#include <fcntl.h>
#include <stdio.h>
#include <termios.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s PORT FILE\n", argv[0]);
    return 2;
  }
  int port = open(argv[1], O_RDWR | O_NOCTTY | O_SYNC);
  int file = open(argv[2], O_RDONLY | O_NONBLOCK);
  if (port < 0 || file < 0) {
    perror("open");
    return 1;
  }
  struct termios tty;
  if (tcgetattr(port, &tty) == 0) {
    cfmakeraw(&tty);
    cfsetospeed(&tty, B115200);
    cfsetispeed(&tty, B115200);
    tty.c_cc[VMIN] = 1;
    tty.c_cc[VTIME] = 1;
    tcsetattr(port, TCSANOW, &tty);
  }
  setvbuf(stdout, NULL, _IONBF, 0);

  unsigned char byte;
  char reply[80];
  long sent = 0;
  while (read(file, &byte, 1) == 1) {
    if (write(port, &byte, 1) != 1) return 1;
    if (sent % 32767 == 0) {
      ssize_t count = read(port, reply, sizeof reply - 1);
      if (count > 0) {
        reply[count] = '\0';
        printf("Read %d: \"%s\"\n", (int)count, reply);
      }
    }
    if (++sent % 65535 == 0) putchar('.');
  }
  putchar('\n');
  return 0;
}
