// SPDX-License-Identifier: MIT
// Running a command next to the emulated device.
#pragma once

#include <signal.h>

#include <string>
#include <vector>

namespace sim {

// Puts the folder that holds this program at the front of PATH unless it is
// on PATH already, so that a command named without a folder, and the
// programs it starts, find the supctl built or installed next to
// supctl-sim; an installed supctl-sim is on PATH, which then stays as it
// is. Call it before any thread starts.
void put_own_folder_on_path();

// The signals that would end this process from outside (SIGPIPE is
// ignored once umockdev runs; the faults of the process itself end the
// command too, see run_next_to_device): supctl-sim passes them on to the
// command and ends when the command does.
sigset_t passed_signals();

// Holds passed_signals() back in this thread and in every thread it starts
// from now on, so that none of them ends this process; run_next_to_device
// passes them on. Call it before the emulated device starts its threads.
void hold_passed_signals();

// Runs argv[0] (looked up in PATH) with the caller's standard streams while
// the emulated device is answered on its own thread, passes the held
// signals on to it, and returns its wait status. The command starts with
// the default action and no block for every signal, whatever this process
// has set, and gets SIGTERM when this process ends first, however it ends.
// A command that can't be run ends with 127 when it is not found, else 126.
// Call it from the main thread.
int run_next_to_device(const std::vector<std::string>& argv);

}  // namespace sim
