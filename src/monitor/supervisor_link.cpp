// SPDX-License-Identifier: MIT
#include "monitor/supervisor_link.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ops/command_frame.h"
#include "ops/exchange.h"
#include "ops/operation_table.h"
#include "ops/reply_values.h"
#include "spi/spi_device.h"

namespace {

// Every name is in the table; the monitor's tests run each query.
const Operation& query(const char* name) { return *find_operation(name); }

Reply reply_of(const CommandFrame& frame, const Operation& query) {
  return {frame.rx, query.transfer_length};
}

}  // namespace

SupervisorLink::SupervisorLink(const char* device)
    : device_(device),
      power_status_(query("GET_PowerStatus")),
      event_(query("GET_Event")),
      low_bat_(query("GET_LowBat")),
      critical_low_bat_(query("GET_CriticalLowBat")),
      temperature_(query("GET_BoardTemperature")),
      device_id_(query("GET_DeviceID")),
      device_info_(query("GET_DeviceInfo")) {}

SupervisorLink::~SupervisorLink() {
  if (fd_ >= 0) close(fd_);
}

void SupervisorLink::fail(const char* what, int error) {
  if (error != 0) {
    snprintf(failure_, sizeof failure_, "%s: %s", what, strerror(error));
  } else {
    snprintf(failure_, sizeof failure_, "%s", what);
  }
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

// Opens the device when it is not open; a failure closes it again, so the
// next poll starts afresh.
bool SupervisorLink::exchange(const Operation& query, CommandFrame& frame) {
  if (fd_ < 0) {
    SpiSettings settings = kSpiSettings;
    const char* failed_step = nullptr;
    fd_ = spi_open(device_, settings, failed_step);
    if (fd_ < 0) {
      fail(failed_step, errno);
      return false;
    }
  }
  if (exchange_query(fd_, query, frame) < 1) {
    fail("can't send spi message", errno);
    return false;
  }
  return true;
}

void SupervisorLink::poll(PollInput& input, bool read_thresholds, bool drain_events,
                          BoardDetails& details) {
  CommandFrame frame;
  input.answered = false;
  if (!exchange(power_status_, frame)) return;
  const Reply reply = reply_of(frame, power_status_);
  if (!is_answer(power_status_, reply)) {
    char text[64];
    snprintf(text, sizeof text, "no supervisor's reply: %02x %02x %02x %02x %02x %02x", reply[0],
             reply[1], reply[2], reply[3], reply[4], reply[5]);
    fail(text, 0);
    return;
  }
  input.answered = true;
  input.power = decode_power_status(reply);
  if (read_thresholds) this->read_thresholds(input, details);
  if (drain_events) this->drain_events(input.events);
}

void SupervisorLink::read_thresholds(PollInput& input, BoardDetails& details) {
  CommandFrame low, critical, temperature;
  if (!exchange(low_bat_, low) || !exchange(critical_low_bat_, critical)) return;
  input.thresholds_read = true;
  input.low_bat = decode_byte(reply_of(low, low_bat_));
  input.critical_low_bat = decode_byte(reply_of(critical, critical_low_bat_));
  details.temperature_known = exchange(temperature_, temperature);
  if (details.temperature_known)
    details.temperature_tenths = decode_temperature(reply_of(temperature, temperature_)).tenths;
}

// GET_Event again until the supervisor has none left, at most four times.
void SupervisorLink::drain_events(DrainedEvents& events) {
  events = DrainedEvents{};
  for (int read = 0; read < kMaxEventReads; ++read) {
    CommandFrame frame;
    if (!exchange(event_, frame)) {
      events.outcome = DrainedEvents::read_failed;
      return;
    }
    const EventList list = decode_events(reply_of(frame, event_));
    if (list.announced > kCodesPerEventRead) {
      events.outcome = DrainedEvents::not_believed;
      return;
    }
    for (int i = 0; i < list.count; ++i) events.codes[events.count++] = list.codes[i];
    if (list.announced == 0) return;
  }
}

void SupervisorLink::read_identity(BoardDetails& details) {
  CommandFrame id, info;
  if (!exchange(device_id_, id) || !exchange(device_info_, info)) return;
  const DeviceId identifier = decode_device_id(reply_of(id, device_id_));
  for (size_t i = 0; i < sizeof identifier.bytes; ++i)
    snprintf(details.serial + 2 * i, 3, "%02x", identifier.bytes[i]);
  snprintf(details.model, sizeof details.model, "%s",
           decode_device_info(reply_of(info, device_info_)).text);
  details.identity_known = true;
}
