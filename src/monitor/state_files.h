// SPDX-License-Identifier: MIT
// Files the monitor leaves for others: the NUT definition (-n) and the
// power-off flag for the shutdown hook.
#pragma once

#include <cstddef>
#include <cstdint>

#include "monitor/power_guard.h"

// Replaces the file at path with content: written to path.new in the same
// folder, then renamed over it, so a reader sees the old or the new file
// whole. Returns false with errno set.
bool replace_file(const char* path, const char* content, size_t length);

// As replace_file, and the new file's time stamp in a later second than the
// old one's (one second on when the clock has not moved on): a reader that
// looks again only when the second grows sees this last write too.
bool replace_file_seen(const char* path, const char* content, size_t length);

// The folder of the power-off flag and the decision record, which the
// shutdown hook reads after every service has stopped: /run/supctl-monitor,
// or SUPCTL_MONITOR_RUN_DIR when set (tests, demos; the hook takes the same).
const char* run_folder();

// This boot's id, from /proc/sys/kernel/random/boot_id; "" when unreadable.
struct BootId {
  char text[40] = "";
};
BootId read_boot_id();

// The flag's text: "device PATH", "value xHEX", "boot ID" and "reason WORD",
// a line each.
size_t format_poweroff_flag(char* out, size_t size, const char* device, uint32_t value,
                            const BootId& boot, ShutdownReason reason);

// Writes the flag into the run folder, creating the folder when missing.
bool write_poweroff_flag(const char* device, uint32_t value, const BootId& boot,
                         ShutdownReason reason);

// The shutdown decided in this boot, kept so that a monitor restarted in
// the same boot carries it on: "boot ID", "reason WORD", "ran yes|no".
struct DecisionRecord {
  ShutdownReason reason = ShutdownReason::none;  // none: no decision in this boot
  bool command_succeeded = false;
};
size_t format_decision(char* out, size_t size, const BootId& boot, const DecisionRecord& record);
// The record's text read back; none for another boot's or a garbled one.
DecisionRecord parse_decision(const char* text, const BootId& boot);

bool write_decision(const BootId& boot, const DecisionRecord& record);
DecisionRecord read_decision(const BootId& boot);

// Removes the flag and the record; false (errno set) when one is there and
// can't be removed.
bool remove_decision();
