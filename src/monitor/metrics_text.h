// SPDX-License-Identifier: MIT
// The board as metrics, in the text format that the node exporter's
// textfile collector reads: names in base units (ratios, volts, seconds),
// each family with its HELP and TYPE lines. A family whose value is not
// known (before the first answer, once the monitor has ended) is left out.
#pragma once

#include "monitor/published_state.h"

void add_metrics_text(TextBuffer& out, const PublishedState& state);
