// SPDX-License-Identifier: MIT
// supctl-monitor: the board's power guardian. Polls the supervisor, tells
// hooks, the journal, the service manager and NUT what it sees, and shuts
// the board down before its battery is empty.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "monitor/board_report.h"
#include "monitor/hook_runner.h"
#include "monitor/hook_subscribers.h"
#include "monitor/monitor_clock.h"
#include "monitor/monitor_options.h"
#include "monitor/power_guard.h"
#include "monitor/published_state.h"
#include "monitor/service_notifier.h"
#include "monitor/state_files.h"
#include "monitor/state_publisher.h"
#include "monitor/supervisor_link.h"

namespace {

constexpr int64_t kThresholdPeriodMs = 60000;
// On battery a poll at least this often, whatever -i says, so that one
// failed transfer never decides alone and the 30 s rule is kept.
constexpr int64_t kBatteryPollMs = 10000;
// The shutdown command: each run ended after a minute; a failed one run
// again after 10 s, then 20, 40 and every 60 s while the decision holds.
constexpr int64_t kShutdownRunLimitMs = 60000;
constexpr int64_t kFirstRetryPauseMs = 10000;
constexpr int64_t kLongestRetryPauseMs = 60000;
// A message the service manager's socket could not take is sent again.
constexpr int64_t kNotifyRetryMs = 100;

// Runs the shutdown command ($1) unless the system is stopping already:
// then a reboot an administrator asked for must not become a poweroff, and
// the run ends with kSystemStopping instead.
constexpr char kShutdownWrapper[] =
    "case $(systemctl is-system-running 2>/dev/null) in stopping) exit 75 ;; esac; eval \"$1\"";
constexpr int kSystemStopping = 75;

// One line on stderr, which the service manager puts in the journal. A
// failed write (a reader gone, SIGPIPE ignored) is no reason to stop.
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

// The NUT file whole, or not at all. dummy-ups reads it again only when its
// time stamp moves to a later second: every poll writes it, and the last
// write, once the monitor has ended, is moved on a second when need be.
bool write_nut_file(const char* path, const TextBuffer& definition, bool last) {
  if (definition.overflowed()) {
    errno = EOVERFLOW;
    return false;
  }
  const auto write = last ? replace_file_seen : replace_file;
  return write(path, definition.text(), definition.length());
}

// --mark-stopped, run by the service manager after every end of the
// monitor, a crash and SIGKILL included.
int mark_stopped(const MonitorOptions& options) {
  const int published = StatePublisher(options.metrics_file, stderr).publish_stopped() ? 0 : 1;
  if (options.status_file == nullptr) return published;
  char text[512];
  TextBuffer definition(text, sizeof text);
  add_stopped_nut_definition(definition);
  if (write_nut_file(options.status_file, definition, true)) return published;
  log_line("can't write %s: %s", options.status_file, strerror(errno));
  return 1;
}

class Monitor {
 public:
  explicit Monitor(const MonitorOptions& options)
      : options_(options),
        link_(options.device),
        guard_(options.act_on_shutdown, options.rules),
        hooks_(options.hook_command, options.hook_folder, stderr),
        history_(options.interval_ms),
        publisher_(options.metrics_file, stderr) {}

  int run(int signal_fd);

 private:
  void resume_decision();
  void poll_supervisor(int64_t now);
  void tell(const PollInput& input, const PollOutcome& outcome, int64_t now);
  HookRequest hook_request(Notification kind, uint8_t event_code) const;
  void remark(RemarkBits remarks, const PollInput& input);
  void decide_shutdown(int64_t now);
  void withdraw_if_line_back(const PollInput& input);
  void run_shutdown_command(int64_t now);
  void shutdown_command_ended(int wait_status);
  void record_decision();
  void status_words(TextBuffer& out) const;
  void publish_status(int64_t now);
  void publish_nut_file();
  void reap_children();
  void service_timers(int64_t now);
  bool take_signal(int signal_fd);
  int64_t next_wakeup() const;

  const MonitorOptions& options_;
  SupervisorLink link_;
  PowerGuard guard_;
  HookSubscribers hooks_;
  PollHistory history_;
  StatePublisher publisher_;
  ServiceNotifier notifier_;
  BoardDetails details_;
  BootId boot_ = read_boot_id();
  int64_t next_poll_ = 0;
  int64_t next_thresholds_ = 0;
  int64_t next_watchdog_ = INT64_MAX;
  int64_t status_retry_ = INT64_MAX;
  // The shutdown command: its run, the next run after a failure, and
  // whether one run succeeded.
  pid_t shutdown_pid_ = -1;
  int64_t shutdown_started_ = 0;
  bool shutdown_killed_ = false;
  int64_t next_shutdown_run_ = INT64_MAX;
  int64_t retry_pause_ = kFirstRetryPauseMs;
  bool command_succeeded_ = false;
  bool stopping_ = false;  // a signal asked the monitor to end
  bool ready_ = false;
  bool status_file_failed_ = false;
  char last_status_[200] = "";
};

// A shutdown decided by an earlier run in this boot is carried on: no
// second SHUTDOWN, and the command runs again only if it never succeeded.
void Monitor::resume_decision() {
  const DecisionRecord record = read_decision(boot_);
  if (record.reason == ShutdownReason::none || !options_.act_on_shutdown) {
    if (!remove_decision())
      log_line("can't remove the stale flag in %s: %s", run_folder(), strerror(errno));
    return;
  }
  guard_.resume_decision(record.reason);
  command_succeeded_ = record.command_succeeded;
  if (!command_succeeded_) next_shutdown_run_ = 0;
  log_line("shutdown already decided in this boot (%s): not deciding again; %s",
           shutdown_reason_name(record.reason),
           command_succeeded_ ? "the shutdown command ran" : "running the shutdown command");
}

void Monitor::poll_supervisor(int64_t now) {
  PollInput input = {};
  input.now_ms = now;
  link_.poll(input, now >= next_thresholds_, true, details_);
  if (input.thresholds_read) next_thresholds_ = now + kThresholdPeriodMs;
  if (input.answered && !details_.identity_known) link_.read_identity(details_);
  const PollOutcome& outcome = guard_.step(input);
  history_.polled(unix_seconds(), input.answered, outcome.notifications());
  tell(input, outcome, now);
  if (outcome.shutdown_now) decide_shutdown(now);
  withdraw_if_line_back(input);
  publish_status(now);
  publish_nut_file();
  publisher_.publish({true, guard_, details_, history_, guard_.runtime_seconds()});
}

void Monitor::tell(const PollInput& input, const PollOutcome& outcome, int64_t now) {
  char words[160];
  TextBuffer state(words, sizeof words);
  status_words(state);
  if (options_.verbose) log_line("poll: %s", words);
  for (const Notice& notice : outcome.notifications()) {
    const char* name = notification_name(notice.kind);
    switch (notice.kind) {
      case Notification::commbad: log_line("%s: %s", name, link_.failure()); break;
      case Notification::shutdown:
        log_line("%s: running '%s' (%s)", name, options_.shutdown_command,
                 shutdown_reason_name(guard_.shutdown_reason()));
        break;
      case Notification::event: {
        const char* event = event_name(notice.event_code);
        log_line("%s: supervisor event %u %s", name, static_cast<unsigned>(notice.event_code),
                 event != nullptr ? event : "(no name)");
        break;
      }
      default: log_line("%s: %s", name, words); break;
    }
    hooks_.submit(hook_request(notice.kind, notice.event_code), now);
  }
  remark(outcome.remarks, input);
}

HookRequest Monitor::hook_request(Notification kind, uint8_t event_code) const {
  HookRequest request = {kind, event_code, guard_.ever_answered(), guard_.last_reading()};
  request.reason = guard_.shutdown_reason();
  request.runtime_s = guard_.runtime_seconds();
  return request;
}

// Each remark's line; the switch names every kind, so a new one can't go
// without its text.
void Monitor::remark(RemarkBits remarks, const PollInput& input) {
  for (int index = 0; index < kRemarkKinds; ++index) {
    const auto kind = static_cast<RemarkKind>(index);
    if (!(remarks & remark_bit(kind))) continue;
    switch (kind) {
      case RemarkKind::low_bat_rejected:
        log_line("low-battery threshold %u%% is not 1 to 100: keeping %u%%", input.low_bat,
                 guard_.thresholds().low);
        break;
      case RemarkKind::critical_rejected:
        log_line("critical threshold %u%% is not 1 to 100: keeping %u%%", input.critical_low_bat,
                 guard_.thresholds().critical);
        break;
      case RemarkKind::events_not_believed:
        log_line("the supervisor announced more than %d events: the rest of the queue skipped",
                 kCodesPerEventRead);
        break;
      case RemarkKind::events_read_failed:
        log_line("reading events failed: %s", link_.failure());
        break;
      case RemarkKind::shutdown_not_acted_on:
        log_line("shutdown condition holds; --no-shutdown: not acted on");
        break;
      case RemarkKind::thresholds_contradict:
        log_line("critical threshold %u%% is at or above the low threshold %u%%",
                 guard_.thresholds().critical, guard_.thresholds().low);
        break;
    }
  }
}

// The SHUTDOWN hook has started already; the power-off request is left for
// the shutdown hook, the decision kept for a restart, then the command runs.
void Monitor::decide_shutdown(int64_t now) {
  if (options_.poweroff_set) {
    if (write_poweroff_flag(options_.device, options_.poweroff_value, boot_,
                            guard_.shutdown_reason())) {
      log_line("power-off request x%x left in %s/poweroff",
               static_cast<unsigned>(options_.poweroff_value), run_folder());
    } else {
      log_line("can't write %s/poweroff: %s; power will not be cut", run_folder(), strerror(errno));
    }
  }
  record_decision();
  run_shutdown_command(now);
}

void Monitor::record_decision() {
  if (!write_decision(boot_, {guard_.shutdown_reason(), command_succeeded_}))
    log_line("can't write %s/decision: %s", run_folder(), strerror(errno));
}

// Line power back before any run of the command succeeded: the board
// stays up, and neither a later poweroff nor a reboot cuts its power. A
// shutdown the supervisor asked for (FORCESHUTDOWN) is not withdrawn.
void Monitor::withdraw_if_line_back(const PollInput& input) {
  if (!guard_.shutdown_decided() || !guard_.decision_withdrawable() || !input.answered ||
      !input.power.line || shutdown_pid_ > 0 || command_succeeded_)
    return;
  guard_.withdraw_decision();
  next_shutdown_run_ = INT64_MAX;
  retry_pause_ = kFirstRetryPauseMs;
  log_line("line power is back before the shutdown ran: the shutdown is withdrawn");
  if (!remove_decision())
    log_line("can't remove the flag in %s: %s", run_folder(), strerror(errno));
}

void Monitor::run_shutdown_command(int64_t now) {
  next_shutdown_run_ = INT64_MAX;
  const HookEnvironment environment(hook_request(Notification::shutdown, 0), environ);
  shutdown_pid_ =
      start_shell_command(kShutdownWrapper, environment.envp(), options_.shutdown_command);
  shutdown_started_ = now;
  shutdown_killed_ = false;
  if (shutdown_pid_ < 0) {
    log_line("can't run '%s': %s", options_.shutdown_command, strerror(errno));
    next_shutdown_run_ = now + retry_pause_;
  }
}

void Monitor::shutdown_command_ended(int wait_status) {
  shutdown_pid_ = -1;
  if (WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0) {
    command_succeeded_ = true;
    record_decision();
    return;
  }
  if (WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == kSystemStopping) {
    log_line("the system is stopping: '%s' not run", options_.shutdown_command);
    return;
  }
  char how[32];
  describe_wait_status(wait_status, how);
  if (shutdown_killed_)
    snprintf(how, sizeof how, "ran over %lld s",
             static_cast<long long>(kShutdownRunLimitMs / 1000));
  if (stopping_ || !guard_.shutdown_decided()) {
    log_line("shutdown command '%s' failed: %s", options_.shutdown_command, how);
    return;
  }
  log_line("shutdown command '%s' failed: %s; trying again in %lld s", options_.shutdown_command,
           how, static_cast<long long>(retry_pause_ / 1000));
  next_shutdown_run_ = monotonic_ms() + retry_pause_;
  retry_pause_ = std::min(2 * retry_pause_, kLongestRetryPauseMs);
}

void Monitor::status_words(TextBuffer& out) const {
  add_status_words(out, guard_);
  if (guard_.shutdown_decided() && next_shutdown_run_ != INT64_MAX && !command_succeeded_)
    out.add(" (the shutdown command failed: trying again)");
}

// The state for the service manager, when it changed. A message the
// socket could not take is sent again soon: READY=1 above all.
void Monitor::publish_status(int64_t now) {
  char words[160];
  TextBuffer state(words, sizeof words);
  status_words(state);
  status_retry_ = INT64_MAX;
  if (ready_ && strcmp(words, last_status_) == 0) return;
  char message[200];
  snprintf(message, sizeof message, "%sSTATUS=%s", ready_ ? "" : "READY=1\n", words);
  if (!notifier_.send(message)) {
    status_retry_ = now + kNotifyRetryMs;
    return;
  }
  snprintf(last_status_, sizeof last_status_, "%s", words);
  ready_ = true;
}

void Monitor::publish_nut_file() {
  if (options_.status_file == nullptr) return;
  char text[2048];
  TextBuffer definition(text, sizeof text);
  add_nut_definition(definition, guard_, details_);
  const bool written = write_nut_file(options_.status_file, definition, false);
  if (!written && !status_file_failed_)
    log_line("can't write %s: %s", options_.status_file, strerror(errno));
  status_file_failed_ = !written;
}

void Monitor::reap_children() {
  int wait_status = 0;
  for (pid_t pid; (pid = waitpid(-1, &wait_status, WNOHANG)) > 0;) {
    if (hooks_.reaped(pid, wait_status) || pid != shutdown_pid_) continue;
    shutdown_command_ended(wait_status);
    publish_status(monotonic_ms());
  }
}

// Everything due at a time other than a poll: the watchdog, a message to
// send again, the shutdown command's limit and its next run, the hooks.
void Monitor::service_timers(int64_t now) {
  if (now >= next_watchdog_)
    next_watchdog_ =
        now + (notifier_.send("WATCHDOG=1") ? notifier_.watchdog_ms() : kNotifyRetryMs);
  if (now >= status_retry_) publish_status(now);
  if (shutdown_pid_ > 0 && !shutdown_killed_ && now - shutdown_started_ >= kShutdownRunLimitMs) {
    kill(-shutdown_pid_, SIGKILL);
    shutdown_killed_ = true;
  }
  if (now >= next_shutdown_run_ && shutdown_pid_ < 0 && !stopping_ && guard_.shutdown_decided()) {
    run_shutdown_command(now);
    publish_status(now);
  }
  hooks_.service(now);
}

// The first signal ends the monitor, but lets a running SHUTDOWN hook
// reach its own limit first; a second one ends it at once.
bool Monitor::take_signal(int signal_fd) {
  signalfd_siginfo info = {};
  if (read(signal_fd, &info, sizeof info) != sizeof info) return false;
  const int number = static_cast<int>(info.ssi_signo);
  if (number == SIGCHLD) {
    reap_children();
    return false;
  }
  log_line("ending on SIG%s", sigabbrev_np(number));
  if (stopping_ || !hooks_.shutdown_hook_running()) return true;
  stopping_ = true;
  hooks_.stop_starting();
  log_line("waiting for the SHUTDOWN hook");
  return false;
}

int64_t Monitor::next_wakeup() const {
  int64_t wakeup = std::min({next_watchdog_, status_retry_, hooks_.deadline_ms()});
  if (!stopping_)
    wakeup = std::min({wakeup, next_poll_, guard_.lost_on_battery_deadline(), next_shutdown_run_});
  if (shutdown_pid_ > 0 && !shutdown_killed_)
    wakeup = std::min(wakeup, shutdown_started_ + kShutdownRunLimitMs);
  return wakeup;
}

int Monitor::run(int signal_fd) {
  resume_decision();
  next_poll_ = monotonic_ms();
  if (notifier_.watchdog_ms() > 0) next_watchdog_ = next_poll_;
  for (;;) {
    int64_t now = monotonic_ms();
    if (!stopping_ && (now >= next_poll_ || now >= guard_.lost_on_battery_deadline())) {
      poll_supervisor(now);
      // Polls keep their rhythm; a late one does not bunch up the next.
      const int64_t interval = guard_.on_battery() ? std::min(options_.interval_ms, kBatteryPollMs)
                                                   : options_.interval_ms;
      next_poll_ = std::max(next_poll_ + interval, now + interval / 2);
    }
    service_timers(monotonic_ms());
    if (stopping_ && !hooks_.shutdown_hook_running()) break;
    pollfd wait = {signal_fd, POLLIN, 0};
    const int64_t timeout =
        std::clamp<int64_t>(next_wakeup() - monotonic_ms(), 0, int64_t{3600} * 1000);
    if (poll(&wait, 1, static_cast<int>(timeout)) > 0 && take_signal(signal_fd)) break;
  }
  mark_stopped(options_);
  return 0;
}

// Every signal that would end the monitor ends it as SIGTERM does, through
// the descriptor, but for those of a fault (SIGSEGV, SIGABRT from the
// service manager's watchdog, ...), which keep their core dump. SIGPIPE and
// SIGXFSZ are ignored: a log reader gone or a full file is no reason to stop.
constexpr int kEndingSignals[] = {SIGHUP,    SIGINT, SIGQUIT,   SIGUSR1, SIGUSR2, SIGALRM, SIGTERM,
                                  SIGSTKFLT, SIGPWR, SIGVTALRM, SIGPROF, SIGIO,   SIGXCPU};

int signals_to_descriptor() {
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  sigset_t handled;
  sigemptyset(&handled);
  sigaddset(&handled, SIGCHLD);
  for (int number : kEndingSignals) sigaddset(&handled, number);
  for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) sigaddset(&handled, number);
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
  if (options.mark_stopped) return mark_stopped(options);
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
