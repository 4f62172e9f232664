// SPDX-License-Identifier: MIT
// supctl: talks to the board's power supervisor over SPI, one operation a
// run, or uploads a file to a bootloader over a serial port.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bootloader/bootloader_mode.h"
#include "cli/options.h"
#include "cli/signals.h"
#include "ops/json_output.h"
#include "ops/run_operation.h"
#include "spi/spi_device.h"

namespace {

// A closed descriptor 0, 1 or 2 would be taken by the device, the port or
// the file opened next, and the run's output would go into it: give each
// closed one /dev/null first. open returns the lowest free descriptor, so
// /dev/null fills the gaps until it lands above them.
void open_standard_descriptors() {
  for (;;) {
    const int fd = open("/dev/null", O_RDWR);
    if (fd < 0) _exit(1);
    if (fd > STDERR_FILENO) {
      close(fd);
      return;
    }
  }
}

// Ends an orderly run: output that could not be written (a full disk, say)
// turns a successful run into a failed one. stdout is unbuffered, so a
// failed write is the last call of the run that set errno: what follows the
// output (closing the device) succeeds and leaves errno alone.
[[noreturn]] void finish(int status) {
  if (ferror(stdout)) {
    fprintf(stderr, "supctl: write error: %s\n", strerror(errno));
    exit(1);
  }
  exit(status);
}

// Opens and sets up the device for the run named operation and returns the
// settings read back. A failure ends the run: in JSON mode with its object
// and kDeviceFailed, else through die_with_errno.
SpiSettings open_device(const char* operation, bool json, bool report) {
  if (!json) return open_spi_device(tool_options.device_path, report, stdout);
  SpiSettings settings;
  const char* message = nullptr;
  const int fd = spi_open(tool_options.device_path, settings, message);
  if (fd < 0) {
    const DeviceFailure failure = {message, errno};
    print_device_failure_json(stdout, operation, tool_options.device_path, nullptr, failure);
    finish(kDeviceFailed);
  }
  spi_fd = fd;
  return settings;
}

}  // namespace

int main(int argc, char* argv[]) {
  open_standard_descriptors();
  setvbuf(stdout, nullptr, _IONBF, 0);
  memset(tool_options.bl_port_path, 0, sizeof tool_options.bl_port_path);
  memset(tool_options.bl_file_path, 0, sizeof tool_options.bl_file_path);

  switch (parse_options(argc, argv, tool_options)) {
    case ParseOutcome::run: break;
    case ParseOutcome::show_usage: print_usage(stdout, argc > 0 ? argv[0] : "supctl"); finish(1);
    case ParseOutcome::show_version: print_version(stdout); finish(0);
  }

  install_signal_handlers();

  if (tool_options.bl_port_path[0] != '\0') {
    finish(run_bootloader_mode(tool_options.bl_port_path, tool_options.bl_file_path,
                               tool_options.timeout_seconds, tool_options.json != 0, stdout));
  }

  // In JSON mode the object holds everything, whatever -v and -D say.
  const bool json = tool_options.json != 0;
  const bool verbose = tool_options.verbose != 0 && !json;
  const bool debug = tool_options.debug != 0 && !json;
  // With no operation named, the power status.
  const char* name =
      tool_options.operation_name[0] != '\0' ? tool_options.operation_name : "GET_PowerStatus";
  const SpiSettings settings = open_device(name, json, verbose && debug);
  const OperationContext context = {spi_fd,  verbose, debug, stdout, json, tool_options.device_path,
                                    settings};
  const int status = run_operation(name, tool_options.operation_arg, context);
  close(spi_fd);
  finish(status);
}
