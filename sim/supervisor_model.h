// SPDX-License-Identifier: MIT
// The simulated supervisor: its state and how it answers each frame.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Bits of SupervisorState::power_flags.
inline constexpr uint32_t kMotion = 1u << 0;
inline constexpr uint32_t kCharging = 1u << 1;
inline constexpr uint32_t kPowerGood = 1u << 2;
inline constexpr uint32_t kLinePower = 1u << 3;

// How the bus misbehaves: not at all, silent (every byte 0xFF), failing
// transfers, or a device that refuses its settings.
enum class Fault : uint32_t { none, silent, transfer, settings };

// The names of the faults, in the order of Fault.
inline constexpr const char* kFaultNames[] = {"none", "silent", "transfer", "settings"};

bool parse_fault(std::string_view name, Fault& fault);

struct SupervisorState {
  std::array<uint8_t, 16> device_id;
  std::string device_info;  // at most kMaxInfoLength characters
  uint32_t power_flags;     // kMotion, kCharging, kPowerGood, kLinePower
  uint32_t millivolts;
  uint32_t charge_percent;
  uint32_t mode;
  uint32_t active_mcus;         // bit n: MCU n + 1
  uint32_t active_usb_ports;    // bit n: port n + 1
  std::vector<uint8_t> events;  // oldest first
  uint32_t rgb;                 // 0xRRGGBB
  uint32_t low_bat;
  uint32_t critical_low_bat;
  uint32_t accel_sensitivity;
  uint32_t temperature;  // tenths of a degree
  uint32_t magic;
  uint32_t admin_unlocked;
  uint32_t powered_off;  // once set, the bus stays silent
  Fault fault;
  // The battery over time: percent per minute drained while the line flag
  // is clear, and charged while it is set and the charge is below 100.
  uint32_t drain_per_minute;
  uint32_t charge_per_minute;
  // Millionths of a percent drained or charged since charge_percent last
  // changed by a whole percent.
  uint32_t charge_fraction;
  // Wall time in microseconds since 1970 up to which the charge has run;
  // 0 before it ever has.
  uint64_t charge_updated;

  bool operator==(const SupervisorState&) const = default;
};

inline constexpr size_t kMaxInfoLength = 63;
inline constexpr size_t kMaxQueuedEvents = 64;

// A board fresh from the factory: on line power and charging, one
// power-on reset event queued.
SupervisorState initial_state();

// Fills rx with the reply to the frame tx and applies what a setting command
// changes, reacting to it. A powered-off supervisor, and frames it does not
// know, leave rx untouched (0xFF on the bus).
void answer_frame(SupervisorState& state, std::span<const uint8_t> tx, std::span<uint8_t> rx);

// Reacts to a change from before to state as the supervisor does: the
// charging flag follows line power and the charge, and every condition of
// the event rules that starts or stops holding queues its event.
void react_to_change(const SupervisorState& before, SupervisorState& state);

// Runs the battery from state.charge_updated to now (wall time in
// microseconds) at the rates of the state, and reacts to the change. A
// state never brought up to date, or a clock that went back, changes
// nothing but the time.
void bring_up_to_date(SupervisorState& state, uint64_t now);

// Whether a state read again later and brought up to date then gives the
// same board as state does: only the charge's clock has run since.
bool only_the_clock_ran(const SupervisorState& saved, const SupervisorState& state);

// The code of the event that the tool's decoder names name.
uint8_t event_code(std::string_view name);

}  // namespace sim
