// SPDX-License-Identifier: MIT
// drill-board: the power supervisor in the power-fail drill's guest
// (scripts/drill). It holds the virtual SPI controller's peer device
// (tests/kernel/vspi.h) and answers every transfer with the project's
// supervisor model (sim/supervisor_model.h), and takes the host's commands
// on the control line, /dev/ttyS1, one a line:
//   line 0|1           line power lost or back
//   charge PERCENT     the battery's charge
//   drain PERCENT      percent a minute drained on battery
//   bus normal|silent|zeros  the model answers, or every byte reads 0xFF
//                      or 0x00
//   hold SECONDS       the controller holds the next transfer's end so long
//   run ID COMMAND     /bin/sh -c COMMAND, its output lines sent back as
//                      "out ID LINE", its end as "exit ID STATUS"
// Each command but run is answered "ok COMMAND" once it holds, or
// "error COMMAND". Every change of the board goes to the kernel log.
// drill.hold=SECONDS on the kernel command line holds the first transfer
// that way. On SIGTERM (systemd-shutdown's, at the end of a shutdown) it
// leaves the model's replies to what `supctl-monitor --once` sends in the
// controller's queue, so that the reads after every process has gone see
// the board as it is, and ends.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/supervisor_model.h"
#include "spi/write_all.h"
#include "tests/kernel/vspi.h"

namespace {

constexpr char kPeer[] = "/dev/vspi-peer";
constexpr char kLine[] = "/dev/ttyS1";
constexpr char kDebug[] = "/sys/kernel/debug/vspi/";

enum class Bus { normal, silent, zeros };

sim::SupervisorState board = sim::initial_state();
Bus bus = Bus::normal;
int kmsg = -1;
int line = -1;
int replies = -1;

// A line in the kernel log, at KERN_NOTICE.
[[gnu::format(printf, 1, 2)]] void note(const char* format, ...) {  // NOLINT(cert-dcl50-cpp)
  std::array<char, 512> text{};
  int used = snprintf(text.data(), text.size(), "<5>drill-board: ");
  va_list args;
  va_start(args, format);
  used += vsnprintf(text.data() + used, text.size() - static_cast<size_t>(used), format, args);
  va_end(args);
  const size_t length = std::min(static_cast<size_t>(used), text.size() - 1);
  if (kmsg < 0 || !write_all(kmsg, text.data(), length)) fprintf(stderr, "%s\n", text.data() + 3);
}

std::string hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  std::array<char, 3> digits{};
  for (const uint8_t byte : bytes) {
    snprintf(digits.data(), digits.size(), "%02x", byte);
    text += digits.data();
  }
  return text;
}

uint64_t now_us() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

// What the bus gives back for the frame tx: the model's reply, or a fault's.
std::vector<uint8_t> answer(const std::vector<uint8_t>& tx) {
  std::vector<uint8_t> rx(tx.size(), bus == Bus::zeros ? 0x00 : 0xFF);
  if (bus != Bus::normal) return rx;
  sim::bring_up_to_date(board, now_us());
  sim::answer_frame(board, tx, rx);
  return rx;
}

void send_line(const std::string& text) {
  const std::string whole = text + "\n";
  if (!write_all(line, whole.data(), whole.size()))
    note("the control line failed: %s", strerror(errno));
}

bool write_debug(const char* name, unsigned value) {
  const std::string path = std::string(kDebug) + name;
  std::ofstream file(path);
  file << value << "\n";
  file.flush();
  return static_cast<bool>(file);
}

// Answers the one transfer that waits on the peer device.
void serve(int peer) {
  std::vector<uint8_t> buffer(sizeof(vspi_request) + VSPI_PEER_MAX_LEN);
  const ssize_t got = read(peer, buffer.data(), buffer.size());
  if (got < static_cast<ssize_t>(sizeof(vspi_request))) return;
  vspi_request request{};
  memcpy(&request, buffer.data(), sizeof request);
  const auto* tx = buffer.data() + sizeof request;
  const std::vector<uint8_t> rx = answer(std::vector<uint8_t>(tx, tx + request.len));
  std::vector<uint8_t> reply(sizeof(vspi_answer) + rx.size());
  const vspi_answer head{request.id};
  memcpy(reply.data(), &head, sizeof head);
  std::copy(rx.begin(), rx.end(), reply.begin() + sizeof head);
  if (write(peer, reply.data(), reply.size()) < 0)
    note("#%u the answer was not taken: %s", static_cast<unsigned>(request.id), strerror(errno));
}

struct Child {
  pid_t pid;
  int output;
  std::string id;
  std::string pending;  // output not yet ended by a newline
};
std::vector<Child> children;

void start(const std::string& id, const std::string& command) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    send_line("exit " + id + " pipe failed");
    return;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(ends[1], STDOUT_FILENO);
    dup2(ends[1], STDERR_FILENO);
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, STDIN_FILENO);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ends[1]);
  if (pid < 0) {
    close(ends[0]);
    send_line("exit " + id + " fork failed");
    return;
  }
  note("run %s: %s", id.c_str(), command.c_str());
  children.push_back({pid, ends[0], id, ""});
}

// Takes what a child wrote; false once it has ended (and been reported).
bool drain(Child& child) {
  std::array<char, 1024> buffer{};
  const ssize_t got = read(child.output, buffer.data(), buffer.size());
  if (got < 0 && errno == EINTR) return true;
  if (got > 0) {
    child.pending.append(buffer.data(), static_cast<size_t>(got));
    for (size_t end; (end = child.pending.find('\n')) != std::string::npos;) {
      send_line("out " + child.id + " " + child.pending.substr(0, end));
      child.pending.erase(0, end + 1);
    }
    return true;
  }
  if (!child.pending.empty()) send_line("out " + child.id + " " + child.pending);
  close(child.output);
  int status = 0;
  waitpid(child.pid, &status, 0);
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  send_line("exit " + child.id + " " + std::to_string(code));
  return false;
}

bool number(const std::string& word, uint32_t& value, uint32_t most) {
  char* end = nullptr;
  errno = 0;
  const unsigned long parsed = strtoul(word.c_str(), &end, 10);
  if (word.empty() || *end != '\0' || errno != 0 || parsed > most) return false;
  value = static_cast<uint32_t>(parsed);
  return true;
}

// Carries out one command of the host's; false for one it does not know.
bool command(const std::string& text) {
  std::istringstream words(text);
  std::string verb, argument;
  words >> verb >> argument;
  uint32_t value = 0;
  sim::bring_up_to_date(board, now_us());
  const sim::SupervisorState before = board;
  if (verb == "line" && (argument == "0" || argument == "1")) {
    board.power_flags = argument == "1" ? board.power_flags | sim::kLinePower | sim::kPowerGood
                                        : board.power_flags & ~(sim::kLinePower | sim::kPowerGood);
    note("line power %s", argument == "1" ? "back" : "lost");
  } else if (verb == "charge" && number(argument, value, 100)) {
    board.charge_percent = value;
    note("charge %u%%", value);
  } else if (verb == "drain" && number(argument, value, 100000)) {
    board.drain_per_minute = value;
    note("draining %u%% a minute on battery", value);
  } else if (verb == "bus" &&
             (argument == "normal" || argument == "silent" || argument == "zeros")) {
    bus = argument == "normal" ? Bus::normal : argument == "silent" ? Bus::silent : Bus::zeros;
    note("bus %s", argument.c_str());
  } else if (verb == "hold" && number(argument, value, 600) &&
             write_debug("hold_ms", value * 1000)) {
    note("the next transfer is held %u s", value);
  } else if (verb == "run" && !argument.empty()) {
    std::string rest;
    std::getline(words >> std::ws, rest);
    start(argument, rest);
    return true;
  } else {
    return false;
  }
  sim::react_to_change(before, board);
  return true;
}

// The replies `supctl-monitor --once` reads, in its order: the power
// status, the two thresholds and the temperature.
void leave_replies() {
  const std::vector<std::vector<uint8_t>> frames = {{0x23, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                                                    {0x29, 0xFF, 0xFF, 0xFF},
                                                    {0x2A, 0xFF, 0xFF, 0xFF},
                                                    {0x2C, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
  std::string status;
  for (const auto& frame : frames) {
    const std::vector<uint8_t> rx = answer(frame);
    if (status.empty()) status = hex(rx);
    if (replies < 0 || write(replies, rx.data(), rx.size()) < 0) {
      note("stopping: the controller's queue took no reply: %s", strerror(errno));
      return;
    }
  }
  note("stopping: the power status %s left in the controller's queue", status.c_str());
}

// drill.hold=SECONDS on the kernel command line, or 0.
uint32_t first_hold() {
  std::ifstream cmdline("/proc/cmdline");
  uint32_t seconds = 0;
  for (std::string word; cmdline >> word;)
    if (word.rfind("drill.hold=", 0) == 0 && !number(word.substr(11), seconds, 600)) seconds = 0;
  return seconds;
}

void notify_ready() {
  const char* path = getenv("NOTIFY_SOCKET");
  if (path == nullptr || path[0] == '\0' || strlen(path) >= sizeof(sockaddr_un::sun_path)) return;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, path, sizeof address.sun_path - 1);
  if (path[0] == '@') address.sun_path[0] = '\0';
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + strlen(path));
  constexpr char kReady[] = "READY=1";
  if (fd < 0 ||
      sendto(fd, kReady, sizeof kReady - 1, 0, reinterpret_cast<sockaddr*>(&address), length) < 0)
    note("READY=1 not sent: %s", strerror(errno));
  if (fd >= 0) close(fd);
}

}  // namespace

int main() {
  kmsg = open("/dev/kmsg", O_WRONLY | O_CLOEXEC);
  signal(SIGPIPE, SIG_IGN);  // the journal is gone at the end of a shutdown
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  sigprocmask(SIG_BLOCK, &stops, nullptr);
  const int signals = signalfd(-1, &stops, SFD_CLOEXEC);
  // Opening the queue empties it; the replies are written at the end.
  replies = open((std::string(kDebug) + "reply").c_str(), O_WRONLY | O_CLOEXEC);
  const int peer = open(kPeer, O_RDWR | O_CLOEXEC);
  line = open(kLine, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios raw{};
  if (signals < 0 || replies < 0 || peer < 0 || line < 0 || tcgetattr(line, &raw) != 0) {
    note("cannot start: %s", strerror(errno));
    return 1;
  }
  cfmakeraw(&raw);
  cfsetspeed(&raw, B115200);
  tcsetattr(line, TCSANOW, &raw);
  board.events.clear();
  // A guest that the host starves for a while must not read as a silent
  // board: the controller waits for the board up to 10 s.
  if (!write_debug("peer_timeout_ms", 10000)) note("peer_timeout_ms not set: %s", strerror(errno));
  if (const uint32_t hold = first_hold(); hold > 0 && write_debug("hold_ms", hold * 1000))
    note("the first transfer is held %u s", hold);
  note("playing the supervisor: line power, %u%%", board.charge_percent);
  notify_ready();

  std::string input;
  for (;;) {
    std::vector<pollfd> watched = {{peer, POLLIN, 0}, {line, POLLIN, 0}, {signals, POLLIN, 0}};
    for (const Child& child : children) watched.push_back({child.output, POLLIN, 0});
    if (poll(watched.data(), watched.size(), -1) < 0) {
      if (errno == EINTR) continue;
      note("poll failed: %s", strerror(errno));
      return 1;
    }
    if (watched[2].revents != 0) break;
    if (watched[0].revents & POLLIN) serve(peer);
    if (watched[1].revents & POLLIN) {
      std::array<char, 512> buffer{};
      const ssize_t got = read(line, buffer.data(), buffer.size());
      if (got > 0) input.append(buffer.data(), static_cast<size_t>(got));
      for (size_t end; (end = input.find('\n')) != std::string::npos;) {
        std::string text = input.substr(0, end);
        input.erase(0, end + 1);
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty()) continue;
        const bool done = command(text);
        if (text.rfind("run ", 0) != 0 || !done) send_line((done ? "ok " : "error ") + text);
      }
    }
    for (size_t i = 0; i < children.size(); ++i) {
      if (watched[3 + i].revents == 0 || drain(children[i])) continue;
      children.erase(children.begin() + static_cast<long>(i));
      watched.erase(watched.begin() + static_cast<long>(3 + i));
      --i;
    }
  }
  leave_replies();
  close(peer);
  return 0;
}
