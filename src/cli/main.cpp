// supctl: talks to the board's power supervisor over SPI, one operation a
// run, or uploads a file to a bootloader over a serial port.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bootloader/bootloader_mode.h"
#include "cli/options.h"
#include "cli/signals.h"
#include "ops/run_operation.h"
#include "spi/spi_device.h"

int main(int argc, char* argv[]) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  memset(tool_options.bl_port_path, 0, sizeof tool_options.bl_port_path);
  memset(tool_options.bl_file_path, 0, sizeof tool_options.bl_file_path);

  if (parse_options(argc, argv, tool_options) != ParseOutcome::run) {
    print_usage(stdout, argc > 0 ? argv[0] : "supctl");
    exit(1);
  }

  install_signal_handlers();

  if (tool_options.bl_port_path[0] != '\0') {
    exit(run_bootloader_mode(tool_options.bl_port_path, tool_options.bl_file_path, stdout));
  }

  const bool verbose = tool_options.verbose != 0, debug = tool_options.debug != 0;
  open_spi_device(tool_options.device_path, verbose && debug, stdout);
  const OperationContext context = {spi_fd, verbose, debug, stdout};
  int status = 0;
  if (tool_options.operation_name[0] == '\0') {
    query_power_status(context);
  } else {
    status = run_named_operation(tool_options.operation_name, tool_options.operation_arg, context);
  }
  close(spi_fd);
  exit(status);
}
