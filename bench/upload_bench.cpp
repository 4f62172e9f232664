// SPDX-License-Identifier: MIT
// The upload benchmark: pushes a file of random bytes through a
// pseudo-terminal with each program and reports throughput, CPU time per
// byte and peak memory. The master side plays a bootloader that answers at
// every read-back point, so each program waits there as on the board.
//
//   upload_bench SUPCTL MINIMAL_UPLOAD [MIB [RUNS]]
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kReadBackInterval = 32767;
constexpr double kLineRate = 115200 / 10.0;  // bytes per second, 8N1

struct Measurement {
  double seconds;
  double cpu_seconds;
  long peak_kib;
};

struct Program {
  const char* name;
  std::string path;
  bool takes_options;  // -p PORT -b FILE rather than PORT FILE
};

[[noreturn]] void fail(const char* what) {
  perror(what);
  exit(1);
}

int open_master(std::string& slave_path) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) fail("posix_openpt");
  slave_path = ptsname(master);
  return master;
}

pid_t start(const Program& program, const std::string& port, const std::string& file) {
  std::vector<std::string> words = {program.path};
  if (program.takes_options) {
    words.insert(words.end(), {"-p", port, "-b", file});
  } else {
    words.insert(words.end(), {port, file});
  }
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) fail("fork");
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Reads everything the program sends, answering at each read-back point.
void serve(int master, size_t size) {
  std::vector<char> buffer(1 << 16);
  size_t received = 0, next_point = 1;
  while (received < size) {
    const size_t wanted = std::min(buffer.size(), next_point - received);
    const ssize_t count = read(master, buffer.data(), wanted);
    if (count <= 0) fail("read from the pty");
    received += static_cast<size_t>(count);
    if (received == next_point) {
      if (write(master, "ok", 2) != 2) fail("write to the pty");
      next_point += kReadBackInterval;
    }
  }
}

Measurement measure(const Program& program, const std::string& file, size_t size) {
  std::string slave_path;
  const int master = open_master(slave_path);
  const auto started = std::chrono::steady_clock::now();
  const pid_t pid = start(program, slave_path, file);
  serve(master, size);
  int status = 0;
  rusage usage = {};
  if (wait4(pid, &status, 0, &usage) != pid) fail("wait4");
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
  close(master);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "%s did not finish cleanly (status %d)\n", program.name, status);
    exit(1);
  }
  const auto seconds = [](timeval t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return {elapsed.count(), seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss};
}

Measurement median(std::vector<Measurement> runs) {
  std::sort(runs.begin(), runs.end(),
            [](const Measurement& a, const Measurement& b) { return a.seconds < b.seconds; });
  return runs[runs.size() / 2];
}

std::string write_image(size_t size) {
  char path[] = "/tmp/upload-bench-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) fail("mkstemp");
  close(fd);
  // A fixed seed: every run sends the same image, so runs compare.
  std::mt19937 random(1);  // NOLINT(cert-msc32-c,cert-msc51-cpp)
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s SUPCTL MINIMAL_UPLOAD [MIB [RUNS]]\n", argv[0]);
    return 2;
  }
  const size_t size = (argc > 3 ? std::stoul(argv[3]) : 4) << 20;
  const int runs = argc > 4 ? std::stoi(argv[4]) : 3;
  const std::string file = write_image(size);
  const Program programs[] = {{"supctl", argv[1], true}, {"minimal", argv[2], false}};

  // Interleaved runs, each program first in turn, so that both see the
  // same machine.
  std::vector<Measurement> results[2];
  for (int run = 0; run < runs; ++run) {
    for (int i : {run % 2, 1 - run % 2}) results[i].push_back(measure(programs[i], file, size));
  }
  unlink(file.c_str());

  printf("%zu bytes through a pseudo-terminal, median of %d runs\n\n", size, runs);
  printf("%-8s %14s %14s %14s %14s\n", "program", "bytes/s", "CPU ns/byte", "peak KiB",
         "x line rate");
  Measurement medians[2];
  for (int i = 0; i < 2; ++i) {
    medians[i] = median(results[i]);
    const double rate = static_cast<double>(size) / medians[i].seconds;
    printf("%-8s %14.0f %14.0f %14ld %14.0f\n", programs[i].name, rate,
           medians[i].cpu_seconds * 1e9 / static_cast<double>(size), medians[i].peak_kib,
           rate / kLineRate);
  }
  printf("\nsupctl / minimal: throughput %.3f, CPU time %.3f\n",
         medians[1].seconds / medians[0].seconds, medians[0].cpu_seconds / medians[1].cpu_seconds);
  printf("line rate at 115200 baud, 8N1: %.0f bytes/s\n", kLineRate);
}
