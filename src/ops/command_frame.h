// SPDX-License-Identifier: MIT
// The frame of one supervisor exchange.
#pragma once

#include <cstdint>
#include <cstring>

inline constexpr int kMaxFrameCapacity = 96;

// Transmit and receive buffers of one exchange. Both start filled with 0xFF;
// TX[0] carries the command byte, a setting command's argument follows it.
struct CommandFrame {
  uint8_t tx[kMaxFrameCapacity];
  uint8_t rx[kMaxFrameCapacity];
};

inline void prepare_frame(CommandFrame& frame, uint8_t command, int capacity) {
  memset(frame.tx, 0xFF, capacity);
  memset(frame.rx, 0xFF, capacity);
  frame.tx[0] = command;
}
