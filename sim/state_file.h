// SPDX-License-Identifier: MIT
// The simulated supervisor's state as text: one "key = value" line per value,
// kept in a file between runs so a sequence of commands acts on one board.
#pragma once

#include <cstdint>
#include <functional>
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

// How StateFile::update saves.
enum class Save {
  exchange,  // when more than the clock changed, not synced: the board's own exchanges
  change,    // a user's own change: synced, file and folder
  reset,     // a fresh board: as change, and the state there is not even read
};

// The state file of one board. Every change is made under a lock on
// PATH.lock next to the file, held from loading the state to saving it, so
// that runs and commands acting on one board at once lose no update.
class StateFile {
 public:
  StateFile() = default;
  ~StateFile();
  StateFile(const StateFile&) = delete;
  StateFile& operator=(const StateFile&) = delete;

  // Resolves path and checks the state there, without the lock and creating
  // nothing, so that a state that can't be used is refused before anything
  // happens. With fresh (a reset board), only the file is checked, not what
  // it holds.
  bool open(const std::string& path, bool fresh, std::string& error);
  // Creates the folder and the lock file, and makes sure that a new state
  // can be written next to the file.
  bool prepare(std::string& error);
  // Under the lock: loads the state, brings it up to date with now, lets
  // change act on it, and saves it as save says. An exchange that changed
  // the clock alone saves nothing: the board read next runs the battery
  // again from the saved time.
  bool update(uint64_t now, const std::function<void(SupervisorState&)>& change, Save save,
              std::string& error);

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int lock_fd_ = -1;
};

}  // namespace sim
