// SPDX-License-Identifier: MIT
// The bootloader run mode: upload a file to the port, or preview the port.
#pragma once

#include <cstdio>

// Opens the port and the file. Uploads the file, waiting at most
// timeout_seconds for each answer (0: without a limit), and returns the exit
// status: 0 when the whole file went out, 1 when the upload failed or the
// port can't be opened. With json, the upload and a port that can't be
// opened are reported as one JSON object. A file that can't be opened turns
// the run into the port preview instead, which never returns: only a signal
// ends it.
int run_bootloader_mode(const char* port_path, const char* file_path, int timeout_seconds,
                        bool json, FILE* out);
