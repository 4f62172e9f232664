// SPDX-License-Identifier: MIT
// Uploads through a pseudo-terminal: the real supctl on the slave side, the
// bootloader played on the master side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>

#include "common/line_flags.h"
#include "common/temp_dir.h"
#include "fake_bootloader.h"

namespace {

const std::string kBanner = "\nAll set, start sending file...\n";

std::string finished(int code) { return "\nFinished with code: " + std::to_string(code) + "\n"; }

// The report of a read that returned text, which holds no zero byte.
std::string read_report(const std::string& text) {
  return "Read " + std::to_string(text.size()) + ": \"" + text + "\"\n";
}

// Opens with the bytes that a line that is not raw would alter or swallow.
std::string image_of(size_t size) {
  const std::string tricky("\x00\x0A\x0D\x11\x13\x7F\xFF", 7);
  std::mt19937 random(static_cast<unsigned>(size));
  std::string image = tricky.substr(0, size);
  while (image.size() < size) image.push_back(static_cast<char>(random()));
  return image;
}

BootloaderScript answering(std::vector<std::string> answers) {
  BootloaderScript script;
  script.answers = std::move(answers);
  return script;
}

class Upload : public testing::Test {
 protected:
  BootloaderRun upload(const std::string& image, BootloaderScript script,
                       const harness::RunOptions& options = {}) {
    const std::string file = dir.write("image.bin", image);
    return run_with_bootloader(pty, {"-p", pty.slave_path(), "-b", file}, std::move(script),
                               options);
  }

  void expect_clean_upload(const BootloaderRun& run, const std::string& image,
                           const std::string& out, size_t read_back_points) {
    EXPECT_TRUE(run.tool.exited_with(0)) << run.tool.describe();
    EXPECT_EQ(run.tool.out, out);
    EXPECT_EQ(run.tool.err, "");
    EXPECT_TRUE(run.received == image) << "the port got other bytes than the file holds";
    EXPECT_EQ(run.tool_waited, std::vector<bool>(read_back_points, true));
  }

  TempDir dir;
  Pty pty;
};

struct SizeCase {
  size_t size;
  std::vector<std::string> answers;  // one per read-back point
  std::string out;
};

class UploadOfSize : public Upload, public testing::WithParamInterface<SizeCase> {};

TEST_P(UploadOfSize, SendsEveryByteAndReadsBackAtThePoints) {
  const std::string image = image_of(GetParam().size);
  const BootloaderRun run = upload(image, answering(GetParam().answers));
  expect_clean_upload(run, image, GetParam().out, GetParam().answers.size());
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, UploadOfSize,
    testing::Values(SizeCase{0, {}, kBanner + finished(0)},
                    SizeCase{1, {"hello"}, kBanner + read_report("hello") + finished(0)},
                    SizeCase{32767, {"one"}, kBanner + read_report("one") + finished(0)},
                    SizeCase{32768,
                             {"one", "two"},
                             kBanner + read_report("one") + read_report("two") + finished(0)},
                    SizeCase{65535,
                             {"one", "two", "three"},
                             kBanner + read_report("one") + read_report("two") +
                                 read_report("three") + "." + finished(0)}),
    [](const testing::TestParamInfo<SizeCase>& info) { return std::to_string(info.param.size); });

TEST_F(Upload, MegabyteArrivesWholeWithReportsAndDotsInPlace) {
  const size_t size = 1 << 20;
  const std::string image = image_of(size);
  // What follows each byte number: the read-back report first, then the dot.
  std::map<size_t, std::string> after_byte;
  BootloaderScript script;
  for (size_t point = 1; point <= size; point += 32767) {
    script.answers.push_back("got " + std::to_string(point));
    after_byte[point] += read_report(script.answers.back());
  }
  for (size_t dot = 65535; dot <= size; dot += 65535) after_byte[dot] += ".";
  std::string out = kBanner;
  for (const auto& [byte_number, text] : after_byte) out += text;
  out += finished(0);

  // A megabyte through qemu-user on a loaded machine can take longer than
  // the harness's usual 20 s; the deadline only guards against a hang.
  harness::RunOptions options;
  options.timeout = std::chrono::minutes(3);
  const BootloaderRun run = upload(image, script, options);
  expect_clean_upload(run, image, out, script.answers.size());
}

struct AnswerCase {
  const char* name;
  size_t size;
  std::vector<std::string> answers;
  std::string reports;
};

class Answer : public Upload, public testing::WithParamInterface<AnswerCase> {};

TEST_P(Answer, IsReportedAsReceived) {
  const std::string image = image_of(GetParam().size);
  const BootloaderRun run = upload(image, answering(GetParam().answers));
  expect_clean_upload(run, image, kBanner + GetParam().reports + finished(0),
                      GetParam().answers.size());
}

std::string alphabet_run(size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) text.push_back(static_cast<char>('a' + i % 26));
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Answer,
    testing::Values(
        // 79 bytes at the first point, the rest at the next one.
        AnswerCase{"LongerThan79",
                   32768,
                   {alphabet_run(100), ""},
                   read_report(alphabet_run(79)) + read_report(alphabet_run(100).substr(79))},
        AnswerCase{"WithZeroByte", 1, {std::string("ab\0cd", 5)}, "Read 5: \"ab\"\n"},
        AnswerCase{"ControlBytes", 1, {"ok\r\n\x11\x13"}, read_report("ok\r\n\x11\x13")}),
    [](const testing::TestParamInfo<AnswerCase>& info) { return info.param.name; });

TEST_F(Upload, LeavesThePortARawLineAndKeepsItsOtherSettings) {
  termios before;
  ASSERT_EQ(tcgetattr(pty.slave(), &before), 0);
  before.c_iflag |= ICRNL | IXON | BRKINT | IXOFF | IXANY;
  before.c_oflag |= OPOST | ONLCR;
  before.c_cflag |= HUPCL | CSTOPB | CRTSCTS;
  before.c_cflag &= ~CLOCAL;
  before.c_lflag |= ICANON | ECHO | ISIG | IEXTEN | ECHOE | ECHOK;
  before.c_cc[VMIN] = 0;
  before.c_cc[VTIME] = 5;
  cfsetspeed(&before, B9600);
  ASSERT_EQ(tcsetattr(pty.slave(), TCSANOW, &before), 0);
  ASSERT_EQ(tcgetattr(pty.slave(), &before), 0);  // as the line really holds them

  const BootloaderRun run = upload(image_of(1), answering({"ok"}));
  EXPECT_TRUE(run.tool.exited_with(0)) << run.tool.describe();
  termios after;
  ASSERT_EQ(tcgetattr(pty.slave(), &after), 0);

  expect_bootloader_line(before, after);
  EXPECT_EQ(after.c_cc[VMIN], 1);
  EXPECT_EQ(after.c_cc[VTIME], 1);
  EXPECT_TRUE(after.c_iflag & IXOFF);
  EXPECT_TRUE(after.c_cflag & HUPCL);
}

TEST_F(Upload, RegularFileAsPortTakesTheUpload) {
  const std::string port = dir.write("port", "");
  const std::string file = dir.write("image.bin", "abc");
  const harness::ChildResult run = run_supctl({"-p", port, "-b", file});
  EXPECT_TRUE(run.exited_with(0)) << run.describe();
  EXPECT_EQ(run.out, "Error from tcgetattr: Inappropriate ioctl for device\n" + kBanner +
                         "Timeout from read OR closed fd\n" + finished(0));
  EXPECT_EQ(read_file(port), "abc");
}

// A closed stdout must not become the port's descriptor: the port gets the
// file's bytes and nothing of the tool's reports.
TEST_F(Upload, ClosedStdoutLeavesThePortToTheFile) {
  const std::string image = image_of(1000);
  harness::RunOptions options;
  options.stdout_to = harness::kClosed;
  const BootloaderRun run = upload(image, answering({"ok"}), options);
  EXPECT_TRUE(run.tool.exited_with(0)) << run.tool.describe();
  EXPECT_TRUE(run.received == image) << run.received.size() << " bytes arrived";
}

TEST_F(Upload, ReportsThatWentNowhereEndItWithStatusOne) {
  const std::string port = dir.write("port", "");
  const std::string file = dir.write("image.bin", "abc");
  harness::RunOptions options;
  options.stdout_to = "/dev/full";
  const harness::ChildResult run = run_supctl({"-p", port, "-b", file}, options);
  EXPECT_TRUE(run.exited_with(1)) << run.describe();
  EXPECT_EQ(run.err, "supctl: write error: No space left on device\n");
  EXPECT_EQ(read_file(port), "abc");
}

TEST_F(Upload, HangUpEndsItWithTheWriteErrorAndStatusOne) {
  const std::string image = image_of(32767);
  BootloaderScript script = answering({"go"});
  script.hang_up_after = 1000;
  const BootloaderRun run = upload(image, script);
  EXPECT_TRUE(run.tool.exited_with(1)) << run.tool.describe();
  EXPECT_EQ(run.tool.out, kBanner + read_report("go") + "Error from write: -1, " +
                              std::to_string(EIO) + "\n" + finished(-2));
  EXPECT_TRUE(run.received == image.substr(0, 1000));
}

// With -t, a bootloader that never answers ends the upload at the first
// read-back point: nothing more is sent.
TEST_F(Upload, SilentBootloaderEndsItAfterTheTimeout) {
  const std::string file = dir.write("image.bin", "ab");
  const BootloaderRun run =
      run_with_bootloader(pty, {"-p", pty.slave_path(), "-b", file, "-t", "1"}, {});
  EXPECT_TRUE(run.tool.exited_with(1)) << run.tool.describe();
  EXPECT_EQ(run.tool.out, kBanner + "No answer within 1 s\n" + finished(-3));
  EXPECT_EQ(run.received, "a");
}

TEST_F(Upload, UnreadableFileEndsItWithStatusOne) {
  const harness::ChildResult run = run_supctl({"-p", pty.slave_path(), "-b", dir.path("")});
  EXPECT_TRUE(run.exited_with(1)) << run.describe();
  EXPECT_EQ(run.out, kBanner + "  TBW: -1\r\n" + finished(-1));
}

// Without a writer, a FIFO reads as an empty file rather than holding the open.
TEST_F(Upload, FifoWithoutWriterIsAnEmptyFile) {
  const std::string port = dir.write("port", "");
  const std::string fifo = dir.path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const harness::ChildResult run = run_supctl({"-p", port, "-b", fifo});
  EXPECT_TRUE(run.exited_with(0)) << run.describe();
  EXPECT_EQ(run.out,
            "Error from tcgetattr: Inappropriate ioctl for device\n" + kBanner + finished(0));
}

struct JsonUploadCase {
  const char* name;
  bool file_unreadable;  // -b names a folder
  std::vector<std::string> answers;
  std::string tail;  // the object from its read-backs on
  int status;
};

class JsonUpload : public Upload, public testing::WithParamInterface<JsonUploadCase> {};

// With -j the text gives way to one object on one line.
TEST_P(JsonUpload, IsOneObjectAtTheEnd) {
  const JsonUploadCase& c = GetParam();
  const std::string file =
      c.file_unreadable ? dir.path("") : dir.write("image.bin", image_of(32768));
  const BootloaderRun run =
      run_with_bootloader(pty, {"-j", "-p", pty.slave_path(), "-b", file}, answering(c.answers));
  EXPECT_TRUE(run.tool.exited_with(c.status)) << run.tool.describe();
  EXPECT_EQ(run.tool.out, R"({"format_version":1,"port":")" + pty.slave_path() + R"(","file":")" +
                              file + R"(","read_backs":)" + c.tail + "\n");
  EXPECT_EQ(run.tool.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Ends, JsonUpload,
    testing::Values(
        JsonUploadCase{"Whole",
                       false,
                       {std::string("ok\0", 3), "two"},
                       R"(["6f6b00","74776f"],"bytes_sent":32768,"result":0,"reason":null})",
                       0},
        JsonUploadCase{"FileUnreadable",
                       true,
                       {},
                       R"([],"bytes_sent":0,"result":-1,"reason":"file_read_failed",)"
                       R"("error_code":"system_error","errno":21,"errno_name":"EISDIR"})",
                       1}),
    [](const testing::TestParamInfo<JsonUploadCase>& info) { return info.param.name; });

TEST(JsonPort, ThatCannotBeOpenedIsAnObjectWithTheErrno) {
  const harness::ChildResult run = run_supctl({"-j", "-p", "/nonexistent/ttyUSB0"});
  EXPECT_TRUE(run.exited_with(1)) << run.describe();
  EXPECT_EQ(
      run.out,
      R"({"format_version":1,"port":"/nonexistent/ttyUSB0","file":null,)"
      R"("error":"can't open port","error_code":"system_error","errno":2,"errno_name":"ENOENT"})"
      "\n");
}

// The open flags of the port's descriptor in the process pid, from /proc.
unsigned port_flags(pid_t pid, const std::string& port) {
  const std::string process = "/proc/" + std::to_string(pid);
  for (const auto& entry : std::filesystem::directory_iterator(process + "/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) != port) continue;
    const std::string info = read_file(process + "/fdinfo/" + entry.path().filename().string());
    return static_cast<unsigned>(std::stoul(info.substr(info.find("flags:") + 6), nullptr, 8));
  }
  return 0;
}

// The controlling terminal of the process pid (0: none), from /proc.
std::string controlling_terminal(pid_t pid) {
  const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream fields(stat.substr(stat.rfind(')') + 1));
  std::string state, ppid, pgrp, session, tty;
  fields >> state >> ppid >> pgrp >> session >> tty;
  return tty;
}

// Opened by a session leader without a terminal, the port still does not
// become the controlling terminal; writes to it are synchronous and reads
// block.
TEST(Port, IsOpenedSyncBlockingAndNotAsControllingTerminal) {
  Pty pty;
  unsigned flags = 0;
  std::string terminal;
  harness::RunOptions options;
  options.new_session = true;
  options.on_output = [&](pid_t pid, const std::string& out) {
    if (out.find("All set") == std::string::npos || !terminal.empty()) return;
    flags = port_flags(pid, pty.slave_path());
    terminal = controlling_terminal(pid);
    kill(pid, SIGKILL);
  };
  run_supctl({"-p", pty.slave_path()}, options);
  EXPECT_EQ(flags & (O_SYNC | O_NONBLOCK | O_ACCMODE), unsigned{O_SYNC | O_RDWR});
  EXPECT_EQ(terminal, "0");
}

struct UnopenablePort {
  std::vector<std::string> args;
  int error;
};

class PortThatCannotBeOpened : public testing::TestWithParam<UnopenablePort> {};

TEST_P(PortThatCannotBeOpened, EndsTheRunWithStatusOne) {
  const harness::ChildResult run = run_supctl(GetParam().args);
  EXPECT_TRUE(run.exited_with(1)) << run.describe();
  EXPECT_EQ(run.out,
            "Error opening " + GetParam().args[1] + ": " + strerror(GetParam().error) + "\n");
  EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PortThatCannotBeOpened,
    testing::Values(UnopenablePort{{"-p", "/nonexistent/ttyUSB0"}, ENOENT},
                    UnopenablePort{{"-p", "/nonexistent/ttyUSB0", "-b", "/etc/hostname"}, ENOENT},
                    UnopenablePort{{"--blport", "/"}, EISDIR}));

}  // namespace
