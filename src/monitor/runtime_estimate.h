// SPDX-License-Identifier: MIT
// The battery's runtime: the seconds left to 0 % on battery, estimated from
// the measured rate of discharge. Fed one sample per answered poll (the
// monotonic time, the charge, line power or not); pure logic, fixed storage.
//
// The supervisor reports whole percents, so the charge is a staircase: at
// 1 %/min a step a minute, at 60 %/min a step a second. A slope fitted to a
// staircase, or the drop since the window's first sample, depends on where
// in a step the window starts, and is worst in the first few steps. The
// estimator therefore times the steps themselves: a fall is a poll that reads
// a charge lower than any before in the run; the charge reached that value
// between the poll before and this one, so the fall is taken at the midpoint
// of the two, and its uncertainty is the time between them. The rate is the
// percents fallen from the oldest remembered fall to the newest, over the time
// between them; both ends sit on a step's edge, so a linear drain measures
// exactly, whatever the phase of the polls. The runtime is then the charge
// read at the newest fall times the time a percent takes, less the time since
// that fall. When the next fall is overdue the drain has slowed: the present
// percent has lasted that long already, and each percent left is taken to last
// as long, so the estimate grows instead of running down to 0 on a charge
// that holds.
//
// The window is the last 16 falls (15 intervals). At a slow drain that is
// 15 percents (15 min at 1 %/min): a gauge's uneven steps are averaged out,
// and a change of load shows within that many percents. At a drain of a
// percent or more a poll every poll falls, so the window is 15 polls, more
// than the 10 the precision below asks for.
//
// Unknown until the rate is precise: at least two falls, and the time
// between the oldest and the newest at least 10 times the mean of their
// uncertainties, so the rate's timing error is at most 10 %. Polled every
// second, that is 11 samples at a percent a second (the estimate is known
// after about 11 s) and two falls at 1 %/min (one to two minutes after line
// power is lost); polled every 10 s, a percent a minute needs three falls.
// One sample (--once) gives none.
//
// The run starts afresh, forgetting every fall:
//   - when line power comes or goes (on line power the estimate is unknown);
//   - when the charge rises on battery by more than 1 % above the lowest of
//     the run: the battery was charged or changed, or the gauge corrected
//     itself, and the old falls describe another battery. A rise of 1 % is a
//     reading at a step's edge and is ignored, so a charge that flickers
//     between two percents keeps its estimate;
//   - after more than 60 s without a sample (six polls at the longest
//     interval on battery): the monitor was stopped or the supervisor was
//     silent, and line power may have come and gone unseen;
//   - on a clock that does not advance.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

struct RuntimeTunables {
  int window_falls;          // falls remembered; the rate spans them
  int precision;             // the rate is known once its span is this many uncertainties
  int ignored_rise_percent;  // a rise on battery up to this above the lowest is ignored
  int64_t longest_gap_ms;    // a longer time between samples starts afresh
};

inline constexpr RuntimeTunables kRuntimeTunables = {
    .window_falls = 16, .precision = 10, .ignored_rise_percent = 1, .longest_gap_ms = 60000};

class RuntimeEstimate {
 public:
  // One answered poll: its monotonic time, the charge (0 to 100) and
  // whether the board is on line power.
  void add(int64_t now_ms, uint8_t charge_percent, bool line);

  // The seconds left to 0 % as of the last sample, rounded down; none on
  // line power and until the rate is known.
  std::optional<uint32_t> seconds_left() const;

 private:
  // The charge fell to `charge` between before_ms and after_ms.
  struct Fall {
    int64_t before_ms;
    int64_t after_ms;
    uint8_t charge;
  };

  void start_afresh(int64_t now_ms, uint8_t charge_percent, bool line);
  const Fall& fall(int back) const;  // 0: the newest

  std::array<Fall, kRuntimeTunables.window_falls> falls_ = {};
  int count_ = 0;   // falls remembered
  int newest_ = 0;  // index of the newest
  bool started_ = false;
  bool line_ = false;
  int64_t last_ms_ = 0;
  uint8_t lowest_ = 0;  // the lowest charge of the run
};
