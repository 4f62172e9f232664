// SPDX-License-Identifier: MIT
#include "supervisor_model.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>

#include "ops/decoders.h"

namespace sim {

namespace {

enum Command : uint8_t {
  kGetDeviceId = 0x21,
  kGetDeviceInfo = 0x22,
  kGetPowerStatus = 0x23,
  kGetSupervisorMode = 0x24,
  kGetActiveMcu = 0x25,
  kGetActiveUsbPorts = 0x26,
  kGetEvent = 0x27,
  kGetRgb = 0x28,
  kGetLowBat = 0x29,
  kGetCriticalLowBat = 0x2A,
  kGetAccelSensitivity = 0x2B,
  kGetBoardTemperature = 0x2C,
  kSetMagic = 0x61,
  kUnlockAdminMode = 0x62,
  kSetLowBat = 0x63,
  kSetCriticalLowBat = 0x64,
  kSetAccelSensitivity = 0x65,
  kSetSupervisorMode = 0x66,
  kEnableMcu = 0x69,
  kDisableMcu = 0x6A,
  kEraseMcu = 0x6B,
  kSetRgb = 0x6C,
  kPowerOff = 0x6D,
};

constexpr uint32_t kFullCharge = 100;
constexpr uint64_t kMillionths = 1000000;
// 11½ days: at the smallest rate, 1 % a minute, the battery has run from
// one end to the other long before; the product with a rate stays in 64 bits.
constexpr uint64_t kLongestRun = 1000000000000;

bool on_line(const SupervisorState& state) { return (state.power_flags & kLinePower) != 0; }
bool charging(const SupervisorState& state) { return (state.power_flags & kCharging) != 0; }
bool battery_full(const SupervisorState& state) { return state.charge_percent >= kFullCharge; }
bool battery_low(const SupervisorState& state) { return state.charge_percent <= state.low_bat; }
bool battery_critical(const SupervisorState& state) {
  return state.charge_percent <= state.critical_low_bat;
}
bool motion(const SupervisorState& state) { return (state.power_flags & kMotion) != 0; }

// A condition of the board, and the events queued when it starts and when
// it stops holding (nullptr: none). Rules are applied in this order.
struct EventRule {
  bool (*holds)(const SupervisorState&);
  const char* started;
  const char* stopped;
};

constexpr EventRule kEventRules[] = {
    {on_line, "MAINPOWERBACK", "MAINPOWERLOST"},
    {charging, "BATCHARGING", nullptr},
    {battery_full, "BATCHARGED", nullptr},
    {battery_low, "BATLOW", "BATLOWOFF"},
    {battery_critical, "BATCRITICALLOW", "BATCRITICALLOWOFF"},
    {motion, "MOTIONDETECTED", "MOTIONSTOPED"},
};

// Line power coming back starts charging a battery that is not full; there
// is no charging without line power or with a full battery.
void follow_power(const SupervisorState& before, SupervisorState& state) {
  if (on_line(state) && !on_line(before)) state.power_flags |= kCharging;
  if (!on_line(state) || battery_full(state)) state.power_flags &= ~kCharging;
  // What was drained towards the next percent down does not count towards
  // the next one up, nor the other way round.
  if (on_line(state) != on_line(before)) state.charge_fraction = 0;
}

// Drains or charges the battery for elapsed microseconds: rate percent a
// minute is rate millionths of a percent every 60 microseconds. The charge
// stops at 0 and, charging, at 100.
void run_battery(SupervisorState& state, uint64_t elapsed) {
  const bool line = on_line(state);
  const uint32_t rate = line ? (state.charge_percent < kFullCharge ? state.charge_per_minute : 0)
                             : (state.charge_percent > 0 ? state.drain_per_minute : 0);
  if (rate == 0) return;
  const uint64_t progress = state.charge_fraction + rate * std::min(elapsed, kLongestRun) / 60;
  const uint64_t steps = progress / kMillionths;
  state.charge_fraction = static_cast<uint32_t>(progress % kMillionths);
  const uint64_t charge = state.charge_percent;
  const uint64_t after =
      line ? std::min<uint64_t>(charge + steps, kFullCharge) : charge - std::min(charge, steps);
  state.charge_percent = static_cast<uint32_t>(after);
  if (after == 0 || (line && after == kFullCharge)) state.charge_fraction = 0;
}

// Writes into the reply, ignoring bytes beyond a short transfer.
class ReplyWriter {
 public:
  explicit ReplyWriter(std::span<uint8_t> rx) : rx_(rx) {}
  void byte(size_t index, uint32_t value) {
    if (index < rx_.size()) rx_[index] = static_cast<uint8_t>(value);
  }
  void u16(size_t index, uint32_t value) {
    byte(index, value & 0xFF);
    byte(index + 1, value >> 8);
  }

 private:
  std::span<uint8_t> rx_;
};

// Argument bytes of a setting frame; a short frame reads as 0xFF.
uint32_t frame_byte(std::span<const uint8_t> tx, size_t index) {
  return index < tx.size() ? tx[index] : 0xFF;
}

uint32_t frame_word(std::span<const uint8_t> tx) {
  return frame_byte(tx, 1) << 24 | frame_byte(tx, 2) << 16 | frame_byte(tx, 3) << 8 |
         frame_byte(tx, 4);
}

void queue_event(SupervisorState& state, uint8_t code) {
  if (state.events.size() < kMaxQueuedEvents) state.events.push_back(code);
}

void queue_event(SupervisorState& state, const char* name) { queue_event(state, event_code(name)); }

// The supervisor only accepts MCU numbers 1 to 10.
uint32_t mcu_bit(uint32_t number) { return number >= 1 && number <= 10 ? 1u << (number - 1) : 0; }

void answer_events(SupervisorState& state, ReplyWriter& reply, size_t reply_size) {
  const size_t room = reply_size > 3 ? reply_size - 3 : 0;
  const size_t count = std::min(state.events.size(), room);
  reply.byte(2, static_cast<uint32_t>(count));
  for (size_t i = 0; i < count; ++i) reply.byte(3 + i, state.events[i]);
  state.events.erase(state.events.begin(), state.events.begin() + static_cast<long>(count));
}

void answer_query(SupervisorState& state, uint8_t command, std::span<uint8_t> rx) {
  ReplyWriter reply(rx);
  switch (command) {
    case kGetDeviceId:
      for (size_t i = 0; i < state.device_id.size(); ++i) reply.byte(2 + i, state.device_id[i]);
      break;
    case kGetDeviceInfo:
      for (size_t i = 0; i <= state.device_info.size(); ++i)
        reply.byte(2 + i, i < state.device_info.size() ? state.device_info[i] : 0);
      break;
    case kGetPowerStatus:
      reply.byte(1, state.power_flags);
      reply.u16(2, state.millivolts);
      reply.byte(4, state.charge_percent);
      break;
    case kGetSupervisorMode: reply.byte(2, state.mode); break;
    case kGetActiveMcu: reply.u16(2, state.active_mcus); break;
    case kGetActiveUsbPorts: reply.u16(2, state.active_usb_ports); break;
    case kGetEvent: answer_events(state, reply, rx.size()); break;
    case kGetRgb:
      reply.byte(2, state.rgb >> 16);
      reply.byte(3, state.rgb >> 8);
      reply.byte(4, state.rgb);
      break;
    case kGetLowBat: reply.byte(2, state.low_bat); break;
    case kGetCriticalLowBat: reply.byte(2, state.critical_low_bat); break;
    case kGetAccelSensitivity: reply.byte(2, state.accel_sensitivity); break;
    case kGetBoardTemperature: reply.u16(2, state.temperature); break;
    default: break;
  }
}

void apply_setting(SupervisorState& state, std::span<const uint8_t> tx) {
  const uint32_t value = frame_byte(tx, 1);
  switch (tx[0]) {
    case kSetMagic: state.magic = frame_word(tx); break;
    case kUnlockAdminMode:
      state.admin_unlocked = 1;
      queue_event(state, "ADMINUNLOCKED");
      break;
    case kSetLowBat: state.low_bat = value; break;
    case kSetCriticalLowBat: state.critical_low_bat = value; break;
    case kSetAccelSensitivity: state.accel_sensitivity = value; break;
    case kSetSupervisorMode: state.mode = value; break;
    case kEnableMcu: state.active_mcus |= mcu_bit(value); break;
    case kDisableMcu: state.active_mcus &= ~mcu_bit(value); break;
    case kEraseMcu:
      if (mcu_bit(value)) queue_event(state, ("ERASED_C" + std::to_string(value)).c_str());
      break;
    case kSetRgb: state.rgb = value << 16 | frame_byte(tx, 2) << 8 | frame_byte(tx, 3); break;
    case kPowerOff: state.powered_off = 1; break;
    default: break;
  }
}

}  // namespace

bool parse_fault(std::string_view name, Fault& fault) {
  for (size_t i = 0; i < std::size(kFaultNames); ++i) {
    if (name != kFaultNames[i]) continue;
    fault = static_cast<Fault>(i);
    return true;
  }
  return false;
}

SupervisorState initial_state() {
  SupervisorState state{};
  state.device_id = {0x53, 0x55, 0x50, 0x56, 0x00, 0x01, 0x20, 0x26,
                     0x12, 0x08, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
  state.device_info = "Simulated power supervisor, firmware 1.3";
  state.power_flags = 0x0A;  // charging, line
  state.millivolts = 4012;
  state.charge_percent = 87;
  state.mode = 1;
  state.active_mcus = 0x007;
  state.active_usb_ports = 0x003;
  state.events = {event_code("POWER-ON_RESET (POR) / POWER-DOWN_RESET (PDR)")};
  state.rgb = 0x00FF00;
  state.low_bat = 20;
  state.critical_low_bat = 10;
  state.accel_sensitivity = 64;
  state.temperature = 253;
  return state;
}

void answer_frame(SupervisorState& state, std::span<const uint8_t> tx, std::span<uint8_t> rx) {
  if (state.powered_off || tx.empty()) return;
  if (tx[0] < kSetMagic) {
    answer_query(state, tx[0], rx);
    return;
  }
  const SupervisorState before = state;
  apply_setting(state, tx);
  react_to_change(before, state);
}

void react_to_change(const SupervisorState& before, SupervisorState& state) {
  follow_power(before, state);
  for (const EventRule& rule : kEventRules) {
    const bool was = rule.holds(before), is = rule.holds(state);
    const char* event = was == is ? nullptr : is ? rule.started : rule.stopped;
    if (event != nullptr) queue_event(state, event);
  }
}

void bring_up_to_date(SupervisorState& state, uint64_t now) {
  const uint64_t since = state.charge_updated;
  state.charge_updated = now;
  if (since == 0 || now <= since) return;
  const SupervisorState before = state;
  run_battery(state, now - since);
  react_to_change(before, state);
}

bool only_the_clock_ran(const SupervisorState& saved, const SupervisorState& state) {
  if (saved.charge_updated == 0 || state.charge_updated < saved.charge_updated) return false;
  SupervisorState clock_back = state;
  clock_back.charge_fraction = saved.charge_fraction;
  clock_back.charge_updated = saved.charge_updated;
  return clock_back == saved;
}

uint8_t event_code(std::string_view name) {
  for (unsigned code = 0; code <= 0xFF; ++code) {
    const char* known = event_name(static_cast<uint8_t>(code));
    if (known != nullptr && name == known) return static_cast<uint8_t>(code);
  }
  // Every name the model queues is in the decoder's table; the tests run
  // each of them.
  abort();
}

}  // namespace sim
