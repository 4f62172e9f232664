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

// Decimal (010 is ten), 0x hexadecimal with blanks around, # for rgb alone.
TEST(StateFile, NumbersReadAsTheManPageSays) {
  sim::SupervisorState state = sim::initial_state();
  std::string error;
  ASSERT_TRUE(sim::parse_state("low_bat = 010\nmode =  0x1F \nrgb = #ff8000", state, error))
      << error;
  EXPECT_EQ(state.low_bat, 10u);
  EXPECT_EQ(state.mode, 31u);
  EXPECT_EQ(state.rgb, 0xff8000u);
}

// A board read every 0.2 s for a minute, draining 1 % a minute: reads that
// change nothing but the clock save nothing (the file stays the same file),
// yet the charge drains. The save that follows keeps the file's mode,
// whatever the umask, and its owner as root.
TEST(StateFileUpdate, SavesOnlyChangesAndKeepsModeAndOwner) {
  const TempDir directory;
  const std::string path =
      directory.write("state", "power_flags = 0\ndrain_per_minute = 1\ncharge_updated = 1000000\n");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  const uid_t owner = geteuid() == 0 ? 1234 : geteuid();
  const gid_t group = geteuid() == 0 ? 5678 : getegid();
  ASSERT_EQ(chown(path.c_str(), owner, group), 0);
  sim::StateFile file;
  std::string error;
  ASSERT_TRUE(file.open(path, false, error) && file.prepare(error)) << error;
  struct stat saved, later;
  stat(path.c_str(), &saved);
  uint32_t percent = 0;
  const auto read = [&percent](const sim::SupervisorState& board) {
    percent = board.charge_percent;
  };
  for (uint64_t now = 1000000; now < 60800000; now += 200000)
    ASSERT_TRUE(file.update(now, read, sim::Save::exchange, error)) << error;
  stat(path.c_str(), &later);
  EXPECT_EQ(later.st_ino, saved.st_ino);
  EXPECT_EQ(percent, 87u);
  ASSERT_TRUE(file.update(61000000, read, sim::Save::exchange, error)) << error;
  EXPECT_EQ(percent, 86u);
  stat(path.c_str(), &later);
  EXPECT_NE(read_file(path).find("charge_percent = 86\n"), std::string::npos);
  EXPECT_EQ(later.st_mode & 07777, 0640u);
  EXPECT_EQ(later.st_uid, owner);
  EXPECT_EQ(later.st_gid, group);
}

// What is opened is checked, and nothing that is not a regular file is
// waited on or written.
TEST(RegularFile, AnythingElseIsRefused) {
  const TempDir directory;
  const int socket_fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {AF_UNIX, {}};
  const std::string socket_path = directory.path("socket");
  snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_path.c_str());
  ASSERT_EQ(bind(socket_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::pair<std::string, const char*> refused[] = {{directory.path(""), ": Is a directory"},
                                                         {"/dev/null", ": not a regular file"},
                                                         {socket_path, ": not a regular file"}};
  for (const auto& [path, why] : refused) {
    struct stat info;
    std::string error;
    EXPECT_LT(sim::open_regular_file(path, O_RDWR | O_CREAT | O_NOFOLLOW, info, error), 0);
    EXPECT_EQ(error, path + why);
  }
  close(socket_fd);
}

}  // namespace
