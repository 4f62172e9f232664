// SPDX-License-Identifier: MIT
// An emulated /dev/spidev0.1 for running supctl without the board.
//
// The process that owns an EmulatedSpidev must run with umockdev's preload
// library (see start_under_umockdev); programs it starts inherit the emulated
// device. Every request a program makes on the device is answered here and
// recorded.
#pragma once

#include <umockdev.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

namespace sim {

// Runs the pending work of GLib's default main context, which umockdev may
// hand work to; a program next to the device runs while this is called.
void pump_main_context();

// Makes sure this process runs with umockdev's preload library: without it,
// starts the program again under umockdev-wrapper with the same arguments
// (and never returns), or says in one line what is missing and exits 127.
void start_under_umockdev(char* argv[]);

// One SPI_IOC_MESSAGE(1) transfer as the device saw it.
struct Transfer {
  std::vector<uint8_t> tx;
  bool extra_fields_zero;  // every field besides tx_buf, rx_buf and len was 0
};

class EmulatedSpidev {
 public:
  static constexpr const char* kDevicePath = "/dev/spidev0.1";

  // Gets the bytes the tool clocks out and fills the bytes clocked in, which
  // arrive pre-filled with 0xFF (a silent bus). Returns 0, or an errno that
  // fails the transfer.
  using Responder = std::function<int(std::span<const uint8_t> tx, std::span<uint8_t> rx)>;
  // Sees every request before it is handled. Returns 0, or an errno that
  // fails the request.
  using RequestCheck = std::function<int(unsigned long request)>;

  // The longest transfer that spidev takes (its bufsiz); a longer one fails
  // with EMSGSIZE, as it does there.
  static constexpr size_t kLongestTransfer = 4096;

  // Sets up the device in umockdev's test folder under TMPDIR; throws
  // std::runtime_error, saying why, when that can't be done.
  explicit EmulatedSpidev(Responder responder = nullptr);
  ~EmulatedSpidev();
  EmulatedSpidev(const EmulatedSpidev&) = delete;
  EmulatedSpidev& operator=(const EmulatedSpidev&) = delete;

  void set_responder(Responder responder);
  void set_request_check(RequestCheck check);
  // Requests and transfers are recorded for requests() and transfers()
  // unless this turns it off, as a long run must.
  void set_recording(bool on);
  // Every transfer answers with these bytes; bytes beyond them stay 0xFF.
  void reply_with(std::vector<uint8_t> reply);

  // Fault injection.
  void fail_request(unsigned long request, int error);  // returns -1 with errno error
  // A transfer result of 0 (nothing moved) and a clock rate read back other
  // than the one written are faults that Linux's spidev itself never shows
  // (it moves every byte or fails with an errno, and reads back exactly what
  // was written); they stand for other drivers and stacks.
  void set_transfer_result(long result);
  void set_speed_read_back(uint32_t hz);

  // Runs hook on the device's thread whenever a transfer arrives, before it
  // is answered: the program waits in its exchange until the hook returns.
  // umockdev blocks the program's signals while it waits, so a signal sent
  // from the hook is handled the moment the exchange ends.
  void on_transfer(std::function<void()> hook);

  std::vector<unsigned long> requests() const;
  std::vector<Transfer> transfers() const;

 private:
  static gboolean on_ioctl(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);
  void run_transfer_hook();
  long handle_request(UMockdevIoctlClient* client, int& error);
  long handle_transfer(UMockdevIoctlData* arg, int& error);

  UMockdevTestbed* testbed_;
  UMockdevIoctlBase* handler_;

  // The handler runs on umockdev's worker thread.
  mutable std::mutex mutex_;
  Responder responder_;
  RequestCheck request_check_;
  bool recording_ = true;
  std::vector<unsigned long> requests_;
  std::vector<Transfer> transfers_;
  unsigned long failing_request_ = 0;
  int failing_errno_ = 0;
  bool transfer_result_set_ = false;
  long transfer_result_ = 0;
  bool speed_read_back_set_ = false;
  uint32_t speed_read_back_ = 0;
  // A device starts with its own settings, as a real one does, until a
  // program writes others: so what the tool reports is what it wrote.
  uint32_t mode_ = 3;
  uint8_t bits_per_word_ = 16;
  uint32_t max_speed_hz_ = 500000;
  std::function<void()> transfer_hook_;
};

}  // namespace sim
