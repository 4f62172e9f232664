// SPDX-License-Identifier: MIT
// The runtime benchmark: the monitor's runtime estimate against the
// simulated supervisor's linear drain, whose true runtime is known. Each
// scenario loses line power at 0 s and reads GET_PowerStatus from the model
// every poll in simulated time (no waiting); the table gives the estimate
// at each checkpoint, and each scenario when the estimate became known and
// its worst error from then on up to the last checkpoint.
//
//   runtime_bench
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "monitor/runtime_estimate.h"
#include "ops/operation_table.h"
#include "sim/supervisor_model.h"

namespace {

struct Scenario {
  int poll_s;
  uint32_t drain_per_minute;
  uint32_t from_percent;
  int checkpoints_s[3];
};

constexpr Scenario kScenarios[] = {
    {1, 1, 40, {60, 120, 300}},    {1, 2, 40, {60, 120, 300}},  {1, 10, 100, {60, 120, 300}},
    {1, 60, 100, {10, 20, 60}},    {10, 1, 40, {60, 120, 300}}, {10, 2, 40, {60, 120, 300}},
    {10, 10, 100, {60, 120, 300}},
};

constexpr uint64_t kWallStartUs = 1767225600000000;  // the model runs on wall time
constexpr int64_t kMonotonicStartMs = 123456;        // the monitor on its own clock

PowerStatus read_power_status(sim::SupervisorState& state) {
  const Operation* query = find_operation("GET_PowerStatus");
  if (query == nullptr) abort();
  uint8_t tx[16] = {query->command}, rx[16];
  for (uint8_t& byte : rx) byte = 0xFF;
  sim::answer_frame(state, {tx, query->transfer_length}, {rx, query->transfer_length});
  return decode_power_status({rx, query->transfer_length});
}

void run(const Scenario& scenario) {
  sim::SupervisorState state = sim::initial_state();
  state.charge_percent = scenario.from_percent;
  state.drain_per_minute = scenario.drain_per_minute;
  state.charge_updated = kWallStartUs;
  const sim::SupervisorState before = state;
  state.power_flags &= ~sim::kLinePower;
  sim::react_to_change(before, state);

  RuntimeEstimate estimate;
  std::optional<int> known_at;
  double worst = 0;
  const int last = scenario.checkpoints_s[2];
  for (int at = 0; at <= last; at += scenario.poll_s) {
    // As supctl-sim's state file does, the state is kept from before when
    // only the clock ran, so that no fraction of a percent is lost.
    sim::SupervisorState now = state;
    sim::bring_up_to_date(now, kWallStartUs + static_cast<uint64_t>(at) * 1000000);
    const PowerStatus status = read_power_status(now);
    if (!sim::only_the_clock_ran(state, now)) state = now;
    estimate.add(kMonotonicStartMs + at * 1000LL, status.charge_percent, status.line);
    const std::optional<uint32_t> left = estimate.seconds_left();
    const double truth = scenario.from_percent * 60.0 / scenario.drain_per_minute - at;
    const double error = left ? 100 * (*left - truth) / truth : 0;
    if (left && !known_at) known_at = at;
    if (left) worst = std::fmax(worst, std::fabs(error));
    for (int checkpoint : scenario.checkpoints_s) {
      if (checkpoint != at) continue;
      printf("%4d %6u %4u %6d %6u ", scenario.poll_s, scenario.drain_per_minute,
             scenario.from_percent, at, status.charge_percent);
      if (left) printf("%8u %8.0f %+7.1f\n", *left, truth, error);
      if (!left) printf("%8s %8.0f %7s\n", "unknown", truth, "");
    }
  }
  if (known_at) printf("  known after %d s; worst error from then on %.1f %%\n", *known_at, worst);
}

}  // namespace

int main() {
  printf("poll %%/min from    at charge estimate     true error %%\n");
  printf("   s               s      %%        s        s\n");
  for (const Scenario& scenario : kScenarios) run(scenario);
  return 0;
}
