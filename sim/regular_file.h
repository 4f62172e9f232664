// SPDX-License-Identifier: MIT
// Opening the files that supctl-sim is named (state, lock, trace) so that
// nothing else is ever taken for one: a device node, FIFO, socket or folder
// at the name is refused, never waited on and never replaced.
#pragma once

#include <sys/stat.h>

#include <string>

namespace sim {

// Opens path with flags (O_RDONLY, or O_RDWR | O_CREAT for a file made on
// demand) and returns the descriptor, whose type was checked after the open
// (fstat), so no name looked at earlier stands in for what was opened. The
// open never waits (O_NONBLOCK) and never makes a terminal the controlling
// one. On failure returns -1 with errno kept and "PATH: reason" in error.
int open_regular_file(const std::string& path, int flags, struct stat& info, std::string& error);

// The whole text of the regular file at path, opened as above; its status
// in info. A file larger than any state or trace is refused.
bool read_regular_file(const std::string& path, int flags, std::string& text, struct stat& info,
                       std::string& error);

}  // namespace sim
