// SPDX-License-Identifier: MIT
#include "sim/state_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "common/temp_dir.h"
#include "sim/regular_file.h"

namespace {

TEST(StateFile, FormattedStateReadsBackEqual) {
  sim::SupervisorState changed = sim::initial_state();
  changed.device_id.fill(0xA5);
  changed.device_info = " board = rev B ";  // blanks around, an equals sign inside
  changed.millivolts = 65535;
  changed.magic = 0xFFFFFFFF;
  changed.events = {0x00, 0x0A, 0xFF};
  changed.powered_off = 1;
  changed.fault = sim::Fault::settings;
  changed.charge_fraction = 999999;
  changed.charge_updated = UINT64_MAX;

  sim::SupervisorState read = sim::initial_state();
  std::string error;
  ASSERT_TRUE(sim::parse_state(sim::format_state(changed), read, error)) << error;
  EXPECT_EQ(sim::format_state(read), sim::format_state(changed));
  EXPECT_EQ(read.events, changed.events);
  EXPECT_EQ(read, changed);
}

struct BadLine {
  const char* text;
  const char* error;
};

class StateFileErrors : public testing::TestWithParam<BadLine> {};

TEST_P(StateFileErrors, NameTheLineAndTheProblem) {
  sim::SupervisorState state = sim::initial_state();
  std::string error;
  EXPECT_FALSE(sim::parse_state(GetParam().text, state, error));
  EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, StateFileErrors,
    testing::Values(
        BadLine{"millivolts 5", "line 1: expected key = value"},
        BadLine{"# comment\n\nvolts = 5", "line 3: unknown key 'volts'"},
        BadLine{"charge_percent = 256", "line 1: charge_percent: expected a number from 0 to 255"},
        BadLine{"low_bat = -1", "line 1: low_bat: expected a number from 0 to 255"},
        BadLine{"active_mcus = 0x400", "line 1: active_mcus: expected a number from 0 to 1023"},
        BadLine{"device_id = 00", "line 1: device_id: expected 32 hexadecimal digits"},
        BadLine{"events = 1 zz",
                "line 1: events: expected up to 64 hexadecimal event codes "
                "separated by blanks"},
        BadLine{"power_flags = #08", "line 1: power_flags: expected a number from 0 to 255"},
        BadLine{"low_bat = 0x", "line 1: low_bat: expected a number from 0 to 255"},
        BadLine{"device_info = a\tb", "line 1: device_info: control characters are not allowed"},
        BadLine{"fault = loud", "line 1: fault: expected none, silent, transfer or settings"}));

struct GoodValue {
  const char* key;
  const char* value;
  const char* line;  // as format_state writes it
};

class StateValues : public testing::TestWithParam<GoodValue> {};

TEST_P(StateValues, ReadAsTheManPageSays) {
  sim::SupervisorState state = sim::initial_state();
  std::string error;
  ASSERT_TRUE(sim::set_state_value(state, GetParam().key, GetParam().value, error)) << error;
  EXPECT_NE(sim::format_state(state).find(GetParam().line), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Numbers, StateValues,
                         testing::Values(GoodValue{"low_bat", "010", "\nlow_bat = 10\n"},
                                         GoodValue{"low_bat", " 0x1F ", "\nlow_bat = 31\n"},
                                         GoodValue{"rgb", "#ff8000", "\nrgb = 0xff8000\n"},
                                         GoodValue{"fault", "silent", "\nfault = silent\n"}));

// A board whose state file is read every 0.2 s for a minute, draining 1 % a
// minute: reads that change nothing but the clock are not saved (the file
// stays the same file), yet the charge drains.
TEST(StateFileUpdate, ReadsThatChangeNothingSaveNothingYetTheBatteryDrains) {
  const TempDir directory;
  sim::StateFile file;
  std::string error;
  ASSERT_TRUE(file.open(directory.path("state"), false, error) && file.prepare(error)) << error;
  const uint64_t start = 1000000;
  const auto drain = [](sim::SupervisorState& board) {
    board.power_flags = 0;
    board.drain_per_minute = 1;
  };
  ASSERT_TRUE(file.update(start, drain, sim::Save::change, error)) << error;
  struct stat saved, later;
  stat(file.path().c_str(), &saved);
  uint32_t percent = 0;
  const auto read = [&percent](const sim::SupervisorState& board) {
    percent = board.charge_percent;
  };
  for (uint64_t now = start; now < start + 59800000; now += 200000)
    ASSERT_TRUE(file.update(now, read, sim::Save::exchange, error)) << error;
  stat(file.path().c_str(), &later);
  EXPECT_EQ(later.st_ino, saved.st_ino);
  EXPECT_EQ(percent, 87u);
  ASSERT_TRUE(file.update(start + 60000000, read, sim::Save::exchange, error)) << error;
  EXPECT_EQ(percent, 86u);
}

// The mode as it was, whatever the umask; the owner too, as root.
TEST(StateFileSave, ReplacedStateKeepsItsModeAndOwner) {
  const TempDir directory;
  const std::string path = directory.write("state", "low_bat = 5\n");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  const uid_t owner = geteuid() == 0 ? 1234 : geteuid();
  const gid_t group = geteuid() == 0 ? 5678 : getegid();
  ASSERT_EQ(chown(path.c_str(), owner, group), 0);
  sim::StateFile file;
  std::string error;
  ASSERT_TRUE(file.open(path, false, error) && file.prepare(error)) << error;
  ASSERT_TRUE(file.update(
      1, [](sim::SupervisorState& board) { board.low_bat = 6; }, sim::Save::exchange, error))
      << error;
  struct stat info;
  stat(path.c_str(), &info);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(info.st_uid, owner);
  EXPECT_EQ(info.st_gid, group);
  EXPECT_NE(read_file(path).find("low_bat = 6\n"), std::string::npos);
}

// What is opened is checked, and nothing that is not a regular file is
// waited on or written.
TEST(RegularFile, AnythingElseIsRefused) {
  const TempDir directory;
  const std::string fifo = directory.path("fifo"), link = directory.path("link");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(symlink(directory.write("file", "").c_str(), link.c_str()), 0);
  const int socket_fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {AF_UNIX, {}};
  const std::string socket_path = directory.path("socket");
  snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_path.c_str());
  ASSERT_EQ(bind(socket_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::pair<std::string, const char*> refused[] = {
      {fifo, ": not a regular file"},
      {directory.path(""), ": Is a directory"},
      {"/dev/null", ": not a regular file"},
      {socket_path, ": not a regular file"},
      {link, ": Too many levels of symbolic links"}};
  for (const auto& [path, why] : refused) {
    struct stat info;
    std::string error;
    EXPECT_LT(sim::open_regular_file(path, O_RDWR | O_CREAT | O_NOFOLLOW, info, error), 0);
    EXPECT_EQ(error, path + why);
  }
  close(socket_fd);
}

}  // namespace
