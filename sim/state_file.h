// SPDX-License-Identifier: MIT
// The simulated supervisor's state as text: one "key = value" line per value,
// kept in a file between runs so a sequence of commands acts on one board.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

#include "supervisor_model.h"

namespace sim {

// Sets the value called key from its text; on failure says why in error.
// Text is taken as it is; numbers may have blanks around them.
bool set_state_value(SupervisorState& state, std::string_view key, std::string_view value,
                     std::string& error);

// Applies every "key = value" line of text; blank lines and lines starting
// with '#' are skipped. The value is what follows the '=' and one blank.
bool parse_state(std::string_view text, SupervisorState& state, std::string& error);

std::string format_state(const SupervisorState& state);

// The file that path names: for a link, the file it leads to, so that
// saving replaces that file and keeps the link. A link that leads nowhere is
// refused.
bool resolve_state_path(const std::string& path, std::string& resolved, std::string& error);

// Reads the state at path over state; a missing file leaves state as it is.
// Anything but a regular file is refused, and a link at path is not followed.
bool load_state_file(const std::string& path, SupervisorState& state, std::string& error);

// The state file of one board, locked while this is open so that runs on
// the same board take turns: each loads what the one before it saved.
class StateFile {
 public:
  StateFile() = default;
  ~StateFile();
  StateFile(const StateFile&) = delete;
  StateFile& operator=(const StateFile&) = delete;

  // Resolves path and refuses anything but a regular file there, creating
  // nothing; then creates its folder and locks PATH.lock next to the file,
  // waiting while another run holds it.
  bool open(const std::string& path, std::string& error);
  // Reads the state over state; a missing file leaves it as it is.
  bool load(SupervisorState& state, std::string& error);
  // Writes a new file next to the state, created afresh (never through a
  // link) with the mode and owner of the file it replaces, syncs it and
  // renames it over the state: a crash leaves the old state or the new one,
  // never half of one.
  bool save(const SupervisorState& state, std::string& error);

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int lock_fd_ = -1;
  bool found_ = false;  // the state file was there when loaded, as kept_ says
  struct stat kept_ = {};
};

}  // namespace sim
