// SPDX-License-Identifier: MIT
// supctl-sim: runs a command with a simulated power supervisor behind
// /dev/spidev0.1. The supervisor keeps its state in a file between runs, so
// a sequence of commands acts on one board; a second supctl-sim changes
// that board while a command runs on it.
#include <fcntl.h>
#include <getopt.h>
#include <glib.h>
#include <linux/spi/spidev.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "command_runner.h"
#include "emulated_spidev.h"
#include "state_file.h"
#include "supervisor_model.h"
#include "trace_replay.h"

namespace {

struct SimOptions {
  std::string state_path;
  std::string replay_path;
  bool replay = false;
  bool fail_unrecorded = false;
  int board_options = 0;  // given options that act on the simulated board
  bool reset = false;
  bool show = false;
  std::optional<sim::Fault> fault;       // for this run only
  std::vector<std::string> assignments;  // "key=value", checked
  std::vector<std::string> command;

  bool changes_board() const { return reset || !assignments.empty(); }
};

void print_help(FILE* out, const char* program) {
  fprintf(out,
          "Usage: %s [OPTIONS] -- COMMAND [ARGS...]\n"
          "       %s [-s FILE] [-r] -S KEY=VALUE...\n"
          "Runs COMMAND with a simulated power supervisor behind /dev/spidev0.1.\n"
          "The supervisor's state is kept in a file between runs. COMMAND is looked up\n"
          "in PATH, with supctl-sim's own folder first when it is not on PATH.\n"
          "Without COMMAND, --reset and --set change the board and exit; a command\n"
          "running on it sees the change at its next exchange.\n"
          "\n"
          "  -s, --state FILE     state file (default: $XDG_STATE_HOME/supctl-sim/state,\n"
          "                       or ~/.local/state/supctl-sim/state)\n"
          "  -r, --reset          start from a fresh board instead of the saved state\n"
          "  -S, --set KEY=VALUE  change one value of the board; repeatable\n"
          "  -f, --fault MODE     for this run only (--set fault=MODE keeps it):\n"
          "                       silent:   the bus answers 0xFF to every frame\n"
          "                       transfer: every transfer fails (EIO)\n"
          "                       settings: the device refuses its SPI mode (EINVAL)\n"
          "      --show           print the state a run would start from (after --reset\n"
          "                       and --set) and exit; nothing is saved\n"
          "      --replay TRACE   answer as the board did in TRACE, the output of\n"
          "                       supctl -D runs, instead of as the simulated board;\n"
          "                       no state file is read or written\n"
          "      --fail-unrecorded  with --replay: a frame never recorded fails its\n"
          "                       transfer (EIO), and the run ends with status 2\n"
          "  -h, --help           this help\n"
          "\n"
          "Keys: device_id (32 hex digits), device_info (text), power_flags\n"
          "(bit 0 motion, 1 charging, 2 pg, 3 line), millivolts, charge_percent,\n"
          "mode, active_mcus and active_usb_ports (bit masks), events (hex codes),\n"
          "rgb, low_bat, critical_low_bat, accel_sensitivity, temperature (tenths\n"
          "of a degree), magic, admin_unlocked, powered_off (0 turns the board on),\n"
          "fault (none, silent, transfer, settings), drain_per_minute and\n"
          "charge_per_minute (percent a minute off line power and on it).\n"
          "Numbers are decimal or 0x hexadecimal. A changed value queues the events\n"
          "a supervisor would: see supctl-sim(1).\n"
          "\n"
          "Examples:\n"
          "  %s --set charge_percent=15 -- supctl -v -o GET_Event\n"
          "  %s --set power_flags=0 --set drain_per_minute=30\n"
          "  %s --reset --show\n",
          program, program, program, program, program);
}

// Ends a run whose only work was printing: output that could not be
// written (a full disk, a closed pipe) fails it.
int finish_output(int status) {
  if (fflush(stdout) == 0 && !ferror(stdout)) return status;
  fprintf(stderr, "supctl-sim: write error: %s\n", g_strerror(errno));
  return 1;
}

int refuse(const std::string& error) {
  fprintf(stderr, "supctl-sim: %s\n", error.c_str());
  return 2;
}

uint64_t wall_clock() { return static_cast<uint64_t>(g_get_real_time()); }

std::string default_state_path() {
  return std::string(g_get_user_state_dir()) + "/supctl-sim/state";
}

// --reset, then the --set values, reacted to together.
void apply_board_options(const SimOptions& options, uint64_t now, sim::SupervisorState& state) {
  if (options.reset) {
    state = sim::initial_state();
    state.charge_updated = now;
  }
  const sim::SupervisorState before = state;
  std::string error;
  for (const std::string& assignment : options.assignments) {
    const size_t equals = assignment.find('=');
    sim::set_state_value(state, assignment.substr(0, equals), assignment.substr(equals + 1), error);
  }
  if (!options.assignments.empty()) sim::react_to_change(before, state);
}

// Each --set is tried on a fresh board, so that a wrong one is refused
// before anything is read or changed.
bool check_assignment(const std::string& assignment, std::string& error) {
  const size_t equals = assignment.find('=');
  sim::SupervisorState scratch = sim::initial_state();
  if (equals == std::string::npos) {
    error = "--set " + assignment + ": expected KEY=VALUE";
  } else if (!sim::set_state_value(scratch, assignment.substr(0, equals),
                                   assignment.substr(equals + 1), error)) {
    error.insert(0, "--set ");
  } else {
    return true;
  }
  return false;
}

// Returns -1 when the options are fine, else the exit status to end with.
int check_sim_options(const char* program, SimOptions& options) {
  std::string error;
  for (const std::string& assignment : options.assignments) {
    if (!check_assignment(assignment, error)) return refuse(error);
  }
  if (options.replay && options.board_options > 0)
    return refuse("--replay goes with no --state, --reset, --set, --fault or --show");
  if (options.fail_unrecorded && !options.replay)
    return refuse("--fail-unrecorded goes with --replay");
  if (!options.command.empty() || options.show) return -1;
  if (!options.changes_board()) {
    print_help(stderr, program);
    return 2;
  }
  if (options.fault)
    return refuse("--fault is for one run of a command; --set fault=MODE keeps a fault");
  return -1;
}

// Returns -1 when the options are fine, else the exit status to end with.
int parse_sim_options(int argc, char* argv[], SimOptions& options) {
  // "f" and "fa" are names of --fault in full: as abbreviations they
  // would be ambiguous with --fail-unrecorded.
  static const option kLongOptions[] = {{"state", required_argument, nullptr, 's'},
                                        {"reset", no_argument, nullptr, 'r'},
                                        {"set", required_argument, nullptr, 'S'},
                                        {"fault", required_argument, nullptr, 'f'},
                                        {"f", required_argument, nullptr, 'f'},
                                        {"fa", required_argument, nullptr, 'f'},
                                        {"show", no_argument, nullptr, 'w'},
                                        {"replay", required_argument, nullptr, 'p'},
                                        {"fail-unrecorded", no_argument, nullptr, 'u'},
                                        {"help", no_argument, nullptr, 'h'},
                                        {nullptr, 0, nullptr, 0}};
  options.state_path = default_state_path();
  for (int letter; (letter = getopt_long(argc, argv, "+s:rS:f:h", kLongOptions, nullptr)) != -1;) {
    if (strchr("srSfw", letter) != nullptr) ++options.board_options;
    if (strchr("sp", letter) != nullptr && *optarg == '\0')
      return refuse(std::string(letter == 's' ? "--state" : "--replay") + " needs a file name");
    switch (letter) {
      case 's': options.state_path = optarg; break;
      case 'r': options.reset = true; break;
      case 'S': options.assignments.push_back(optarg); break;
      case 'w': options.show = true; break;
      case 'p':
        options.replay = true;
        options.replay_path = optarg;
        break;
      case 'u': options.fail_unrecorded = true; break;
      case 'f':
        if (sim::Fault fault; sim::parse_fault(optarg, fault)) {
          options.fault = fault;
          break;
        }
        return refuse(std::string("unknown fault mode '") + optarg + "'");
      case 'h': print_help(stdout, argv[0]); return finish_output(0);
      default: print_help(stderr, argv[0]); return 2;
    }
  }
  options.command.assign(argv + optind, argv + argc);
  return check_sim_options(argv[0], options);
}

// Ends this process the way the command ended, so callers see its outcome.
[[noreturn]] void mirror(int wait_status) {
  if (WIFSIGNALED(wait_status)) {
    const int signal_number = WTERMSIG(wait_status);
    signal(signal_number, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal_number);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal_number);
  }
  exit(WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 1);
}

// Prints the state a run would start from; nothing is saved.
int show_state(const SimOptions& options) {
  std::string path, error;
  sim::SupervisorState state = sim::initial_state();
  if (!sim::resolve_state_path(options.state_path, path, error) ||
      (!options.reset && !sim::load_state_file(path, state, error)))
    return refuse(error);
  const uint64_t now = wall_clock();
  sim::bring_up_to_date(state, now);
  apply_board_options(options, now, state);
  fputs(sim::format_state(state).c_str(), stdout);
  return finish_output(0);
}

// Readies the state file for exchanges and makes the changes the options
// ask for, saved durably.
bool change_board(const SimOptions& options, sim::StateFile& file, std::string& error) {
  const auto apply = [&options](sim::SupervisorState& state) {
    apply_board_options(options, wall_clock(), state);
  };
  const sim::Save save = options.reset ? sim::Save::reset : sim::Save::change;
  return file.prepare(error) &&
         (!options.changes_board() || file.update(wall_clock(), apply, save, error));
}

// --reset and --set without a command.
int change_board_only(const SimOptions& options) {
  sim::StateFile file;
  std::string error;
  if (!file.open(options.state_path, options.reset, error) || !change_board(options, file, error))
    return refuse(error);
  return 0;
}

// How a fault makes the device fail a request.
struct FaultEffect {
  sim::Fault fault;
  unsigned long request;
  int error;
};

constexpr FaultEffect kFaultEffects[] = {
    {sim::Fault::transfer, SPI_IOC_MESSAGE(1), EIO},
    {sim::Fault::settings, SPI_IOC_WR_MODE32, EINVAL},
};

// The board behind the device while a command runs: every request that
// involves it is one exchange with the state file, which other runs and a
// second supctl-sim may change in between.
class LiveBoard {
 public:
  LiveBoard(sim::StateFile& file, std::optional<sim::Fault> run_fault)
      : file_(file), run_fault_(run_fault) {}

  // Only the settings fault acts on a request other than a transfer.
  int check_request(unsigned long request) {
    if (request != SPI_IOC_WR_MODE32) return 0;
    return exchange([&](const sim::SupervisorState& state) { return fault_errno(state, request); });
  }

  int answer(std::span<const uint8_t> tx, std::span<uint8_t> rx) {
    return exchange([&](sim::SupervisorState& state) {
      const int error = fault_errno(state, SPI_IOC_MESSAGE(1));
      if (error == 0 && fault(state) != sim::Fault::silent) sim::answer_frame(state, tx, rx);
      return error;
    });
  }

  // Whether an exchange failed because the state could not be kept.
  bool failed() const { return failed_; }

 private:
  // The one-run --fault wins over the board's.
  sim::Fault fault(const sim::SupervisorState& state) const {
    return run_fault_.value_or(state.fault);
  }

  int fault_errno(const sim::SupervisorState& state, unsigned long request) const {
    for (const FaultEffect& effect : kFaultEffects) {
      if (effect.fault == fault(state) && effect.request == request) return effect.error;
    }
    return 0;
  }

  template <typename Act>
  int exchange(const Act& act) {
    int result = 0;
    std::string error;
    if (file_.update(
            wall_clock(), [&](sim::SupervisorState& state) { result = act(state); },
            sim::Save::exchange, error))
      return result;
    if (!failed_.exchange(true))
      fprintf(stderr, "supctl-sim: %s; the exchange fails, and the run ends with status 2\n",
              error.c_str());
    return EIO;
  }

  sim::StateFile& file_;
  const std::optional<sim::Fault> run_fault_;
  std::atomic<bool> failed_ = false;
};

// Runs the command on the board of the state file. The state is checked
// before anything is made, the device set up before anything is saved;
// from then on the signals that end a run go to the command, and each of
// its exchanges loads, answers and, when it changed, saves the state.
int run_on_board(const SimOptions& options) {
  sim::StateFile file;
  std::string error;
  if (!file.open(options.state_path, options.reset, error)) return refuse(error);
  sim::hold_passed_signals();
  LiveBoard board(file, options.fault);
  int wait_status = 0;
  {
    // Removed, with umockdev's folder, before this process ends.
    sim::EmulatedSpidev device;
    if (!change_board(options, file, error)) return refuse(error + "; the command was not run");
    device.set_recording(false);
    device.set_request_check(
        [&board](unsigned long request) { return board.check_request(request); });
    device.set_responder([&board](std::span<const uint8_t> tx, std::span<uint8_t> rx) {
      return board.answer(tx, rx);
    });
    wait_status = sim::run_next_to_device(options.command);
  }
  if (board.failed()) return 2;
  mirror(wait_status);
}

// Runs the command next to a device that answers as the board in the trace
// did. The simulated board and its state file are not involved.
int run_replay(const SimOptions& options) {
  std::vector<sim::Exchange> exchanges;
  std::string error;
  if (!sim::load_trace_file(options.replay_path, exchanges, error)) return refuse(error);
  sim::TraceReplay replay(exchanges, stderr, options.fail_unrecorded);
  sim::hold_passed_signals();
  std::atomic<bool> unrecorded = false;
  int wait_status = 0;
  {
    sim::EmulatedSpidev device;
    device.set_recording(false);
    device.set_responder([&](std::span<const uint8_t> tx, std::span<uint8_t> rx) {
      if (replay.answer(tx, rx) || !options.fail_unrecorded) return 0;
      unrecorded = true;
      return EIO;
    });
    wait_status = sim::run_next_to_device(options.command);
  }
  if (unrecorded) return 2;
  mirror(wait_status);
}

// A closed descriptor 0, 1 or 2 would be taken by the next file opened
// (the state, its lock, umockdev's socket) and messages or the command's
// output would go into it: /dev/null fills the gaps until it lands above.
void open_standard_descriptors() {
  int fd = -1;
  while ((fd = open("/dev/null", O_RDWR)) >= 0 && fd <= STDERR_FILENO) {
  }
  if (fd < 0) _exit(1);
  close(fd);
}

}  // namespace

int main(int argc, char* argv[]) {
  open_standard_descriptors();
  SimOptions options;
  if (const int status = parse_sim_options(argc, argv, options); status >= 0) return status;
  if (options.show) return show_state(options);
  if (options.command.empty()) return change_board_only(options);
  sim::start_under_umockdev(argv);
  sim::put_own_folder_on_path();
  try {
    return options.replay ? run_replay(options) : run_on_board(options);
  } catch (const std::exception& failure) {
    fprintf(stderr, "supctl-sim: %s\n", failure.what());
    return 1;
  }
}
