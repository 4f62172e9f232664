// SPDX-License-Identifier: MIT
#include "cli/signals.h"

#include <signal.h>
#include <unistd.h>

#include <string_view>

#include "spi/spi_device.h"
#include "spi/write_all.h"

namespace {

struct SignalLine {
  int signal_number;
  std::string_view line;
};

// SIGQUIT has no line of its own.
constexpr SignalLine kSignalLines[] = {
    {SIGUSR1, "received SIGUSR1\n"},
    {SIGINT, "received SIGINT\n"},
};

// The system refuses SIGKILL and SIGSTOP; asking for them is harmless and
// they keep their default action.
constexpr int kHandledSignals[] = {SIGUSR1, SIGKILL, SIGSTOP, SIGINT, SIGQUIT};

// write(2) straight to the descriptor: stdio is not safe in a handler.
void write_stdout(std::string_view text) { write_all(STDOUT_FILENO, text.data(), text.size()); }

}  // namespace

void on_signal(int signal_number) {
  for (const SignalLine& entry : kSignalLines) {
    if (entry.signal_number == signal_number) write_stdout(entry.line);
  }
  sleep(1);
  if (spi_fd != 0) {
    close(spi_fd);
    spi_fd = 0;
  }
  write_stdout("\nByebye\n");
  _exit(0);
}

void install_signal_handlers() {
  for (int signal_number : kHandledSignals) signal(signal_number, on_signal);
}
