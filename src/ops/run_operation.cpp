#include "ops/run_operation.h"

#include "cli/options.h"
#include "ops/command_frame.h"
#include "ops/operation_table.h"
#include "spi/frame_trace.h"
#include "spi/spi_device.h"

namespace {

constexpr int kCarriedOut = 0;
constexpr int kRefused = 1;

// Text followed by one line end, as puts writes it.
void put_line(const char* text, FILE* out) {
  fputs(text, out);
  fputc('\n', out);
}

// The one transfer of an operation; a failed or empty transfer ends the run.
int exchange(const Operation& operation, CommandFrame& frame, const ToolOptions& options,
             FILE* out) {
  const int result = spi_transfer(spi_fd, frame.tx, frame.rx, operation.transfer_length);
  if (result < 1) die_with_errno("can't send spi message");
  if (options.debug) {
    dump_frame(out, frame.tx, operation.transfer_length, "TX");
    dump_frame(out, frame.rx, operation.transfer_length, "RX");
  }
  return result;
}

int run_query(const Operation& operation, const ToolOptions& options, FILE* out) {
  if (spi_fd < 0) return -1;
  CommandFrame frame;
  prepare_frame(frame, operation.command, operation.capacity);
  const int result = exchange(operation, frame, options, out);
  if (options.verbose) put_line(operation.label, out);
  operation.print_reply(out, Reply(frame.rx, operation.transfer_length), options.verbose != 0);
  return result;
}

// A refused argument sends nothing; the supervisor's answer to a setting
// is not examined.
int run_setting(const Operation& operation, const ToolOptions& options, FILE* out) {
  CommandFrame frame;
  prepare_frame(frame, operation.command, operation.capacity);
  const ParsedArgument argument =
      parse_argument(operation.form, operation.max_value, options.operation_arg);
  if (argument.error != ArgumentError::none) {
    put_line(argument_error_message(argument.error), out);
    return kRefused;
  }
  if (operation.echo) fprintf(out, "? %x\n", static_cast<unsigned>(argument.value));
  encode_argument(operation.form, argument.value, frame.tx);
  exchange(operation, frame, options, out);
  return kCarriedOut;
}

}  // namespace

int query_power_status(const ToolOptions& options, FILE* out) {
  return run_query(*find_operation("GET_PowerStatus"), options, out);
}

int run_named_operation(const char* name, const ToolOptions& options, FILE* out) {
  const Operation* operation = find_operation(name);
  if (operation == nullptr) {
    put_line("Error: Operation unknown", out);
    return kRefused;
  }
  switch (operation->kind) {
    case OperationKind::not_implemented: put_line("Error: TBD", out); return kRefused;
    case OperationKind::query: run_query(*operation, options, out); return kCarriedOut;
    case OperationKind::setting: return run_setting(*operation, options, out);
  }
  return kCarriedOut;
}
