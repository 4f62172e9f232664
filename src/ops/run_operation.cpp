// SPDX-License-Identifier: MIT
#include "ops/run_operation.h"

#include <cerrno>

#include "ops/decoders.h"
#include "ops/exchange.h"
#include "ops/json_output.h"
#include "spi/frame_trace.h"
#include "spi/spi_device.h"

namespace {

// Text followed by one line end, as puts writes it.
void put_line(const char* text, FILE* out) {
  fputs(text, out);
  fputc('\n', out);
}

// The trace under --debug, the label under --verbose, the value of a query.
void print_text(const OperationRun& run, const OperationContext& context) {
  if (run.error != RunError::none) {
    put_line(error_line(run), context.out);
    return;
  }
  const Operation& operation = *run.operation;
  if (context.debug) {
    dump_frame(context.out, run.frame.tx, operation.transfer_length, "TX");
    dump_frame(context.out, run.frame.rx, operation.transfer_length, "RX");
  }
  if (operation.kind != OperationKind::query) return;
  if (context.verbose) put_line(operation.label, context.out);
  const Reply reply(run.frame.rx, operation.transfer_length);
  print_value(context.out, decode_reply(operation.value, reply), context.verbose);
}

}  // namespace

OperationRun prepare_operation(const char* name, const char* argument) {
  OperationRun run = {
      name, find_operation(name), RunError::none, ArgumentError::none, 0, false, false, {}};
  if (run.operation == nullptr) {
    run.error = RunError::unknown_operation;
    return run;
  }
  const Operation& operation = *run.operation;
  if (operation.kind == OperationKind::not_implemented) {
    run.error = RunError::not_implemented;
    return run;
  }
  prepare_frame(run.frame, operation.command, operation.capacity);
  if (operation.kind == OperationKind::setting) {
    const ParsedArgument parsed = parse_argument(operation.form, operation.max_value, argument);
    run.argument_error = parsed.error;
    if (parsed.error != ArgumentError::none) {
      run.error = RunError::refused_argument;
      return run;
    }
    run.value = parsed.value;
    encode_argument(operation.form, parsed.value, run.frame.tx);
  }
  return run;
}

const char* error_line(const OperationRun& run) {
  switch (run.error) {
    case RunError::unknown_operation: return "Error: Operation unknown";
    case RunError::not_implemented: return "Error: TBD";
    case RunError::refused_argument: return argument_error_message(run.argument_error);
    case RunError::none: break;
  }
  return "";
}

const char* error_code(const OperationRun& run) {
  switch (run.error) {
    case RunError::unknown_operation: return "unknown_operation";
    case RunError::not_implemented: return "not_implemented";
    case RunError::refused_argument:
      return run.argument_error == ArgumentError::no_value ? "parser_failed" : "syntax_error";
    case RunError::none: break;
  }
  return "";
}

int run_operation(const char* name, const char* argument, const OperationContext& context) {
  OperationRun run = prepare_operation(name, argument);
  if (run.error == RunError::none) {
    // The echo comes before the exchange, so it stands even if that fails.
    if (run.operation->echo && !context.json)
      fprintf(context.out, "? %x\n", static_cast<unsigned>(run.value));
    if (exchange_frame(context.spi_fd, *run.operation, run.frame) < 1) {
      constexpr const char* kFailure = "can't send spi message";
      if (!context.json) die_with_errno(kFailure);
      const DeviceFailure failure = {kFailure, errno};
      print_device_failure_json(context.out, name, context.device_path, &context.settings, failure);
      return kDeviceFailed;
    }
    run.exchanged = true;
    run.answered = is_answer(*run.operation, Reply(run.frame.rx, run.operation->transfer_length));
  }
  if (!context.json) {
    print_text(run, context);
    return run.error == RunError::none ? kCarriedOut : kRefused;
  }
  print_run_json(context.out, run, context.device_path, context.settings);
  if (run.error != RunError::none) return kRefused;
  return run.answered ? kCarriedOut : kNotAnswered;
}
