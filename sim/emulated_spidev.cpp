// SPDX-License-Identifier: MIT
#include "emulated_spidev.h"

#include <glib/gstdio.h>
#include <linux/spi/spidev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace sim {

namespace {

constexpr char kDeviceDescription[] =
    "P: /devices/platform/spi/spi_master/spi0/spi0.1/spidev/spidev0.1\n"
    "N: spidev0.1\n"
    "E: SUBSYSTEM=spidev\n"
    "E: DEVNAME=/dev/spidev0.1\n"
    "A: dev=153:1\n";

[[noreturn]] void fail(const char* what, GError* error) {
  std::string text = std::string(what) + ": " + (error ? error->message : "unknown error");
  if (error) g_error_free(error);
  throw std::runtime_error(text);
}

struct ObjectUnref {
  void operator()(UMockdevIoctlData* data) const { g_object_unref(data); }
};
using DataRef = std::unique_ptr<UMockdevIoctlData, ObjectUnref>;

// Brings the client memory that the pointer at offset inside data points to.
DataRef resolve(UMockdevIoctlData* data, size_t offset, size_t size) {
  return DataRef(umockdev_ioctl_data_resolve(data, offset, size, nullptr));
}

template <typename T>
bool read_value(UMockdevIoctlData* arg, T& value) {
  DataRef data = resolve(arg, 0, sizeof value);
  if (!data) return false;
  memcpy(&value, data->data, sizeof value);
  return true;
}

template <typename T>
bool write_value(UMockdevIoctlData* arg, T value) {
  DataRef data = resolve(arg, 0, sizeof value);
  if (!data) return false;
  memcpy(data->data, &value, sizeof value);
  return true;
}

// umockdev stops the process when it can't make its test folder or write
// into it: try both first, so that a missing TMPDIR or a full disk is a
// message. umockdev writes a few small files; the probe writes 64 KiB.
void probe_test_folder() {
  GError* error = nullptr;
  g_autofree gchar* folder = g_dir_make_tmp("umockdev.XXXXXX", &error);
  if (folder == nullptr) fail("cannot set up the emulated device", error);
  g_autofree gchar* file = g_build_filename(folder, "probe", nullptr);
  const std::string bytes(size_t{64} << 10, '\0');
  const bool written =
      g_file_set_contents(file, bytes.data(), static_cast<gssize>(bytes.size()), &error);
  g_unlink(file);
  g_rmdir(folder);
  if (!written) fail("cannot set up the emulated device", error);
}

bool only_buffers_and_length_set(spi_ioc_transfer record) {
  record.tx_buf = 0;
  record.rx_buf = 0;
  record.len = 0;
  static const spi_ioc_transfer kZero = {};
  return memcmp(&record, &kZero, sizeof record) == 0;
}

}  // namespace

void pump_main_context() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

void start_under_umockdev(char* argv[]) {
  const char* preload = getenv("LD_PRELOAD");
  if (preload != nullptr && strstr(preload, "libumockdev-preload") != nullptr) return;
#ifdef __SANITIZE_ADDRESS__
  // The preload library comes before the AddressSanitizer runtime; the two
  // work together once ASan stops insisting on being first.
  const char* asan = getenv("ASAN_OPTIONS");
  const std::string options =
      std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
  setenv("ASAN_OPTIONS", options.c_str(), 1);
#endif
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length < 0) {
    perror("cannot find the program's own file");
    exit(127);
  }
  self[length] = '\0';
  std::vector<char*> args = {const_cast<char*>("umockdev-wrapper"), self};
  for (char** word = argv + 1; *word != nullptr; ++word) args.push_back(*word);
  args.push_back(nullptr);
  execvp(args[0], args.data());
  fprintf(stderr, "%s: needs umockdev-wrapper to emulate the device (apt-get install umockdev)\n",
          argv[0]);
  exit(127);
}

EmulatedSpidev::EmulatedSpidev(Responder responder) : responder_(std::move(responder)) {
  probe_test_folder();
  testbed_ = umockdev_testbed_new();
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(testbed_, kDeviceDescription, &error))
    fail("cannot add the emulated spidev device", error);
  handler_ = umockdev_ioctl_base_new();
  g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(on_ioctl), this);
  if (!umockdev_testbed_attach_ioctl(testbed_, kDevicePath, handler_, &error))
    fail("cannot attach the spidev emulation", error);
}

EmulatedSpidev::~EmulatedSpidev() {
  umockdev_testbed_detach_ioctl(testbed_, kDevicePath, nullptr);
  g_object_unref(handler_);
  g_object_unref(testbed_);
}

void EmulatedSpidev::set_responder(Responder responder) {
  std::lock_guard lock(mutex_);
  responder_ = std::move(responder);
}

void EmulatedSpidev::set_request_check(RequestCheck check) {
  std::lock_guard lock(mutex_);
  request_check_ = std::move(check);
}

void EmulatedSpidev::set_recording(bool on) {
  std::lock_guard lock(mutex_);
  recording_ = on;
}

void EmulatedSpidev::reply_with(std::vector<uint8_t> reply) {
  set_responder([reply = std::move(reply)](std::span<const uint8_t>, std::span<uint8_t> rx) {
    std::copy_n(reply.begin(), std::min(reply.size(), rx.size()), rx.begin());
    return 0;
  });
}

void EmulatedSpidev::fail_request(unsigned long request, int error) {
  std::lock_guard lock(mutex_);
  failing_request_ = request;
  failing_errno_ = error;
}

void EmulatedSpidev::set_transfer_result(long result) {
  std::lock_guard lock(mutex_);
  transfer_result_set_ = true;
  transfer_result_ = result;
}

void EmulatedSpidev::set_speed_read_back(uint32_t hz) {
  std::lock_guard lock(mutex_);
  speed_read_back_set_ = true;
  speed_read_back_ = hz;
}

void EmulatedSpidev::on_transfer(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  transfer_hook_ = std::move(hook);
}

std::vector<unsigned long> EmulatedSpidev::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<Transfer> EmulatedSpidev::transfers() const {
  std::lock_guard lock(mutex_);
  return transfers_;
}

gboolean EmulatedSpidev::on_ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  EmulatedSpidev* device = static_cast<EmulatedSpidev*>(self);
  if (umockdev_ioctl_client_get_request(client) == SPI_IOC_MESSAGE(1)) device->run_transfer_hook();
  int error = 0;
  const long result = device->handle_request(client, error);
  umockdev_ioctl_client_complete(client, result, error);
  return TRUE;
}

void EmulatedSpidev::run_transfer_hook() {
  std::function<void()> hook;
  {
    std::lock_guard lock(mutex_);
    hook = transfer_hook_;
  }
  if (hook) hook();
}

long EmulatedSpidev::handle_request(UMockdevIoctlClient* client, int& error) {
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  std::lock_guard lock(mutex_);
  if (recording_) requests_.push_back(request);
  if (failing_errno_ != 0 && request == failing_request_) {
    error = failing_errno_;
    return -1;
  }
  if (request_check_ && (error = request_check_(request)) != 0) return -1;
  bool ok = true;
  switch (request) {
    case SPI_IOC_WR_MODE32: ok = read_value(arg, mode_); break;
    case SPI_IOC_RD_MODE32: ok = write_value(arg, mode_); break;
    case SPI_IOC_WR_BITS_PER_WORD: ok = read_value(arg, bits_per_word_); break;
    case SPI_IOC_RD_BITS_PER_WORD: ok = write_value(arg, bits_per_word_); break;
    case SPI_IOC_WR_MAX_SPEED_HZ:
      ok = read_value(arg, max_speed_hz_);
      if (speed_read_back_set_) max_speed_hz_ = speed_read_back_;
      break;
    case SPI_IOC_RD_MAX_SPEED_HZ: ok = write_value(arg, max_speed_hz_); break;
    case SPI_IOC_MESSAGE(1): return handle_transfer(arg, error);
    default: error = ENOTTY; return -1;
  }
  if (!ok) {
    error = EFAULT;
    return -1;
  }
  return 0;
}

long EmulatedSpidev::handle_transfer(UMockdevIoctlData* arg, int& error) {
  DataRef record_data = resolve(arg, 0, sizeof(spi_ioc_transfer));
  if (!record_data) {
    error = EFAULT;
    return -1;
  }
  spi_ioc_transfer record;
  memcpy(&record, record_data->data, sizeof record);
  const size_t length = record.len;
  // Checked before umockdev fetches the buffers, whose size it takes as
  // it comes: nothing moves, as with spidev.
  if (length == 0) return 0;
  if (length > kLongestTransfer) {
    error = EMSGSIZE;
    return -1;
  }
  DataRef tx = resolve(record_data.get(), offsetof(spi_ioc_transfer, tx_buf), length);
  DataRef rx = resolve(record_data.get(), offsetof(spi_ioc_transfer, rx_buf), length);
  if (!tx || !rx) {
    error = EFAULT;
    return -1;
  }
  const std::vector<uint8_t> sent(tx->data, tx->data + length);
  if (recording_) transfers_.push_back({sent, only_buffers_and_length_set(record)});
  if (transfer_result_set_ && transfer_result_ < 1) {
    error = transfer_result_ < 0 ? EIO : 0;
    return transfer_result_;
  }
  std::vector<uint8_t> reply(length, 0xFF);
  if (responder_ && (error = responder_(sent, reply)) != 0) return -1;
  umockdev_ioctl_data_update(rx.get(), 0, reply.data(), static_cast<gint>(length));
  return transfer_result_set_ ? transfer_result_ : static_cast<long>(length);
}

}  // namespace sim
