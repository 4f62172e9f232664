// SPDX-License-Identifier: MIT
// The files the monitor publishes for programs without access to the
// device: state.json in the run folder, always, and the metrics file of
// --metrics. Each is replaced whole after every poll, and written as a
// stopped monitor's once it has ended. Made in fixed buffers: the JSON goes
// through a memory stream opened once, on a buffer of the publisher's own.
#pragma once

#include <limits.h>

#include <cstdio>

#include "monitor/published_state.h"

class StatePublisher {
 public:
  StatePublisher(const char* metrics_file, FILE* log);
  ~StatePublisher();
  StatePublisher(const StatePublisher&) = delete;
  StatePublisher& operator=(const StatePublisher&) = delete;

  // Writes both files; a failure is logged once, until a write succeeds
  // again. False when one could not be written.
  bool publish(const PublishedState& state);
  // The files of a monitor that has ended: "running" false, nothing else
  // known.
  bool publish_stopped();

 private:
  bool write_state(const PublishedState& state);
  bool write_metrics(const PublishedState& state);
  bool report(const char* path, bool written, bool& failed);

  const char* metrics_file_;
  FILE* log_;
  char state_path_[PATH_MAX];
  FILE* json_ = nullptr;
  bool state_failed_ = false;
  bool metrics_failed_ = false;
  char json_text_[4096];
  char metrics_text_[4096];
};
