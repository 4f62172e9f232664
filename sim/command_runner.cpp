#include "command_runner.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "emulated_spidev.h"

namespace sim {

int run_next_to_device(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // The caller may ignore terminal interrupts while it waits; the command
    // gets them with their usual meaning.
    signal(SIGINT, SIG_DFL);
    signal(SIGQUIT, SIG_DFL);
    execvp(args[0], args.data());
    perror(args[0]);
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    pump_main_context();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return status;
}

}  // namespace sim
