// The simulated supervisor's state as text: one "key = value" line per value,
// kept in a file between runs so a sequence of commands acts on one board.
#pragma once

#include <string>
#include <string_view>

#include "supervisor_model.h"

namespace sim {

// Sets the value called key from its text; on failure says why in error.
bool set_state_value(SupervisorState& state, std::string_view key, std::string_view value,
                     std::string& error);

// Applies every "key = value" line of text; blank lines and lines starting
// with '#' are skipped.
bool parse_state(std::string_view text, SupervisorState& state, std::string& error);

std::string format_state(const SupervisorState& state);

// A missing file leaves state as it is.
bool load_state_file(const std::string& path, SupervisorState& state, std::string& error);

// Writes through a temporary file, so a crash never leaves half a state.
bool save_state_file(const std::string& path, const SupervisorState& state, std::string& error);

}  // namespace sim
