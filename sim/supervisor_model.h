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

// The code of the event that the tool's decoder names name.
uint8_t event_code(std::string_view name);

}  // namespace sim
