// SPDX-License-Identifier: MIT
// supctl-sim: runs a command with a simulated power supervisor behind
// /dev/spidev0.1. The supervisor keeps its state in a file between runs, so
// a sequence of commands acts on one board.
#include <fcntl.h>
#include <getopt.h>
#include <glib.h>
#include <linux/spi/spidev.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "command_runner.h"
#include "emulated_spidev.h"
#include "state_file.h"
#include "supervisor_model.h"
#include "trace_replay.h"

namespace {

enum class Fault { none, silent, transfer, settings };

struct SimOptions {
  std::string state_path;
  std::string replay_path;
  bool replay = false;
  int board_options = 0;  // given options that act on the simulated board
  bool reset = false;
  bool show = false;
  Fault fault = Fault::none;
  std::vector<std::string> assignments;  // "key=value"
  std::vector<std::string> command;
};

void print_help(FILE* out, const char* program) {
  fprintf(out,
          "Usage: %s [OPTIONS] -- COMMAND [ARGS...]\n"
          "Runs COMMAND with a simulated power supervisor behind /dev/spidev0.1.\n"
          "The supervisor's state is kept in a file between runs. COMMAND is looked up\n"
          "in PATH, with supctl-sim's own folder first when it is not on PATH.\n"
          "\n"
          "  -s, --state FILE     state file (default: $XDG_STATE_HOME/supctl-sim/state,\n"
          "                       or ~/.local/state/supctl-sim/state)\n"
          "  -r, --reset          start from a fresh board instead of the saved state\n"
          "  -S, --set KEY=VALUE  change one value before COMMAND runs; repeatable\n"
          "  -f, --fault MODE     silent:   the bus answers 0xFF to every frame\n"
          "                       transfer: every transfer fails (EIO)\n"
          "                       settings: the device refuses its SPI mode (EINVAL)\n"
          "      --show           print the state a run would start from (after --reset\n"
          "                       and --set) and exit; nothing is saved\n"
          "      --replay TRACE   answer as the board did in TRACE, the output of\n"
          "                       supctl -D runs, instead of as the simulated board;\n"
          "                       no state file is read or written\n"
          "  -h, --help           this help\n"
          "\n"
          "Keys: device_id (32 hex digits), device_info (text), power_flags\n"
          "(bit 0 motion, 1 charging, 2 pg, 3 line), millivolts, charge_percent,\n"
          "mode, active_mcus and active_usb_ports (bit masks), events (hex codes),\n"
          "rgb, low_bat, critical_low_bat, accel_sensitivity, temperature (tenths\n"
          "of a degree), magic, admin_unlocked, powered_off (0 turns the board on).\n"
          "A changed value queues the events a supervisor would: see supctl-sim(1).\n"
          "\n"
          "Examples:\n"
          "  %s --set charge_percent=15 -- supctl -v -o GET_Event\n"
          "  %s --reset --show\n",
          program, program, program);
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

std::string default_state_path() {
  return std::string(g_get_user_state_dir()) + "/supctl-sim/state";
}

bool parse_fault(const char* text, Fault& fault) {
  static constexpr struct {
    const char* name;
    Fault fault;
  } kFaults[] = {
      {"silent", Fault::silent}, {"transfer", Fault::transfer}, {"settings", Fault::settings}};
  for (const auto& entry : kFaults) {
    if (strcmp(text, entry.name) == 0) {
      fault = entry.fault;
      return true;
    }
  }
  return false;
}

// Returns -1 when the options are fine, else the exit status to end with.
int parse_sim_options(int argc, char* argv[], SimOptions& options) {
  static const option kLongOptions[] = {
      {"state", required_argument, nullptr, 's'}, {"reset", no_argument, nullptr, 'r'},
      {"set", required_argument, nullptr, 'S'},   {"fault", required_argument, nullptr, 'f'},
      {"show", no_argument, nullptr, 'w'},        {"replay", required_argument, nullptr, 'p'},
      {"help", no_argument, nullptr, 'h'},        {nullptr, 0, nullptr, 0}};
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
      case 'f':
        if (parse_fault(optarg, options.fault)) break;
        fprintf(stderr, "%s: unknown fault mode '%s'\n", argv[0], optarg);
        return 2;
      case 'h': print_help(stdout, argv[0]); return finish_output(0);
      default: print_help(stderr, argv[0]); return 2;
    }
  }
  options.command.assign(argv + optind, argv + argc);
  if (options.command.empty() && !options.show) {
    print_help(stderr, argv[0]);
    return 2;
  }
  if (options.replay && options.board_options > 0) {
    fprintf(stderr, "%s: --replay goes with no --state, --reset, --set, --fault or --show\n",
            argv[0]);
    return 2;
  }
  return -1;
}

// The state the command starts from: the saved one or, with --reset, a
// fresh board, with the --set values applied and reacted to.
bool prepare_state(const SimOptions& options, sim::SupervisorState& state, std::string& error) {
  if (options.reset) state = sim::initial_state();
  const sim::SupervisorState before = state;
  for (const std::string& assignment : options.assignments) {
    const size_t equals = assignment.find('=');
    if (equals == std::string::npos) {
      error = "--set " + assignment + ": expected KEY=VALUE";
      return false;
    }
    if (!sim::set_state_value(state, assignment.substr(0, equals), assignment.substr(equals + 1),
                              error)) {
      error.insert(0, "--set ");
      return false;
    }
  }
  if (!options.assignments.empty()) sim::react_to_change(before, state);
  return true;
}

// The device that responder answers, with the fault the options ask for.
void set_up(const SimOptions& options, sim::EmulatedSpidev& device,
            sim::EmulatedSpidev::Responder responder) {
  if (options.fault != Fault::silent) device.set_responder(std::move(responder));
  if (options.fault == Fault::transfer) device.set_transfer_result(-1);
  if (options.fault == Fault::settings) device.fail_request(SPI_IOC_WR_MODE32, EINVAL);
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
      (!options.reset && !sim::load_state_file(path, state, error)) ||
      !prepare_state(options, state, error))
    return refuse(error);
  fputs(sim::format_state(state).c_str(), stdout);
  return finish_output(0);
}

// Runs the command on the board of the state file, which stays locked from
// load to save. The device is set up before anything is saved; then the
// state is saved once before the command runs, so a state that can't be
// saved stops the run before the command has done anything. From then on
// the signals that end a run go to the command, and this process saves the
// state once the command has ended.
int run_on_board(const SimOptions& options) {
  sim::StateFile file;
  sim::SupervisorState state = sim::initial_state();
  std::string error;
  if (!file.open(options.state_path, error) || (!options.reset && !file.load(state, error)) ||
      !prepare_state(options, state, error))
    return refuse(error);
  sim::hold_passed_signals();
  int wait_status = 0;
  {
    // Removed, with umockdev's folder, before this process ends.
    sim::EmulatedSpidev device;
    if (!file.save(state, error))
      return refuse("cannot save the state, so the command was not run: " + error);
    set_up(options, device, [&state](std::span<const uint8_t> tx, std::span<uint8_t> rx) {
      sim::answer_frame(state, tx, rx);
    });
    wait_status = sim::run_next_to_device(options.command);
  }
  if (!file.save(state, error)) return refuse("the state after the command is lost: " + error);
  mirror(wait_status);
}

// Runs the command next to a device that answers as the board in the trace
// did. The simulated board and its state file are not involved.
int run_replay(const SimOptions& options) {
  std::vector<sim::Exchange> exchanges;
  std::string error;
  if (!sim::load_trace_file(options.replay_path, exchanges, error)) {
    fprintf(stderr, "supctl-sim: %s\n", error.c_str());
    return 2;
  }
  sim::TraceReplay replay(exchanges, stderr);
  sim::hold_passed_signals();
  int wait_status = 0;
  {
    sim::EmulatedSpidev device;
    set_up(options, device, [&replay](std::span<const uint8_t> tx, std::span<uint8_t> rx) {
      replay.answer(tx, rx);
    });
    wait_status = sim::run_next_to_device(options.command);
  }
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
  sim::start_under_umockdev(argv);
  sim::put_own_folder_on_path();
  try {
    return options.replay ? run_replay(options) : run_on_board(options);
  } catch (const std::exception& failure) {
    fprintf(stderr, "supctl-sim: %s\n", failure.what());
    return 1;
  }
}
