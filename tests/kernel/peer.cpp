// SPDX-License-Identifier: MIT
// The host's side of one kernel test machine: makes a pseudo-terminal for
// the machine's bootloader line, boots the machine (QEMU..., in which @PTY@
// stands for the line), reads the results that its /init prints on the
// console and plays the bootloader on the line when a case asks for it.
// Prints the kernel's release, a FAIL line per failed case and the counts;
// exits 0 only when every case passed.
//
//   peer NAME ROOT [--line-settings] QEMU... 2>LOG
//
// Upload images are read from ROOT, the machine's initramfs tree; the
// console and qemu's messages go to stderr. --line-settings checks after
// each upload the settings that the machine's UART model copied onto the
// line.
// Console lines from /init: "@kernel RELEASE", "@case NAME", "@ok",
// "@fail REASON", "@done", "@send TEXT" (write TEXT to the line) and
// "@serve FILE HANG ANSWER...": take FILE's bytes from the line, answering
// at the read-back points, and hang up after HANG bytes unless it is "-".
// The peer answers each "@ok" and "@fail" with a line on the console once it
// is done with the case; /init waits for it before the next case.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr unsigned kMachineSeconds = 200;
// At a read-back point the line must stay silent this long before the
// answer goes out; during an upload it may pause at most kStallMs.
constexpr int kQuietMs = 200;
constexpr int kStallMs = 30000;
constexpr size_t kReadBackInterval = 32767;

std::string machine, root;
bool line_settings = false;
int master = -1;
int slave = -1;
int console_in = -1;  // what the machine reads on its console
pid_t qemu = -1;
std::string current = "boot";  // the case that runs
std::string host_finding;      // what the host found wrong in it
bool upload_taken = false;     // nothing more may come until the case ends
int passed = 0;
int failed = 0;

bool readable(int fd, int milliseconds) {
  pollfd ready = {fd, POLLIN, 0};
  return poll(&ready, 1, milliseconds) > 0;
}

// Ends the current case. The tool has ended by then, so all that it wrote
// after an upload's last byte has reached the line.
void result(std::string reason) {
  if (upload_taken && readable(master, kQuietMs) && host_finding.empty())
    host_finding = "more bytes came than the file holds";
  upload_taken = false;
  if (!host_finding.empty()) reason += (reason.empty() ? "host: " : "; host: ") + host_finding;
  if (reason.empty()) {
    ++passed;
    return;
  }
  ++failed;
  printf("FAIL %s %s: %s\n", machine.c_str(), current.c_str(), reason.c_str());
}

// The UART's registers as qemu copied them onto the line: 115200 8N1.
std::string check_line_settings() {
  termios line;
  if (tcgetattr(slave, &line) != 0) return "tcgetattr on the line failed";
  if (cfgetospeed(&line) == B115200 && cfgetispeed(&line) == B115200 &&
      (line.c_cflag & (CSIZE | PARENB | CSTOPB)) == CS8)
    return "";
  char text[80];
  snprintf(text, sizeof text, "line set to speed %#o, cflag %#o", cfgetospeed(&line), line.c_cflag);
  return text;
}

// Takes an upload of file from the line, answering at each read-back point
// (after byte 1, then every 32767 bytes) once the line has stayed silent.
std::string serve(const std::string& file, size_t hang_up,
                  const std::vector<std::string>& answers) {
  std::ifstream in(root + file, std::ios::binary);
  const std::string image{std::istreambuf_iterator<char>(in), {}};
  const size_t last = std::min(hang_up, image.size());
  std::string got, finding;
  size_t point = 1;
  size_t answered = 0;
  char buffer[4096];
  for (;;) {
    if (got.size() == point) {
      if (readable(master, kQuietMs) && finding.empty())
        finding = "byte " + std::to_string(point + 1) + " came before the answer to byte " +
                  std::to_string(point);
      if (answered < answers.size()) {
        const std::string& answer = answers[answered++];
        if (write(master, answer.data(), answer.size()) != static_cast<ssize_t>(answer.size()))
          return "writing the answer failed";
      }
      point += kReadBackInterval;
      continue;
    }
    if (got.size() == last) break;
    const size_t wanted = std::min({sizeof buffer, point - got.size(), last - got.size()});
    const ssize_t count = readable(master, kStallMs) ? read(master, buffer, wanted) : 0;
    if (count <= 0)
      return "the line gave nothing more after " + std::to_string(got.size()) + " bytes";
    got.append(buffer, static_cast<size_t>(count));
  }
  if (hang_up < image.size()) {
    close(master);
    master = -1;
    return finding;
  }
  upload_taken = true;
  if (got != image) {
    const auto at = std::mismatch(got.begin(), got.end(), image.begin()).first - got.begin();
    return "byte " + std::to_string(at + 1) + " differs from the file";
  }
  if (finding.empty() && line_settings) finding = check_line_settings();
  return finding;
}

// Returns false once the machine is done.
bool handle(const std::string& line) {
  std::istringstream words(line);
  std::string verb, rest;
  words >> verb;
  std::getline(words >> std::ws, rest);
  if (verb == "@kernel") {
    printf("%s: kernel %s\n", machine.c_str(), rest.c_str());
  } else if (verb == "@case") {
    current = rest;
    host_finding.clear();
  } else if (verb == "@send") {
    if (write(master, rest.data(), rest.size()) != static_cast<ssize_t>(rest.size()))
      host_finding = "writing to the line failed";
  } else if (verb == "@serve") {
    std::istringstream fields(rest);
    std::string file, hang_up;
    fields >> file >> hang_up;
    std::vector<std::string> answers;
    for (std::string answer; fields >> answer;) answers.push_back(answer);
    host_finding = serve(file, hang_up == "-" ? SIZE_MAX : std::stoul(hang_up), answers);
  } else if (verb == "@ok" || verb == "@fail") {
    result(rest);
    if (write(console_in, "\n", 1) != 1) perror("peer: the machine's console");
  }
  return verb != "@done";
}

// The line's slave side is made raw before qemu opens it: qemu leaves
// output processing on, and an upload must reach the master unchanged.
bool open_line(std::string& path) {
  master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[64];
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
      ptsname_r(master, name, sizeof name) != 0)
    return false;
  path = name;
  slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios raw;
  if (slave < 0 || tcgetattr(slave, &raw) != 0) return false;
  cfmakeraw(&raw);
  return tcsetattr(slave, TCSANOW, &raw) == 0;
}

// Starts the command with its stdin from console_in and its stdout on the
// returned stream.
FILE* start(std::vector<std::string> command, const std::string& line) {
  int ends[2];
  int input[2];
  if (pipe2(ends, O_CLOEXEC) != 0 || pipe2(input, O_CLOEXEC) != 0 || (qemu = fork()) < 0)
    return nullptr;
  if (qemu == 0) {
    std::vector<char*> argv;
    for (std::string& word : command) {
      if (word == "@PTY@") word = line;
      argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    dup2(input[0], STDIN_FILENO);
    dup2(ends[1], STDOUT_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(ends[1]);
  close(input[0]);
  console_in = input[1];
  return fdopen(ends[0], "r");
}

void on_alarm(int) { kill(qemu, SIGKILL); }

}  // namespace

int main(int argc, char* argv[]) {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  std::vector<std::string> args(argv + 1, argv + argc);
  line_settings = args.size() > 2 && args[2] == "--line-settings";
  if (args.size() < 3u + line_settings) {
    fprintf(stderr, "usage: peer NAME ROOT [--line-settings] QEMU... 2>LOG\n");
    return 2;
  }
  machine = args[0];
  root = args[1];
  std::string line;
  FILE* console =
      open_line(line) ? start({args.begin() + 2 + line_settings, args.end()}, line) : nullptr;
  if (!console) {
    perror("peer: cannot start the machine");
    return 2;
  }
  signal(SIGALRM, on_alarm);
  signal(SIGPIPE, SIG_IGN);  // a machine that has ended reads nothing more
  alarm(kMachineSeconds);

  bool running = true;
  char* text = nullptr;
  size_t size = 0;
  for (ssize_t length; running && (length = getline(&text, &size, console)) > 0;) {
    fwrite(text, 1, static_cast<size_t>(length), stderr);
    std::string printed(text, static_cast<size_t>(length));
    std::erase_if(printed, [](char c) { return c == '\r' || c == '\n'; });
    if (printed.rfind('@', 0) == 0) running = handle(printed);
  }
  int status = 0;
  waitpid(qemu, &status, 0);
  if (running) {
    result("the machine stopped before its last case");
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    current = "power-off";
    result("qemu ended with status " + std::to_string(status));
  }
  printf("%s: %d passed, %d failed\n", machine.c_str(), passed, failed);
  return failed == 0 ? 0 : 1;
}
