// What the simulated supervisor answers to a frame.
#pragma once

#include <cstdint>
#include <span>

namespace sim {

// Fills rx with the supervisor's reply to the frame tx. Frames the model
// does not know get no answer: rx keeps its 0xFF fill.
void answer_frame(std::span<const uint8_t> tx, std::span<uint8_t> rx);

}  // namespace sim
