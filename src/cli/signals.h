// SPDX-License-Identifier: MIT
// Orderly end of a run on SIGUSR1, SIGINT and SIGQUIT.
#pragma once

// Names the signal (SIGQUIT silently), waits one second, closes the SPI
// device when it is open, says "Byebye" and ends the process with status 0.
// Uses only async-signal-safe calls, since it may interrupt anything.
[[noreturn]] void on_signal(int signal_number);

// Installs on_signal for the run; called once the options are parsed.
void install_signal_handlers();
