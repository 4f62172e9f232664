// SPDX-License-Identifier: MIT
#include "monitor/runtime_estimate.h"

#include <algorithm>
#include <limits>

namespace {

constexpr int kWindow = kRuntimeTunables.window_falls;
static_assert(kWindow >= 2, "a rate needs two falls");

}  // namespace

void RuntimeEstimate::start_afresh(int64_t now_ms, uint8_t charge_percent, bool line) {
  count_ = 0;
  started_ = true;
  line_ = line;
  last_ms_ = now_ms;
  lowest_ = charge_percent;
}

void RuntimeEstimate::add(int64_t now_ms, uint8_t charge_percent, bool line) {
  const bool afresh = !started_ || line != line_ || now_ms <= last_ms_ ||
                      now_ms - last_ms_ > kRuntimeTunables.longest_gap_ms ||
                      charge_percent > lowest_ + kRuntimeTunables.ignored_rise_percent;
  if (afresh) {
    start_afresh(now_ms, charge_percent, line);
    return;
  }
  if (charge_percent < lowest_) {
    newest_ = (newest_ + 1) % kWindow;
    falls_[newest_] = {last_ms_, now_ms, charge_percent};
    count_ = std::min(count_ + 1, kWindow);
    lowest_ = charge_percent;
  }
  last_ms_ = now_ms;
}

const RuntimeEstimate::Fall& RuntimeEstimate::fall(int back) const {
  return falls_[(newest_ - back + kWindow) % kWindow];
}

std::optional<uint32_t> RuntimeEstimate::seconds_left() const {
  if (line_ || count_ < 2) return std::nullopt;
  const Fall& oldest = fall(count_ - 1);
  const Fall& newest = fall(0);
  // Times are doubled, so that the midpoints of falls are whole.
  const int64_t span2 = newest.before_ms + newest.after_ms - oldest.before_ms - oldest.after_ms;
  const int64_t uncertainties =
      newest.after_ms - newest.before_ms + oldest.after_ms - oldest.before_ms;
  if (span2 < kRuntimeTunables.precision * uncertainties) return std::nullopt;
  const int64_t dropped = oldest.charge - newest.charge;
  const int64_t charge = newest.charge;
  const int64_t since2 = 2 * last_ms_ - newest.before_ms - newest.after_ms;
  // A percent takes span2 / dropped; past that, the present one has lasted since2.
  const bool overdue = since2 * dropped >= span2;
  const int64_t left2 =
      overdue ? (charge - 1) * since2 : (charge * span2 - since2 * dropped) / dropped;
  return static_cast<uint32_t>(
      std::clamp<int64_t>(left2 / 2000, 0, std::numeric_limits<uint32_t>::max()));
}
