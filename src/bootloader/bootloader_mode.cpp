// SPDX-License-Identifier: MIT
#include "bootloader/bootloader_mode.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bootloader/image_upload.h"

int run_bootloader_mode(const char* port_path, const char* file_path, FILE* out) {
  // Blocking, and never the controlling terminal of the tool.
  const int port_fd = open(port_path, O_RDWR | O_NOCTTY | O_SYNC);
  if (port_fd < 0) {
    fprintf(out, "Error opening %s: %s\n", port_path, strerror(errno));
    return 1;
  }
  const int file_fd = open(file_path, O_RDONLY | O_NONBLOCK);
  if (file_fd < 0) {
    // Any reason, an empty path included: watch the port until a signal.
    fputs("Port preview mode\n", out);
    preview_port(port_fd, out);
  } else {
    const int result = upload_image(port_fd, file_fd, out);
    fprintf(out, "Finished with code: %d\n", result);
    close(port_fd);
    close(file_fd);
    return result == 0 ? 0 : 1;
  }
}
