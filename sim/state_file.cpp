// SPDX-License-Identifier: MIT
#include "state_file.h"

#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "regular_file.h"
#include "spi/write_all.h"

namespace sim {

namespace {

struct NumberField {
  const char* key;
  uint32_t SupervisorState::*member;
  uint32_t max;
  bool hex;  // written in hexadecimal, as masks and colours read best
};

// charge_fraction follows charge_percent: setting the charge clears it.
constexpr NumberField kNumberFields[] = {
    {"power_flags", &SupervisorState::power_flags, 0xFF, true},
    {"millivolts", &SupervisorState::millivolts, 0xFFFF, false},
    {"charge_percent", &SupervisorState::charge_percent, 0xFF, false},
    {"mode", &SupervisorState::mode, 0xFF, false},
    {"active_mcus", &SupervisorState::active_mcus, 0x3FF, true},
    {"active_usb_ports", &SupervisorState::active_usb_ports, 0x3FF, true},
    {"rgb", &SupervisorState::rgb, 0xFFFFFF, true},
    {"low_bat", &SupervisorState::low_bat, 0xFF, false},
    {"critical_low_bat", &SupervisorState::critical_low_bat, 0xFF, false},
    {"accel_sensitivity", &SupervisorState::accel_sensitivity, 0xFF, false},
    {"temperature", &SupervisorState::temperature, 0xFFFF, false},
    {"magic", &SupervisorState::magic, 0xFFFFFFFF, true},
    {"admin_unlocked", &SupervisorState::admin_unlocked, 1, false},
    {"powered_off", &SupervisorState::powered_off, 1, false},
    {"drain_per_minute", &SupervisorState::drain_per_minute, 0xFFFF, false},
    {"charge_per_minute", &SupervisorState::charge_per_minute, 0xFFFF, false},
    {"charge_fraction", &SupervisorState::charge_fraction, 999999, false},
};

std::string_view trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

bool has_control_character(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// Decimal (010 is ten), 0x-prefixed hexadecimal, or for a colour "#rrggbb";
// no sign, no blanks.
bool parse_number(std::string_view text, uint64_t max, uint64_t& value, bool colour = false) {
  std::string digits(text);
  guint base = 10;
  if (digits.starts_with("0x") || digits.starts_with("0X")) {
    digits.erase(0, 2);
    base = 16;
  } else if (colour && digits.starts_with('#')) {
    digits.erase(0, 1);
    base = 16;
  }
  guint64 number = 0;
  if (!g_ascii_string_to_unsigned(digits.c_str(), base, 0, max, &number, nullptr)) return false;
  value = number;
  return true;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool parse_device_id(std::string_view text, SupervisorState& state) {
  if (text.size() != 2 * state.device_id.size()) return false;
  for (size_t i = 0; i < state.device_id.size(); ++i) {
    const int high = hex_digit(text[2 * i]), low = hex_digit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    state.device_id[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

bool parse_events(std::string_view text, SupervisorState& state) {
  std::vector<uint8_t> events;
  std::istringstream words{std::string(text)};
  for (std::string word; words >> word;) {
    uint64_t code = 0;
    if (!parse_number("0x" + word, 0xFF, code) || events.size() == kMaxQueuedEvents) return false;
    events.push_back(static_cast<uint8_t>(code));
  }
  state.events = std::move(events);
  return true;
}

std::string hex_bytes(const uint8_t* bytes, size_t count, const char* separator) {
  std::string text;
  char cell[3];
  for (size_t i = 0; i < count; ++i) {
    snprintf(cell, sizeof cell, "%02x", bytes[i]);
    if (i > 0) text += separator;
    text += cell;
  }
  return text;
}

// The keys that are not plain numbers; false for any other key.
bool set_special_value(SupervisorState& state, std::string_view key, std::string_view value,
                       std::string& error) {
  if (key == "device_id") {
    if (parse_device_id(value, state)) return true;
    error = "device_id: expected 32 hexadecimal digits";
  } else if (key == "events") {
    if (parse_events(value, state)) return true;
    error = "events: expected up to " + std::to_string(kMaxQueuedEvents) +
            " hexadecimal event codes separated by blanks";
  } else if (key == "fault") {
    if (parse_fault(value, state.fault)) return true;
    error = "fault: expected none, silent, transfer or settings";
  } else if (key == "charge_updated") {
    if (parse_number(value, UINT64_MAX, state.charge_updated)) return true;
    error = "charge_updated: expected a number of microseconds";
  } else {
    error = "unknown key '" + std::string(key) + "'";
  }
  return false;
}

bool make_parent_folder(const std::string& path, std::string& error) {
  g_autofree gchar* folder = g_path_get_dirname(path.c_str());
  if (g_mkdir_with_parents(folder, 0777) == 0) return true;
  error = std::string("cannot create the folder ") + folder + ": " + g_strerror(errno);
  return false;
}

bool sync_folder_of(const std::string& path, std::string& error) {
  g_autofree gchar* folder = g_path_get_dirname(path.c_str());
  const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool synced = fd >= 0 && fsync(fd) == 0;
  if (!synced) error = std::string("cannot sync the folder ") + folder + ": " + g_strerror(errno);
  if (fd >= 0) close(fd);
  return synced;
}

// A new file next to path, created afresh (never through a link) with the
// owner and mode of the file it replaces (kept; the owner only as root,
// who alone may give it), or a new file's mode.
int create_next_to(const std::string& path, const struct stat* kept, std::string& temp,
                   std::string& error) {
  temp = path + ".XXXXXX";
  const int fd = g_mkstemp_full(temp.data(), O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = "cannot create a file next to " + path + ": " + g_strerror(errno);
    return -1;
  }
  if (kept == nullptr || ((geteuid() != 0 || fchown(fd, kept->st_uid, kept->st_gid) == 0) &&
                          fchmod(fd, kept->st_mode & 07777) == 0))
    return fd;
  error = "cannot give " + temp + " the owner and mode of " + path + ": " + g_strerror(errno);
  close(fd);
  g_unlink(temp.c_str());
  return -1;
}

// Writes state to a new file and renames it over path: a crash leaves the
// old state or the new one, never half of one. A durable save also syncs
// the file before the rename and the folder after it.
bool save_state_file(const std::string& path, const SupervisorState& state, const struct stat* kept,
                     bool durable, std::string& error) {
  std::string temp;
  const int fd = create_next_to(path, kept, temp, error);
  if (fd < 0) return false;
  const std::string text = format_state(state);
  const bool written = write_all(fd, text.data(), text.size()) && (!durable || fsync(fd) == 0);
  const int why = errno;
  close(fd);
  if (written && rename(temp.c_str(), path.c_str()) == 0)
    return !durable || sync_folder_of(path, error);
  error = "cannot save the state in " + path + ": " + g_strerror(written ? errno : why);
  g_unlink(temp.c_str());
  return false;
}

// Reads the state at path over state (only when parse is set): missing, it
// stays as it is; else found is set and info holds the file's status.
bool read_state(const std::string& path, SupervisorState& state, struct stat& info, bool& found,
                std::string& error, bool parse = true) {
  std::string text;
  found = read_regular_file(path, O_RDONLY | O_NOFOLLOW, text, info, error);
  if (!found) return errno == ENOENT;
  if (!parse || parse_state(text, state, error)) return true;
  error.insert(0, path + ": ");
  return false;
}

}  // namespace

bool set_state_value(SupervisorState& state, std::string_view key, std::string_view value,
                     std::string& error) {
  if (has_control_character(value)) {
    error = std::string(key) + ": control characters are not allowed";
    return false;
  }
  if (key == "device_info") {
    if (value.size() <= kMaxInfoLength) {
      state.device_info = value;
      return true;
    }
    error = "device_info: at most " + std::to_string(kMaxInfoLength) + " characters";
    return false;
  }
  value = trim(value);
  for (const NumberField& field : kNumberFields) {
    if (key != field.key) continue;
    uint64_t number = 0;
    if (parse_number(value, field.max, number, field.member == &SupervisorState::rgb)) {
      state.*field.member = static_cast<uint32_t>(number);
      if (field.member == &SupervisorState::charge_percent) state.charge_fraction = 0;
      return true;
    }
    error = std::string(key) + ": expected a number from 0 to " + std::to_string(field.max);
    return false;
  }
  return set_special_value(state, key, value, error);
}

bool parse_state(std::string_view text, SupervisorState& state, std::string& error) {
  int number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (line.ends_with('\r')) line.remove_suffix(1);  // a line end, never part of a value
    if (trim(line).empty() || trim(line)[0] == '#') continue;
    const size_t equals = line.find('=');
    std::string why = "expected key = value";
    std::string_view value = equals == std::string_view::npos ? "" : line.substr(equals + 1);
    if (value.starts_with(' ')) value.remove_prefix(1);
    if (equals == std::string_view::npos ||
        !set_state_value(state, trim(line.substr(0, equals)), value, why)) {
      error = "line " + std::to_string(number) + ": " + why;
      return false;
    }
  }
  return true;
}

std::string format_state(const SupervisorState& state) {
  std::string text = "# Simulated power supervisor\n";
  text += "device_id = " + hex_bytes(state.device_id.data(), state.device_id.size(), "") + "\n";
  text += "device_info = " + state.device_info + "\n";
  char number[16];
  for (const NumberField& field : kNumberFields) {
    snprintf(number, sizeof number, field.hex ? "0x%x" : "%u",
             static_cast<unsigned>(state.*field.member));
    text += std::string(field.key) + " = " + number + "\n";
  }
  text += std::string("fault = ") + kFaultNames[static_cast<size_t>(state.fault)] + "\n";
  text += "charge_updated = " + std::to_string(state.charge_updated) + "\n";
  text += "events = " + hex_bytes(state.events.data(), state.events.size(), " ") + "\n";
  return text;
}

bool resolve_state_path(const std::string& path, std::string& resolved, std::string& error) {
  GStatBuf info;
  if (g_lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
    resolved = path;
    return true;
  }
  char* target = realpath(path.c_str(), nullptr);
  if (target == nullptr) {
    const int why = errno;
    error = path + " is a link that leads to no file: " + g_strerror(why);
    return false;
  }
  resolved = target;
  free(target);
  return true;
}

bool load_state_file(const std::string& path, SupervisorState& state, std::string& error) {
  struct stat info;
  bool found = false;
  return read_state(path, state, info, found, error);
}

StateFile::~StateFile() {
  if (lock_fd_ >= 0) close(lock_fd_);
}

bool StateFile::open(const std::string& path, bool fresh, std::string& error) {
  SupervisorState state = initial_state();
  struct stat info;
  bool found = false;
  return resolve_state_path(path, path_, error) &&
         read_state(path_, state, info, found, error, !fresh);
}

bool StateFile::prepare(std::string& error) {
  std::string lock_error;
  struct stat info;
  if (!make_parent_folder(path_, error)) return false;
  lock_fd_ = open_regular_file(path_ + ".lock", O_RDWR | O_CREAT | O_NOFOLLOW, info, lock_error);
  if (lock_fd_ < 0) {
    error = "cannot lock " + lock_error;
    return false;
  }
  std::string temp;
  const int fd = create_next_to(path_, nullptr, temp, error);
  if (fd < 0) return false;
  close(fd);
  g_unlink(temp.c_str());
  return true;
}

bool StateFile::update(uint64_t now, const std::function<void(SupervisorState&)>& change, Save save,
                       std::string& error) {
  while (flock(lock_fd_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    error = "cannot lock " + path_ + ".lock: " + g_strerror(errno);
    return false;
  }
  SupervisorState saved = initial_state(), state;
  struct stat info;
  bool found = false;
  bool done = read_state(path_, saved, info, found, error, save != Save::reset);
  if (done) {
    state = saved;
    bring_up_to_date(state, now);
    change(state);
    const bool durable = save != Save::exchange;
    const bool changed = durable ? state != saved : !only_the_clock_ran(saved, state);
    if (changed) done = save_state_file(path_, state, found ? &info : nullptr, durable, error);
  }
  flock(lock_fd_, LOCK_UN);
  return done;
}

}  // namespace sim
