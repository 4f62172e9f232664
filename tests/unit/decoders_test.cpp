#include "ops/decoders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture.h"

namespace {

struct PowerCase {
  std::vector<uint8_t> reply;  // RX[0] to RX[5]
  std::string expected;
};

class PowerStatus : public testing::TestWithParam<PowerCase> {};

TEST_P(PowerStatus, PrintsFlagsVoltageAndLevel) {
  CapturedOutput output;
  print_power_status(output.stream(), GetParam().reply, false);
  EXPECT_EQ(output.text(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, PowerStatus,
    testing::Values(PowerCase{{0xFF, 0x0A, 0x10, 0x0F, 0x5A, 0xFF}, "charging line 3856mV 90%\n\n"},
                    PowerCase{{0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF}, "0mV 0%\n\n"},
                    PowerCase{{0xFF, 0xF0, 0x00, 0x00, 0x00, 0xFF}, "0mV 0%\n\n"},
                    PowerCase{{0xFF, 0x0F, 0x00, 0x00, 0x00, 0xFF},
                              "motion charging pg line 0mV 0%\n\n"},
                    PowerCase{{0xFF, 0x05, 0x01, 0x00, 0xC8, 0xFF}, "motion pg 1mV 200%\n\n"},
                    PowerCase{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                              "motion charging pg line 65535mV 255%\n\n"}));

}  // namespace
