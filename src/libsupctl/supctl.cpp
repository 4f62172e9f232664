// SPDX-License-Identifier: MIT
// libsupctl: the command set's operations behind a C interface. Each call
// looks its operation up in the operation table when the library is
// compiled, so frames, lengths and ranges are the tool's own.
#include "supctl.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <string_view>

#include "ops/arguments.h"
#include "ops/exchange.h"
#include "ops/operation_table.h"
#include "ops/reply_values.h"
#include "spi/spi_device.h"

static_assert(SUPCTL_MAX_EVENT_CODES == kMaxEventCodes);
static_assert(SUPCTL_DEVICE_INFO_LENGTH == kDeviceInfoLength);
static_assert(sizeof(supctl_device_id::bytes) == sizeof(DeviceId::bytes));
static_assert(sizeof(supctl_number_list::numbers) == sizeof(NumberList::numbers));

namespace {

// The row of the table named name, found when compiling: for a name that
// is not in the table the row past the end is no constant, and the build
// stops there.
consteval const Operation& operation(std::string_view name) {
  for (const Operation& row : kOperations) {
    if (name == row.name) return row;
  }
  return kOperations[std::size(kOperations)];
}

int failed(int error, int result) {
  errno = error;
  return result;
}

// Runs the query's exchange and decodes its reply into out, even when the
// reply is no answer.
template <typename Out, typename Decode>
int run_query(supctl_device* device, const Operation& query, Out* out, Decode decode) {
  if (device == nullptr || out == nullptr) return failed(EINVAL, SUPCTL_ERROR_ARGUMENT);
  if (device->fd < 0) return failed(EBADF, SUPCTL_ERROR_CLOSED);
  CommandFrame frame;
  const int moved = exchange_query(device->fd, query, frame);
  if (moved == 0) return failed(EIO, SUPCTL_ERROR_TRANSFER);
  if (moved < 0) return SUPCTL_ERROR_TRANSFER;
  const Reply reply(frame.rx, query.transfer_length);
  *out = decode(reply);
  return is_answer(query, reply) ? SUPCTL_OK : SUPCTL_NOT_ANSWERED;
}

// Checks the value as the tool checks a decimal -a value, then sends the
// setting's frame with it.
int run_setting(supctl_device* device, const Operation& setting, uint32_t value) {
  if (device == nullptr) return failed(EINVAL, SUPCTL_ERROR_ARGUMENT);
  if (setting.form == ArgumentForm::decimal && !decimal_in_range(value, setting.max_value))
    return failed(EINVAL, SUPCTL_ERROR_ARGUMENT);
  if (device->fd < 0) return failed(EBADF, SUPCTL_ERROR_CLOSED);
  CommandFrame frame;
  prepare_frame(frame, setting.command, setting.capacity);
  encode_argument(setting.form, value, frame.tx);
  const int moved = exchange_frame(device->fd, setting, frame);
  if (moved == 0) return failed(EIO, SUPCTL_ERROR_TRANSFER);
  return moved < 0 ? SUPCTL_ERROR_TRANSFER : SUPCTL_OK;
}

supctl_power_status power_status_of(Reply reply) {
  const PowerStatus power = decode_power_status(reply);
  return {power.line,   power.charging,   power.pg,
          power.motion, power.millivolts, power.charge_percent};
}

supctl_device_id device_id_of(Reply reply) {
  supctl_device_id id;
  memcpy(id.bytes, decode_device_id(reply).bytes, sizeof id.bytes);
  return id;
}

supctl_device_info device_info_of(Reply reply) {
  supctl_device_info info;
  memcpy(info.text, decode_device_info(reply).text, sizeof info.text);
  return info;
}

supctl_number_list number_list_of(Reply reply) {
  const NumberList list = decode_number_list(reply);
  supctl_number_list numbers = {list.count, {}};
  memcpy(numbers.numbers, list.numbers, sizeof numbers.numbers);
  return numbers;
}

supctl_events events_of(Reply reply) {
  const EventList list = decode_events(reply);
  supctl_events events = {list.announced, list.count, {}};
  memcpy(events.codes, list.codes, sizeof events.codes);
  return events;
}

supctl_rgb rgb_of(Reply reply) {
  const Rgb rgb = decode_rgb(reply);
  return {rgb.red, rgb.green, rgb.blue};
}

uint16_t temperature_of(Reply reply) { return decode_temperature(reply).tenths; }

struct ResultText {
  int result;
  const char* text;
};

constexpr ResultText kResultTexts[] = {
    {SUPCTL_OK, "success"},
    {SUPCTL_NOT_ANSWERED, "no supervisor answered"},
    {SUPCTL_ERROR_ARGUMENT, "invalid argument"},
    {SUPCTL_ERROR_CLOSED, "device not open"},
    {SUPCTL_ERROR_OPEN, "can't open device"},
    {SUPCTL_ERROR_SETTINGS, "can't apply the spi settings"},
    {SUPCTL_ERROR_TRANSFER, "can't send spi message"},
};

}  // namespace

extern "C" {

int supctl_open(supctl_device* device, const char* path) {
  if (device == nullptr) return failed(EINVAL, SUPCTL_ERROR_ARGUMENT);
  SpiSettings settings;
  const char* failure = nullptr;
  device->fd = spi_open(path != nullptr ? path : SUPCTL_DEFAULT_DEVICE, settings, failure);
  if (device->fd < 0) return failure == kOpenFailure ? SUPCTL_ERROR_OPEN : SUPCTL_ERROR_SETTINGS;
  device->spi_mode = settings.mode;
  device->bits_per_word = settings.bits_per_word;
  device->max_speed_hz = settings.max_speed_hz;
  return SUPCTL_OK;
}

void supctl_close(supctl_device* device) {
  if (device == nullptr || device->fd < 0) return;
  close(device->fd);
  device->fd = -1;
}

const char* supctl_result_text(int result) {
  for (const ResultText& row : kResultTexts) {
    if (row.result == result) return row.text;
  }
  return "unknown result";
}

const char* supctl_event_name(uint8_t code) { return event_name(code); }

const char* supctl_version(void) { return SUPCTL_VERSION; }

int supctl_get_power_status(supctl_device* device, supctl_power_status* status) {
  return run_query(device, operation("GET_PowerStatus"), status, power_status_of);
}
int supctl_get_device_id(supctl_device* device, supctl_device_id* id) {
  return run_query(device, operation("GET_DeviceID"), id, device_id_of);
}
int supctl_get_device_info(supctl_device* device, supctl_device_info* info) {
  return run_query(device, operation("GET_DeviceInfo"), info, device_info_of);
}
int supctl_get_supervisor_mode(supctl_device* device, uint8_t* mode) {
  return run_query(device, operation("GET_SupervisorMode"), mode, decode_byte);
}
int supctl_get_active_mcus(supctl_device* device, supctl_number_list* mcus) {
  return run_query(device, operation("GET_ActiveMCU"), mcus, number_list_of);
}
int supctl_get_active_usb_ports(supctl_device* device, supctl_number_list* ports) {
  return run_query(device, operation("GET_ActiveUSBPorts"), ports, number_list_of);
}
int supctl_get_events(supctl_device* device, supctl_events* events) {
  return run_query(device, operation("GET_Event"), events, events_of);
}
int supctl_get_rgb(supctl_device* device, supctl_rgb* colour) {
  return run_query(device, operation("GET_RGB"), colour, rgb_of);
}
int supctl_get_low_bat(supctl_device* device, uint8_t* percent) {
  return run_query(device, operation("GET_LowBat"), percent, decode_byte);
}
int supctl_get_critical_low_bat(supctl_device* device, uint8_t* percent) {
  return run_query(device, operation("GET_CriticalLowBat"), percent, decode_byte);
}
int supctl_get_accel_sensitivity(supctl_device* device, uint8_t* sensitivity) {
  return run_query(device, operation("GET_AccelSensitivity"), sensitivity, decode_byte);
}
int supctl_get_board_temperature(supctl_device* device, uint16_t* tenths) {
  return run_query(device, operation("GET_BoardTemperature"), tenths, temperature_of);
}

int supctl_set_magic(supctl_device* device, uint32_t magic) {
  return run_setting(device, operation("SET_SetMagic"), magic);
}
int supctl_unlock_admin_mode(supctl_device* device, uint32_t code) {
  return run_setting(device, operation("SET_UnlockAdminMode"), code);
}
int supctl_set_low_bat(supctl_device* device, uint32_t percent) {
  return run_setting(device, operation("SET_LowBat"), percent);
}
int supctl_set_critical_low_bat(supctl_device* device, uint32_t percent) {
  return run_setting(device, operation("SET_CriticalLowBat"), percent);
}
int supctl_set_accel_sensitivity(supctl_device* device, uint32_t value) {
  return run_setting(device, operation("SET_AccelSensitivity"), value);
}
int supctl_set_supervisor_mode(supctl_device* device, uint32_t mode) {
  return run_setting(device, operation("SET_SupervisorMode"), mode);
}
int supctl_enable_mcu(supctl_device* device, uint32_t mcu) {
  return run_setting(device, operation("SET_EnableMCU"), mcu);
}
int supctl_disable_mcu(supctl_device* device, uint32_t mcu) {
  return run_setting(device, operation("SET_DisableMCU"), mcu);
}
int supctl_erase_mcu(supctl_device* device, uint32_t mcu) {
  return run_setting(device, operation("SET_EraseMCU"), mcu);
}
int supctl_set_rgb(supctl_device* device, supctl_rgb colour) {
  const uint32_t value = uint32_t{colour.red} << 16 | uint32_t{colour.green} << 8 | colour.blue;
  return run_setting(device, operation("SET_RGB"), value);
}
int supctl_power_off(supctl_device* device, uint32_t value) {
  return run_setting(device, operation("SET_PowerOFF"), value);
}

}  // extern "C"
