// SPDX-License-Identifier: MIT
#include "monitor/monitor_options.h"

#include <getopt.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ops/answer_check.h"

namespace {

constexpr int64_t kMinIntervalMs = 100;
constexpr int64_t kMaxIntervalMs = int64_t{3600} * 1000;

enum LongOnly {
  kNoShutdown = 256,
  kOnce,
  kMarkStopped,
  kRuntimeLow,
  kOnBatteryMax,
  kVoltageLow,
  kForceShutdown,
  kHooksDir,
  kMetrics
};

// The rules' whole-number settings and the values each takes. A voltage at
// or below the floor is what a supervisor that is not measuring reads: such
// a poll is no answer, so the rule could never hold.
struct RuleSetting {
  int option;
  uint32_t ShutdownRules::*field;
  uint32_t min, max;
};

constexpr RuleSetting kRuleSettings[] = {
    {kRuntimeLow, &ShutdownRules::runtime_low_s, 1, 86400},
    {kOnBatteryMax, &ShutdownRules::on_battery_max_s, 1, 86400},
    {kVoltageLow, &ShutdownRules::voltage_low_mv, kMinBatteryMillivolts + 1, 65535},
};

constexpr char kShortOptions[] = "d:i:x:s:P:n:jvhV";

constexpr option kLongOptions[] = {
    {"dev", required_argument, nullptr, 'd'},
    {"interval", required_argument, nullptr, 'i'},
    {"exec", required_argument, nullptr, 'x'},
    {"shutdown", required_argument, nullptr, 's'},
    {"no-shutdown", no_argument, nullptr, kNoShutdown},
    {"poweroff", required_argument, nullptr, 'P'},
    {"nut", required_argument, nullptr, 'n'},
    {"once", no_argument, nullptr, kOnce},
    {"mark-stopped", no_argument, nullptr, kMarkStopped},
    {"hooks-dir", required_argument, nullptr, kHooksDir},
    {"metrics", required_argument, nullptr, kMetrics},
    {"runtime-low", required_argument, nullptr, kRuntimeLow},
    {"on-battery-max", required_argument, nullptr, kOnBatteryMax},
    {"voltage-low", required_argument, nullptr, kVoltageLow},
    {"forceshutdown", no_argument, nullptr, kForceShutdown},
    {"json", no_argument, nullptr, 'j'},
    {"verbose", no_argument, nullptr, 'v'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

const char* given_or_null(const char* text) { return text[0] != '\0' ? text : nullptr; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

MonitorCommand invalid(FILE* err, const char* what, const char* text) {
  fprintf(err, "supctl-monitor: %s: '%s'\nTry 'supctl-monitor --help'.\n", what, text);
  return MonitorCommand::invalid;
}

bool is_hex_digit(char c) {
  return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Decimal digits only, from min to max.
bool parse_whole(const char* text, uint32_t min, uint32_t max, uint32_t& value) {
  uint64_t number = 0;
  const char* p = text;
  for (; is_digit(*p) && number <= max; ++p) number = number * 10 + static_cast<uint64_t>(*p - '0');
  if (p == text || *p != '\0' || number < min || number > max) return false;
  value = static_cast<uint32_t>(number);
  return true;
}

// The node exporter reads *.prom files alone, so the file written beside
// it while it is replaced (NAME.new) is never read half made.
bool names_a_metrics_file(const char* path) {
  const size_t length = strlen(path);
  return length > 5 && strcmp(path + length - 5, ".prom") == 0 && path[length - 6] != '/';
}

}  // namespace

bool parse_poweroff_value(const char* text, uint32_t& value) {
  if (text[0] != 'x') return false;
  const size_t digits = strlen(text + 1);
  if (digits < 1 || digits > 8 || !std::all_of(text + 1, text + 1 + digits, is_hex_digit))
    return false;
  value = static_cast<uint32_t>(strtoul(text + 1, nullptr, 16));
  return true;
}

namespace {

// The setting of the rule OPTION, given as --NAME; false with the message
// written when its value is refused.
bool take_rule_setting(int option, const char* name, const char* text, ShutdownRules& rules,
                       FILE* err) {
  for (const RuleSetting& setting : kRuleSettings) {
    if (setting.option != option) continue;
    if (parse_whole(text, setting.min, setting.max, rules.*setting.field)) return true;
    char what[64];
    snprintf(what, sizeof what, "invalid --%s (%u to %u)", name, static_cast<unsigned>(setting.min),
             static_cast<unsigned>(setting.max));
    invalid(err, what, text);
  }
  return false;
}

bool take_poweroff_value(const char* text, MonitorOptions& options) {
  options.poweroff_set = text[0] != '\0';
  return !options.poweroff_set || parse_poweroff_value(text, options.poweroff_value);
}

MonitorCommand check_combination(const MonitorOptions& options, bool shutdown_given, FILE* err) {
  if (shutdown_given && !options.act_on_shutdown)
    return invalid(err, "-s and --no-shutdown exclude each other", "--no-shutdown");
  if (options.json && !options.once) return invalid(err, "-j needs --once", "-j");
  if (options.once && options.mark_stopped)
    return invalid(err, "--once and --mark-stopped exclude each other", "--mark-stopped");
  // The flag holds the device on a line of its own.
  if (strchr(options.device, '\n') != nullptr)
    return invalid(err, "a device path with a line end", options.device);
  return MonitorCommand::run;
}

}  // namespace

int64_t parse_interval_ms(const char* text) {
  int64_t ms = 0;
  const char* p = text;
  for (; is_digit(*p) && ms <= kMaxIntervalMs; ++p) ms = ms * 10 + (*p - '0');
  if (p == text) return -1;
  ms *= 1000;
  if (*p == '.') {
    int64_t scale = 100;
    for (++p; is_digit(*p) && scale > 0; ++p, scale /= 10) ms += (*p - '0') * scale;
  }
  if (*p != '\0' || ms < kMinIntervalMs || ms > kMaxIntervalMs) return -1;
  return ms;
}

MonitorCommand parse_monitor_options(int argc, char* argv[], MonitorOptions& options, FILE* err) {
  optind = 0;  // full re-initialisation, so the parser can run more than once
  bool shutdown_given = false;
  for (;;) {
    int long_index = 0;
    const int letter = getopt_long(argc, argv, kShortOptions, kLongOptions, &long_index);
    switch (letter) {
      case -1: break;
      case 'd': options.device = optarg[0] != '\0' ? optarg : "/dev/spidev0.1"; continue;
      case 'i':
        options.interval_ms = parse_interval_ms(optarg);
        if (options.interval_ms < 0) return invalid(err, "invalid interval (0.1 to 3600)", optarg);
        continue;
      case 'x': options.hook_command = given_or_null(optarg); continue;
      case 's':
        options.shutdown_command = optarg;
        shutdown_given = true;
        if (optarg[0] == '\0') return invalid(err, "empty shutdown command", optarg);
        continue;
      case kNoShutdown: options.act_on_shutdown = false; continue;
      case 'P':
        if (!take_poweroff_value(optarg, options))
          return invalid(err, "invalid power-off value (x and 1 to 8 hex digits)", optarg);
        continue;
      case 'n': options.status_file = given_or_null(optarg); continue;
      case kOnce: options.once = true; continue;
      case kMarkStopped: options.mark_stopped = true; continue;
      case kHooksDir:
        options.hook_folder = optarg[0] != '\0' ? optarg : MonitorOptions{}.hook_folder;
        continue;
      case kMetrics:
        options.metrics_file = given_or_null(optarg);
        if (options.metrics_file != nullptr && !names_a_metrics_file(optarg))
          return invalid(err, "the metrics file's name must end in .prom", optarg);
        continue;
      case kRuntimeLow:
      case kOnBatteryMax:
      case kVoltageLow:
        if (!take_rule_setting(letter, kLongOptions[long_index].name, optarg, options.rules, err))
          return MonitorCommand::invalid;
        continue;
      case kForceShutdown: options.rules.forceshutdown = true; continue;
      case 'j': options.json = true; continue;
      case 'v': options.verbose = true; continue;
      case 'h': return MonitorCommand::help;
      case 'V': return MonitorCommand::version;
      default:  // getopt_long has said what is wrong
        fputs("Try 'supctl-monitor --help'.\n", err);
        return MonitorCommand::invalid;
    }
    break;
  }
  if (optind < argc) return invalid(err, "unexpected argument", argv[optind]);
  return check_combination(options, shutdown_given, err);
}

void print_monitor_usage(FILE* out) {
  fputs(
      "Usage: supctl-monitor [-d DEV] [-i SECONDS] [-x COMMAND] [-s COMMAND | --no-shutdown]\n"
      "                      [-P xVALUE] [-n FILE] [--hooks-dir DIR] [--metrics FILE]\n"
      "                      [--runtime-low SECONDS] [--on-battery-max SECONDS]\n"
      "                      [--voltage-low MILLIVOLTS] [--forceshutdown]\n"
      "                      [--once [-j] | --mark-stopped] [-v] [-h] [-V]\n"
      "Watches the board's power supervisor: notifies line power and battery changes,\n"
      "shuts the board down before its battery is empty, and has the supervisor cut\n"
      "power after the halt.\n"
      "\n"
      "  -d, --dev DEV            SPI device (default: /dev/spidev0.1)\n"
      "  -i, --interval SECONDS   time between polls, 0.1 to 3600 (default: 5)\n"
      "  -x, --exec COMMAND       run COMMAND through /bin/sh -c for each notification\n"
      "  -s, --shutdown COMMAND   shutdown command (default: systemctl poweroff)\n"
      "      --no-shutdown        notify only, never shut down\n"
      "  -P, --poweroff xVALUE    value for SET_PowerOFF after the halt (x and 1 to 8\n"
      "                           hex digits)\n"
      "  -n, --nut FILE           keep FILE up to date as a NUT dummy-ups definition\n"
      "      --hooks-dir DIR      run each hook of DIR for each notification, as -x runs\n"
      "                           COMMAND (default: /etc/supctl-monitor/hooks.d)\n"
      "      --metrics FILE       keep FILE (NAME.prom) up to date as metrics for the\n"
      "                           node exporter's textfile collector\n"
      "      --once               poll once, print the state, status 0 if answered\n"
      "  -j, --json               with --once: the state as one JSON object\n"
      "      --mark-stopped       mark the files of a monitor that ended as stale\n"
      "  -v, --verbose            log every poll\n"
      "  -h, --help               this help\n"
      "  -V, --version            print the version\n"
      "\n"
      "Shutdown rules: the critical threshold, and each of these only when given;\n"
      "the first to hold on two answered polls in a row decides:\n"
      "      --runtime-low SECONDS     the estimated runtime left at or below SECONDS\n"
      "                                (1 to 86400)\n"
      "      --on-battery-max SECONDS  SECONDS on battery without a break (1 to 86400)\n"
      "      --voltage-low MILLIVOLTS  on battery, the voltage at or below MILLIVOLTS\n"
      "                                (1001 to 65535)\n"
      "      --forceshutdown           the supervisor's FORCESHUTDOWN event, at once\n",
      out);
}
