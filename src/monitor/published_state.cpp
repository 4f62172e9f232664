// SPDX-License-Identifier: MIT
#include "monitor/published_state.h"

#include "ops/json_writer.h"
#include "ops/reply_values.h"

void PollHistory::polled(int64_t unix_s, bool answered, std::span<const Notice> notices) {
  last_poll_s_ = unix_s;
  if (answered) last_answer_s_ = unix_s;
  for (const Notice& given : notices) {
    ring_[next_] = {unix_s, given};
    next_ = (next_ + 1) % kNoticesKept;
    if (kept_ < kNoticesKept) ++kept_;
    ++counts_[static_cast<int>(given.kind)];
  }
}

const TimedNotice& PollHistory::notice(int index) const {
  return ring_[(next_ - kept_ + index + kNoticesKept) % kNoticesKept];
}

namespace {

void add_notices(JsonWriter& json, const PollHistory& history) {
  json.begin_array("notifications");
  for (int i = 0; i < history.notices_kept(); ++i) {
    const TimedNotice& timed = history.notice(i);
    json.begin_object();
    json.field_integer("time_s", timed.time_s);
    json.field("name", notification_name(timed.notice.kind));
    if (timed.notice.kind == Notification::event) {
      json.field("event_code", unsigned{timed.notice.event_code});
      json.field("event_name", event_name(timed.notice.event_code));
    }
    json.end_object();
  }
  json.end_array();
}

}  // namespace

// The values are the last answer's, kept while the supervisor is silent
// (then "answered" is false); null before the first answer.
void write_state_json(FILE* out, const PublishedState& state) {
  const PowerGuard& guard = state.guard;
  const PollHistory& history = state.history;
  const bool known = guard.ever_answered();
  const PowerStatus& power = guard.last_reading();
  JsonWriter json(out);
  char status[32];
  TextBuffer words(status, sizeof status);
  add_ups_status(words, power, guard.low_battery(), guard.lost_on_battery(), guard.forced());
  const bool identity = state.details.identity_known;
  json.begin_object();
  json.field("format_version", 1u);
  json.field("running", state.running);
  json.field("answered", guard.answering());
  json.field("status", known ? status : nullptr);
  json.field_or_null("line", known, power.line);
  json.field_or_null("charging", known, power.charging);
  json.field_integer_or_null("millivolts", known, power.millivolts);
  json.field_integer_or_null("charge_percent", known, power.charge_percent);
  json.field_integer_or_null("low_bat_percent", known, guard.thresholds().low);
  json.field_integer_or_null("critical_low_bat_percent", known, guard.thresholds().critical);
  json.field("shutdown_reason",
             guard.shutdown_decided() ? shutdown_reason_name(guard.shutdown_reason()) : nullptr);
  json.field("serial", identity ? state.details.serial : nullptr);
  json.field("model", identity ? state.details.model : nullptr);
  json.field_integer_or_null("last_poll_s", history.last_poll_s() != 0, history.last_poll_s());
  json.field_integer_or_null("last_answer_s", history.last_answer_s() != 0,
                             history.last_answer_s());
  json.field_integer_or_null("poll_interval_ms", history.poll_interval_ms() != 0,
                             history.poll_interval_ms());
  json.field_integer_or_null("runtime_s", state.runtime_s.has_value(), state.runtime_s.value_or(0));
  add_notices(json, history);
  json.end_object();
  json.end_line();
}
