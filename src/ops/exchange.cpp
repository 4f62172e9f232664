// SPDX-License-Identifier: MIT
#include "ops/exchange.h"

#include "spi/spi_device.h"

int exchange_frame(int fd, const Operation& operation, CommandFrame& frame) {
  return spi_transfer(fd, frame.tx, frame.rx, operation.transfer_length);
}

int exchange_query(int fd, const Operation& query, CommandFrame& frame) {
  prepare_frame(frame, query.command, query.capacity);
  return exchange_frame(fd, query, frame);
}
