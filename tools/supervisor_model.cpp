#include "supervisor_model.h"

namespace sim {

namespace {

constexpr uint8_t kPowerStatus = 0x23;
constexpr uint8_t kCharging = 1u << 1;
constexpr uint8_t kLinePower = 1u << 3;
constexpr unsigned kMillivolts = 4012;
constexpr uint8_t kChargePercent = 87;

}  // namespace

void answer_frame(std::span<const uint8_t> tx, std::span<uint8_t> rx) {
  if (tx.empty() || tx[0] != kPowerStatus || rx.size() < 5) return;
  rx[1] = kCharging | kLinePower;
  rx[2] = kMillivolts & 0xFF;
  rx[3] = kMillivolts >> 8;
  rx[4] = kChargePercent;
}

}  // namespace sim
