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

namespace sim {

namespace {

struct NumberField {
  const char* key;
  uint32_t SupervisorState::*member;
  uint32_t max;
  bool hex;  // written in hexadecimal, as masks and colours read best
};

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
};

std::string_view trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Decimal, 0x-prefixed hexadecimal, or for colours "#rrggbb".
bool parse_number(std::string_view text, uint32_t max, uint32_t& value) {
  std::string digits(text);
  int base = 0;
  if (!digits.empty() && digits[0] == '#') {
    digits.erase(0, 1);
    base = 16;
  }
  if (digits.empty() || digits[0] == '-' || digits[0] == '+') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long number = strtoull(digits.c_str(), &end, base);
  if (errno != 0 || *end != '\0' || number > max) return false;
  value = static_cast<uint32_t>(number);
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
    uint32_t code = 0;
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

bool make_parent_folder(const std::string& path, std::string& error) {
  gchar* folder = g_path_get_dirname(path.c_str());
  const bool made = g_mkdir_with_parents(folder, 0777) == 0;
  const int why = errno;
  if (!made) error = std::string("cannot create the folder ") + folder + ": " + g_strerror(why);
  g_free(folder);
  return made;
}

// Opens lock_path and waits for the lock on it. A link planted at its name
// is refused, not followed, and the command run next to the board does not
// inherit the descriptor.
int lock_file(const std::string& lock_path, std::string& error) {
  const int fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  int locked = -1;
  while (fd >= 0 && (locked = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
  }
  if (locked == 0) return fd;
  const int why = errno;
  if (fd >= 0) close(fd);
  error = "cannot lock " + lock_path + ": " + g_strerror(why);
  return -1;
}

}  // namespace

bool set_state_value(SupervisorState& state, std::string_view key, std::string_view value,
                     std::string& error) {
  for (const NumberField& field : kNumberFields) {
    if (key != field.key) continue;
    if (parse_number(value, field.max, state.*field.member)) return true;
    error = std::string(key) + ": expected a number from 0 to " + std::to_string(field.max);
    return false;
  }
  if (key == "device_id") {
    if (parse_device_id(value, state)) return true;
    error = "device_id: expected 32 hexadecimal digits";
  } else if (key == "device_info") {
    if (value.size() <= kMaxInfoLength && value.find('\0') == std::string_view::npos) {
      state.device_info = value;
      return true;
    }
    error = "device_info: at most " + std::to_string(kMaxInfoLength) + " characters";
  } else if (key == "events") {
    if (parse_events(value, state)) return true;
    error = "events: expected up to " + std::to_string(kMaxQueuedEvents) +
            " hexadecimal event codes separated by blanks";
  } else {
    error = "unknown key '" + std::string(key) + "'";
  }
  return false;
}

bool parse_state(std::string_view text, SupervisorState& state, std::string& error) {
  int number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (line.empty() || line[0] == '#') continue;
    const size_t equals = line.find('=');
    std::string why = "expected key = value";
    if (equals == std::string_view::npos ||
        !set_state_value(state, trim(line.substr(0, equals)), trim(line.substr(equals + 1)), why)) {
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
  gchar* contents = nullptr;
  gsize length = 0;
  GError* failure = nullptr;
  if (!g_file_get_contents(path.c_str(), &contents, &length, &failure)) {
    const bool missing = g_error_matches(failure, G_FILE_ERROR, G_FILE_ERROR_NOENT);
    if (!missing) error = failure->message;
    g_error_free(failure);
    return missing;
  }
  const bool parsed = parse_state(std::string_view(contents, length), state, error);
  g_free(contents);
  if (!parsed) error.insert(0, path + ": ");
  return parsed;
}

bool save_state_file(const std::string& path, const SupervisorState& state, std::string& error) {
  const std::string text = format_state(state);
  GError* failure = nullptr;
  if (g_file_set_contents_full(path.c_str(), text.data(), static_cast<gssize>(text.size()),
                               static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT |
                                                                  G_FILE_SET_CONTENTS_DURABLE),
                               0666, &failure))
    return true;
  error = failure->message;
  g_error_free(failure);
  return false;
}

StateFile::~StateFile() {
  if (lock_fd_ >= 0) close(lock_fd_);
}

bool StateFile::open(const std::string& path, std::string& error) {
  if (!resolve_state_path(path, path_, error) || !make_parent_folder(path_, error)) return false;
  lock_fd_ = lock_file(path_ + ".lock", error);
  return lock_fd_ >= 0;
}

}  // namespace sim
