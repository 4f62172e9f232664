// SPDX-License-Identifier: MIT
// supctl-monitor: the board's power guardian. Polls the supervisor, tells
// hooks, the journal, the service manager and NUT what it sees, and shuts
// the board down before its battery is empty.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "monitor/board_report.h"
#include "monitor/hook_runner.h"
#include "monitor/monitor_options.h"
#include "monitor/power_guard.h"
#include "monitor/service_notifier.h"
#include "monitor/state_files.h"
#include "monitor/supervisor_link.h"

namespace {

constexpr int64_t kThresholdPeriodMs = 60000;

int64_t monotonic_ms() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

// One line on stderr, which the service manager puts in the journal.
[[gnu::format(printf, 1, 2)]] void log_line(const char* format, ...) {  // NOLINT(cert-dcl50-cpp)
  va_list arguments;
  va_start(arguments, format);
  vfprintf(stderr, format, arguments);
  va_end(arguments);
  fputc('\n', stderr);
}

// --once: one poll, no events drained; the state on one line or as JSON.
int poll_once(const MonitorOptions& options) {
  SupervisorLink link(options.device);
  BoardDetails details;
  PollInput input = {};
  link.poll(input, true, false, details);
  if (options.json) {
    write_once_json(stdout, input);
  } else if (input.answered) {
    char line[128];
    TextBuffer out(line, sizeof line);
    add_once_line(out, input);
    puts(line);
  } else {
    printf("no answer: %s\n", link.failure());
  }
  return input.answered ? 0 : 1;
}

class Monitor {
 public:
  explicit Monitor(const MonitorOptions& options)
      : options_(options),
        link_(options.device),
        guard_(options.act_on_shutdown),
        hooks_(options.hook_command, stderr) {}

  int run(int signal_fd);

 private:
  void poll_supervisor(int64_t now);
  void tell(const PollInput& input, const PollOutcome& outcome, const char* words);
  void remark(uint8_t remarks, const PollInput& input);
  void shut_down(int64_t now);
  void publish(const char* words);
  void reap_children();
  int64_t next_wakeup() const;

  const MonitorOptions& options_;
  SupervisorLink link_;
  PowerGuard guard_;
  HookRunner hooks_;
  ServiceNotifier notifier_;
  BoardDetails details_;
  int64_t next_poll_ = 0;
  int64_t next_thresholds_ = 0;
  int64_t next_watchdog_ = INT64_MAX;
  pid_t shutdown_pid_ = -1;
  bool ready_ = false;
  bool status_file_failed_ = false;
  char last_status_[160] = "";
};

void Monitor::poll_supervisor(int64_t now) {
  PollInput input = {};
  input.now_ms = now;
  link_.poll(input, now >= next_thresholds_, true, details_);
  if (input.thresholds_read) next_thresholds_ = now + kThresholdPeriodMs;
  if (input.answered && !details_.identity_known) link_.read_identity(details_);
  const PollOutcome& outcome = guard_.step(input);
  char words[160];
  TextBuffer state(words, sizeof words);
  add_status_words(state, guard_);
  tell(input, outcome, words);
  if (outcome.shutdown_now) shut_down(now);
  publish(words);
}

void Monitor::tell(const PollInput& input, const PollOutcome& outcome, const char* words) {
  if (options_.verbose) log_line("poll: %s", words);
  for (const Notice& notice : outcome.notifications()) {
    const char* name = notification_name(notice.kind);
    switch (notice.kind) {
      case Notification::commbad: log_line("%s: %s", name, link_.failure()); break;
      case Notification::shutdown:
        log_line("%s: running '%s'", name, options_.shutdown_command);
        break;
      case Notification::event: {
        const char* event = event_name(notice.event_code);
        log_line("%s: supervisor event %u %s", name, static_cast<unsigned>(notice.event_code),
                 event != nullptr ? event : "(no name)");
        break;
      }
      default: log_line("%s: %s", name, words); break;
    }
    if (options_.hook_command != nullptr)
      hooks_.submit(
          {notice.kind, notice.event_code, guard_.ever_answered(), guard_.last_reading()});
  }
  remark(outcome.remarks, input);
}

void Monitor::remark(uint8_t remarks, const PollInput& input) {
  if (remarks & kLowBatRejected)
    log_line("low-battery threshold %u%% is not 1 to 100: keeping %u%%", input.low_bat,
             guard_.thresholds().low);
  if (remarks & kCriticalRejected)
    log_line("critical threshold %u%% is not 1 to 100: keeping %u%%", input.critical_low_bat,
             guard_.thresholds().critical);
  if (remarks & kEventsNotBelieved)
    log_line("the supervisor announced more than %d events: this poll's events skipped",
             kCodesPerEventRead);
  if (remarks & kEventsReadFailed) log_line("reading events failed: %s", link_.failure());
  if (remarks & kShutdownNotActedOn)
    log_line("shutdown condition holds; --no-shutdown: not acted on");
}

// The SHUTDOWN hook is started, not waited for; then the power-off request
// is left for the shutdown hook, then the shutdown command runs.
void Monitor::shut_down(int64_t now) {
  hooks_.service(now);
  if (options_.poweroff_set) {
    if (write_poweroff_flag(options_.poweroff_flag, options_.device, options_.poweroff_value)) {
      log_line("power-off request x%x left in %s", static_cast<unsigned>(options_.poweroff_value),
               options_.poweroff_flag);
    } else {
      log_line("can't write %s: %s; power will not be cut", options_.poweroff_flag,
               strerror(errno));
    }
  }
  const HookEnvironment environment(
      {Notification::shutdown, 0, guard_.ever_answered(), guard_.last_reading()}, environ);
  shutdown_pid_ = start_shell_command(options_.shutdown_command, environment.envp());
  if (shutdown_pid_ < 0) log_line("can't run '%s': %s", options_.shutdown_command, strerror(errno));
}

// The state for the service manager, when it changed, and for NUT after
// every poll: dummy-ups reads the file again only when its time stamp
// moves to another second, so a file left alone would keep a change made
// within the second of the one before it from NUT for good.
void Monitor::publish(const char* words) {
  if (!ready_ || strcmp(words, last_status_) != 0) {
    char message[200];
    snprintf(message, sizeof message, "%sSTATUS=%s", ready_ ? "" : "READY=1\n", words);
    notifier_.send(message);
    snprintf(last_status_, sizeof last_status_, "%s", words);
    ready_ = true;
  }
  if (options_.status_file == nullptr) return;
  char text[2048];
  TextBuffer definition(text, sizeof text);
  add_nut_definition(definition, guard_, details_);
  const bool written = replace_file(options_.status_file, definition.text(), definition.length());
  if (!written && !status_file_failed_)
    log_line("can't write %s: %s", options_.status_file, strerror(errno));
  status_file_failed_ = !written;
}

void Monitor::reap_children() {
  int wait_status = 0;
  for (pid_t pid; (pid = waitpid(-1, &wait_status, WNOHANG)) > 0;) {
    if (hooks_.reaped(pid, wait_status) || pid != shutdown_pid_) continue;
    shutdown_pid_ = -1;
    if (!(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0)) {
      char how[32];
      describe_wait_status(wait_status, how);
      log_line("shutdown command '%s' failed: %s", options_.shutdown_command, how);
    }
  }
}

int64_t Monitor::next_wakeup() const {
  return std::min(
      {next_poll_, next_watchdog_, guard_.lost_on_battery_deadline(), hooks_.deadline_ms()});
}

int Monitor::run(int signal_fd) {
  if (!remove_stale_flag(options_.poweroff_flag))
    log_line("can't remove the stale flag %s: %s", options_.poweroff_flag, strerror(errno));
  next_poll_ = monotonic_ms();
  if (notifier_.watchdog_ms() > 0) next_watchdog_ = next_poll_;
  for (;;) {
    int64_t now = monotonic_ms();
    if (now >= next_poll_ || now >= guard_.lost_on_battery_deadline()) {
      // Polls keep their rhythm; a late one does not bunch up the next.
      next_poll_ = std::max(next_poll_ + options_.interval_ms, now + options_.interval_ms / 2);
      poll_supervisor(now);
    }
    now = monotonic_ms();
    if (now >= next_watchdog_) {
      notifier_.send("WATCHDOG=1");
      next_watchdog_ = now + notifier_.watchdog_ms();
    }
    hooks_.service(now);
    pollfd wait = {signal_fd, POLLIN, 0};
    const int64_t timeout =
        std::clamp<int64_t>(next_wakeup() - monotonic_ms(), 0, int64_t{3600} * 1000);
    if (poll(&wait, 1, static_cast<int>(timeout)) < 1) continue;
    signalfd_siginfo info = {};
    if (read(signal_fd, &info, sizeof info) != sizeof info) continue;
    if (info.ssi_signo == SIGCHLD) {
      reap_children();
      continue;
    }
    log_line("ending on %s", info.ssi_signo == SIGTERM ? "SIGTERM" : "SIGINT");
    return 0;
  }
}

// SIGTERM and SIGINT end the monitor at once; SIGCHLD tells of a hook's end.
int signals_to_descriptor() {
  sigset_t handled;
  sigemptyset(&handled);
  for (int signal_number : {SIGTERM, SIGINT, SIGCHLD}) sigaddset(&handled, signal_number);
  if (sigprocmask(SIG_BLOCK, &handled, nullptr) != 0) return -1;
  return signalfd(-1, &handled, SFD_CLOEXEC | SFD_NONBLOCK);
}

// Output that could not be written (a full disk, say) turns a successful
// run into a failed one: a health check must not take silence for success.
int finish(int status) {
  if (fflush(stdout) != 0 || ferror(stdout)) {
    log_line("supctl-monitor: write error: %s", strerror(errno));
    return 1;
  }
  return status;
}

}  // namespace

int main(int argc, char* argv[]) {
  MonitorOptions options;
  switch (parse_monitor_options(argc, argv, options, stderr)) {
    case MonitorCommand::help: print_monitor_usage(stdout); return finish(0);
    case MonitorCommand::version: printf("supctl-monitor %s\n", SUPCTL_VERSION); return finish(0);
    case MonitorCommand::invalid: return 2;
    case MonitorCommand::run: break;
  }
  if (options.once) return finish(poll_once(options));
  // Whole lines in one write each, from a buffer of its own: stdio would
  // take one from the heap at the first line.
  static char log_buffer[1024];
  setvbuf(stderr, log_buffer, _IOLBF, sizeof log_buffer);
  const int signal_fd = signals_to_descriptor();
  if (signal_fd < 0) {
    log_line("can't take signals: %s", strerror(errno));
    return 1;
  }
  Monitor monitor(options);
  return monitor.run(signal_fd);
}
