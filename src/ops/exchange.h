// SPDX-License-Identifier: MIT
// The one exchange of an operation over an open SPI device. Nothing here
// prints or aborts: the caller decides what a failure means.
#pragma once

#include "ops/command_frame.h"
#include "ops/operation_table.h"

// Transfers the operation's transfer length of the prepared frame on fd.
// Returns spi_transfer's result: below 1, the exchange failed (errno set).
int exchange_frame(int fd, const Operation& operation, CommandFrame& frame);

// Fills the frame for the query (0xFF, then its command byte) and makes its
// one transfer on fd; returns as exchange_frame.
int exchange_query(int fd, const Operation& query, CommandFrame& frame);
