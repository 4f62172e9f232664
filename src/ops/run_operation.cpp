// SPDX-License-Identifier: MIT
#include "ops/run_operation.h"

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
int exchange(const Operation& operation, CommandFrame& frame, const OperationContext& context) {
  const int result = spi_transfer(context.spi_fd, frame.tx, frame.rx, operation.transfer_length);
  if (result < 1) die_with_errno("can't send spi message");
  if (context.debug) {
    dump_frame(context.out, frame.tx, operation.transfer_length, "TX");
    dump_frame(context.out, frame.rx, operation.transfer_length, "RX");
  }
  return result;
}

int run_query(const Operation& operation, const OperationContext& context) {
  if (context.spi_fd < 0) return -1;
  CommandFrame frame;
  prepare_frame(frame, operation.command, operation.capacity);
  const int result = exchange(operation, frame, context);
  if (context.verbose) put_line(operation.label, context.out);
  operation.print_reply(context.out, Reply(frame.rx, operation.transfer_length), context.verbose);
  return result;
}

// A refused argument sends nothing; the supervisor's answer to a setting
// is not examined.
int run_setting(const Operation& operation, const char* text, const OperationContext& context) {
  CommandFrame frame;
  prepare_frame(frame, operation.command, operation.capacity);
  const ParsedArgument argument = parse_argument(operation.form, operation.max_value, text);
  if (argument.error != ArgumentError::none) {
    put_line(argument_error_message(argument.error), context.out);
    return kRefused;
  }
  if (operation.echo) fprintf(context.out, "? %x\n", static_cast<unsigned>(argument.value));
  encode_argument(operation.form, argument.value, frame.tx);
  exchange(operation, frame, context);
  return kCarriedOut;
}

}  // namespace

int query_power_status(const OperationContext& context) {
  return run_query(*find_operation("GET_PowerStatus"), context);
}

int run_named_operation(const char* name, const char* argument, const OperationContext& context) {
  const Operation* operation = find_operation(name);
  if (operation == nullptr) {
    put_line("Error: Operation unknown", context.out);
    return kRefused;
  }
  switch (operation->kind) {
    case OperationKind::not_implemented: put_line("Error: TBD", context.out); return kRefused;
    case OperationKind::query: run_query(*operation, context); return kCarriedOut;
    case OperationKind::setting: return run_setting(*operation, argument, context);
  }
  return kCarriedOut;
}
