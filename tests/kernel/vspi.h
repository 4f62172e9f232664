// SPDX-License-Identifier: GPL-2.0-only OR MIT
// The virtual SPI controller's peer device, /dev/vspi-peer (vspi.c): one
// process at a time holds it open and answers the transfers in the
// controller's place. read() gives the transfer waiting for its answer as a
// vspi_request followed by its len TX bytes (zeros for a transfer without
// TX bytes); write() answers it with a vspi_answer followed by the RX bytes
// (fewer than len leave 0xFF for the rest). An answer to a transfer that
// has ended (the controller stopped waiting) fails with ETIMEDOUT.
#ifndef VSPI_H
#define VSPI_H

#include <linux/types.h>

// Longest transfer handed to the peer: spidev's buffer size.
#define VSPI_PEER_MAX_LEN 4096

struct vspi_request {
  __u32 id;  // the transfer's number since the module was loaded, from 1
  __u32 len;
  __u32 speed_hz;
  __u8 bits_per_word;
  __u8 mode;
  __u8 reserved[2];
};

struct vspi_answer {
  __u32 id;  // the request's
};

#endif
