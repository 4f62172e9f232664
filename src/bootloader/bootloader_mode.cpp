// SPDX-License-Identifier: MIT
#include "bootloader/bootloader_mode.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bootloader/image_upload.h"
#include "bootloader/upload_json.h"

namespace {

// Never the controlling terminal of the tool. A blocking open of a line
// with modem control on waits for the far end's carrier, for ever if it
// never comes: the port is opened without waiting and made blocking at
// once; setting it up then turns modem control off. Returns the descriptor,
// or -1 with errno set.
int open_port(const char* port_path) {
  const int port_fd = open(port_path, O_RDWR | O_NOCTTY | O_SYNC | O_NONBLOCK);
  if (port_fd < 0) return -1;
  const int flags = fcntl(port_fd, F_GETFL);
  if (flags < 0 || fcntl(port_fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
    const int error = errno;
    close(port_fd);
    errno = error;
    return -1;
  }
  return port_fd;
}

}  // namespace

int run_bootloader_mode(const char* port_path, const char* file_path, int timeout_seconds,
                        bool json, FILE* out) {
  const int port_fd = open_port(port_path);
  if (port_fd < 0) {
    if (json)
      print_port_failure_json(out, port_path, file_path, errno);
    else
      fprintf(out, "Error opening %s: %s\n", port_path, strerror(errno));
    return 1;
  }
  // Without a writer, a FIFO opened without O_NONBLOCK would hold the open.
  const int file_fd = open(file_path, O_RDONLY | O_NONBLOCK);
  if (file_fd < 0) {
    // Any reason, an empty path included: watch the port until a signal. A
    // file that was named is named on stderr, so that a mistyped name does
    // not pass for a preview asked for.
    if (file_path[0] != '\0')
      fprintf(stderr, "supctl: cannot open %s: %s\n", file_path, strerror(errno));
    fputs("Port preview mode\n", out);
    preview_port(port_fd, out);
  }
  int result;
  if (json) {
    // out holds the object alone; a port set-up failure goes to stderr.
    JsonUploadReport report(out, port_path, file_path);
    result = upload_image(port_fd, file_fd, timeout_seconds, report, stderr);
  } else {
    TextUploadReport report(out, timeout_seconds);
    result = upload_image(port_fd, file_fd, timeout_seconds, report, out);
  }
  close(port_fd);
  close(file_fd);
  return result == kUploadDone ? 0 : 1;
}
