// SPDX-License-Identifier: MIT
// libsupctl's calls on a simulated board: ctest runs this program under
// supctl-sim, on a fresh board kept in SUPCTL_SIM_STATE.
#include <supctl.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "harness/child_process.h"
#include "ops/operation_table.h"

namespace {

// supctl-sim on the test's board, with args; errno is kept.
std::string sim(std::vector<std::string> args) {
  const int error = errno;
  args.insert(args.begin(), {SUPCTL_SIM_BINARY, "--state", SUPCTL_SIM_STATE});
  const harness::ChildResult run = harness::run_captured(args);
  EXPECT_TRUE(run.exited_with(0)) << run.describe() << run.err;
  errno = error;
  return run.out;
}

// The board as --show prints it, without the time its charge last ran.
std::string board(std::vector<std::string> args = {}) {
  args.push_back("--show");
  std::string state = sim(args);
  const size_t clock = state.find("\ncharge_updated = ");
  return state.erase(clock, state.find('\n', clock + 1) - clock);
}

std::string hex(const uint8_t* bytes, size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i)
    text += {"0123456789abcdef"[bytes[i] >> 4], "0123456789abcdef"[bytes[i] & 15]};
  return text;
}

std::string number(unsigned value) { return std::to_string(value); }
std::string byte(const uint8_t& value) { return number(value); }
std::string tenths(const uint16_t& value) { return number(value); }
std::string id(const supctl_device_id& id) { return hex(id.bytes, sizeof id.bytes); }
std::string info(const supctl_device_info& info) { return info.text; }
std::string rgb(const supctl_rgb& c) { return hex(&c.red, 1) + hex(&c.green, 1) + hex(&c.blue, 1); }
std::string numbers(const supctl_number_list& list) {
  std::string text;
  for (int i = 0; i < list.count; ++i) text += (i ? " " : "") + number(list.numbers[i]);
  return text;
}
std::string power(const supctl_power_status& p) {
  return std::string(p.line ? "line " : "") + (p.charging ? "charging " : "") +
         (p.pg ? "pg " : "") + (p.motion ? "motion " : "") + number(p.millivolts) + "mV " +
         number(p.charge_percent) + "%";
}
std::string events(const supctl_events& events) {
  std::string text = number(events.announced) + ":";
  for (int i = 0; i < events.count; ++i)
    text += std::string(" ") + supctl_event_name(events.codes[i]);
  return text;
}

// Runs on the board and shows the result code and what was read.
using Run = std::function<std::string(supctl_device*)>;

template <typename Value>
Run query(int (*get)(supctl_device*, Value*), std::string (*show)(const Value&)) {
  return [=](supctl_device* device) {
    Value value{};
    const int result = get(device, &value);
    return number(result) + " " + show(value);
  };
}

// A setting, then what shows its effect.
Run setting(const std::function<int(supctl_device*)>& set, const Run& then) {
  return [=](supctl_device* device) {
    const std::string result = number(set(device));
    return result + ", " + then(device);
  };
}
Run setting(int (*set)(supctl_device*, uint32_t), uint32_t value, const Run& then) {
  return setting([=](supctl_device* device) { return set(device, value); }, then);
}

// supctl-sim's line for what no query reads back.
Run shown_by_sim(const std::string& key) {
  return [=](supctl_device*) {
    const std::string state = board();
    const size_t at = state.find("\n" + key + " = ") + 1;
    return state.substr(at, state.find('\n', at) - at);
  };
}

const Run kEvents = query(supctl_get_events, events);
const Run kMcus = query(supctl_get_active_mcus, numbers);

// In order on one board: the queries see it fresh, each setting the board
// that the rows before left.
const struct Row {
  const char* operation;
  Run run;
  std::string shows;
} kRows[] = {
    {"GET_PowerStatus", query(supctl_get_power_status, power), "0 line charging 4012mV 87%"},
    {"GET_DeviceID", query(supctl_get_device_id, id), "0 535550560001202612080a0b0c0d0e0f"},
    {"GET_DeviceInfo", query(supctl_get_device_info, info),
     "0 Simulated power supervisor, firmware 1.3"},
    {"GET_SupervisorMode", query(supctl_get_supervisor_mode, byte), "0 1"},
    {"GET_ActiveMCU", kMcus, "0 1 2 3"},
    {"GET_ActiveUSBPorts", query(supctl_get_active_usb_ports, numbers), "0 1 2"},
    {"GET_Event", kEvents, "0 1: POWER-ON_RESET (POR) / POWER-DOWN_RESET (PDR)"},
    {"GET_RGB", query(supctl_get_rgb, rgb), "0 00ff00"},
    {"GET_LowBat", query(supctl_get_low_bat, byte), "0 20"},
    {"GET_CriticalLowBat", query(supctl_get_critical_low_bat, byte), "0 10"},
    {"GET_AccelSensitivity", query(supctl_get_accel_sensitivity, byte), "0 64"},
    {"GET_BoardTemperature", query(supctl_get_board_temperature, tenths), "0 253"},
    {"SET_SetMagic", setting(supctl_set_magic, 0x12345678, shown_by_sim("magic")),
     "0, magic = 0x12345678"},
    {"SET_UnlockAdminMode", setting(supctl_unlock_admin_mode, 0xCAFE, kEvents),
     "0, 0 1: ADMINUNLOCKED"},
    {"SET_LowBat", setting(supctl_set_low_bat, 100, kEvents), "0, 0 1: BATLOW"},
    {"SET_CriticalLowBat",
     setting(supctl_set_critical_low_bat, 1, query(supctl_get_critical_low_bat, byte)), "0, 0 1"},
    {"SET_AccelSensitivity",
     setting(supctl_set_accel_sensitivity, 128, query(supctl_get_accel_sensitivity, byte)),
     "0, 0 128"},
    // Mode 255 reads back as a silent bus does, all 0xFF: no answer.
    {"SET_SupervisorMode",
     setting(supctl_set_supervisor_mode, 255, query(supctl_get_supervisor_mode, byte)), "0, 1 255"},
    {"SET_EnableMCU", setting(supctl_enable_mcu, 10, kMcus), "0, 0 1 2 3 10"},
    {"SET_DisableMCU", setting(supctl_disable_mcu, 1, kMcus), "0, 0 2 3 10"},
    {"SET_EraseMCU", setting(supctl_erase_mcu, 4, kEvents), "0, 0 1: ERASED_C4"},
    {"SET_RGB",
     setting(
         [](supctl_device* device) {
           return supctl_set_rgb(device, {0xFF, 0x80, 0x00});
         },
         shown_by_sim("rgb")),
     "0, rgb = 0xff8000"},
    // A powered-off supervisor leaves the bus silent: decoded, not answered.
    {"SET_PowerOFF", setting(supctl_power_off, 1, query(supctl_get_power_status, power)),
     "0, 1 line charging pg motion 65535mV 255%"},
};

class CApi : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(supctl_open(&device, nullptr), SUPCTL_OK); }
  void TearDown() override { supctl_close(&device); }
  supctl_device device;
};

TEST_F(CApi, EveryOperationOnOneBoard) {
  std::map<std::string, const Row*> rows;
  for (const Row& row : kRows) rows[row.operation] = &row;
  for (const Operation& operation : kOperations) {
    if (operation.kind == OperationKind::not_implemented) continue;
    EXPECT_TRUE(rows.count(operation.name)) << operation.name << " has no row";
  }
  for (const Row& row : kRows) EXPECT_EQ(row.run(&device), row.shows) << row.operation;
}

// Below 1 and above the table's maximum nothing is sent: the board stays.
TEST_F(CApi, DecimalSettingsTakeTheToolsRanges) {
  const std::map<std::string, int (*)(supctl_device*, uint32_t)> kDecimal = {
      {"SET_LowBat", supctl_set_low_bat},
      {"SET_CriticalLowBat", supctl_set_critical_low_bat},
      {"SET_AccelSensitivity", supctl_set_accel_sensitivity},
      {"SET_SupervisorMode", supctl_set_supervisor_mode},
      {"SET_EnableMCU", supctl_enable_mcu},
      {"SET_DisableMCU", supctl_disable_mcu},
      {"SET_EraseMCU", supctl_erase_mcu},
  };
  sim({"--reset"});
  for (const Operation& operation : kOperations) {
    if (operation.form != ArgumentForm::decimal) continue;
    ASSERT_TRUE(kDecimal.count(operation.name)) << operation.name;
    for (const uint32_t value : {0u, operation.max_value + 1u}) {
      errno = 0;
      EXPECT_EQ(kDecimal.at(operation.name)(&device, value), SUPCTL_ERROR_ARGUMENT)
          << operation.name << " " << value;
      EXPECT_EQ(errno, EINVAL) << operation.name;
    }
  }
  EXPECT_EQ(board(), board({"--reset"}));
}

TEST_F(CApi, DeviceFailuresKeepTheirErrno) {
  supctl_device other;
  supctl_power_status status;
  const struct {
    std::function<int()> call;
    int result, error;
  } kFailures[] = {
      {[&] { return supctl_open(&other, "/dev/spidev0.7"); }, SUPCTL_ERROR_OPEN, ENOENT},
      {[&] { return supctl_open(&other, "/proc/self/status"); }, SUPCTL_ERROR_SETTINGS, ENOTTY},
      {[&] { return supctl_get_low_bat(&device, nullptr); }, SUPCTL_ERROR_ARGUMENT, EINVAL},
      {[&] {
         sim({"--set", "fault=transfer"});
         const int result = supctl_get_power_status(&device, &status);
         sim({"--set", "fault=none"});
         return result;
       },
       SUPCTL_ERROR_TRANSFER, EIO},
      {[&] {
         supctl_close(&device);
         return supctl_set_low_bat(&device, 50);
       },
       SUPCTL_ERROR_CLOSED, EBADF},
  };
  for (const auto& [call, result, error] : kFailures) {
    errno = 0;
    EXPECT_EQ(call(), result);
    EXPECT_EQ(errno, error) << supctl_result_text(result);
  }
}

}  // namespace
