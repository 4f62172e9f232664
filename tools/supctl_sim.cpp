// supctl-sim: runs a command with a simulated supervisor on /dev/spidev0.1.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "harness/child_process.h"
#include "harness/fake_spidev.h"
#include "supervisor_model.h"

namespace {

void print_help(FILE* out, const char* program) {
  fprintf(out,
          "Usage: %s [OPTIONS] -- COMMAND [ARGS...]\n"
          "Runs COMMAND with a simulated power supervisor behind /dev/spidev0.1.\n"
          "\n"
          "  -h, --help  this help\n"
          "\n"
          "Example: %s -- build/supctl -v -D\n",
          program, program);
}

// umockdev redirects device access through a preload library; without it in
// this process, start again under umockdev-wrapper.
void ensure_preloaded(char* argv[]) {
  const char* preload = getenv("LD_PRELOAD");
  if (preload != nullptr && strstr(preload, "libumockdev-preload") != nullptr) return;
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length < 0) {
    perror("supctl-sim: cannot find its own program file");
    exit(127);
  }
  self[length] = '\0';
  std::vector<char*> args = {const_cast<char*>("umockdev-wrapper"), self};
  for (char** word = argv + 1; *word != nullptr; ++word) args.push_back(*word);
  args.push_back(nullptr);
  execvp(args[0], args.data());
  perror("supctl-sim: cannot run umockdev-wrapper");
  exit(127);
}

// Ends this process the way the command ended, so callers see its outcome.
[[noreturn]] void mirror(int wait_status) {
  if (WIFSIGNALED(wait_status)) {
    signal(WTERMSIG(wait_status), SIG_DFL);
    raise(WTERMSIG(wait_status));
  }
  exit(WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 1);
}

}  // namespace

int main(int argc, char* argv[]) {
  const char* program = argc > 0 ? argv[0] : "supctl-sim";
  int command_start = 1;
  for (; command_start < argc; ++command_start) {
    const char* word = argv[command_start];
    if (strcmp(word, "--") == 0) {
      ++command_start;
      break;
    }
    if (strcmp(word, "-h") == 0 || strcmp(word, "--help") == 0) {
      print_help(stdout, program);
      return 0;
    }
    fprintf(stderr, "%s: unknown option '%s'\n", program, word);
    print_help(stderr, program);
    return 2;
  }
  if (command_start >= argc) {
    print_help(stderr, program);
    return 2;
  }

  ensure_preloaded(argv);
  try {
    harness::FakeSpidev device(sim::answer_frame);
    std::vector<std::string> command(argv + command_start, argv + argc);
    mirror(harness::run_inherited(command, harness::pump_main_context));
  } catch (const std::exception& error) {
    fprintf(stderr, "%s: %s\n", program, error.what());
    return 1;
  }
}
