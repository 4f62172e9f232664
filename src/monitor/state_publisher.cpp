// SPDX-License-Identifier: MIT
#include "monitor/state_publisher.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "monitor/metrics_text.h"
#include "monitor/state_files.h"

// The buffers are written before they are read.
// cppcheck-suppress uninitMemberVar
StatePublisher::StatePublisher(const char* metrics_file, FILE* log)
    : metrics_file_(metrics_file), log_(log) {
  if (snprintf(state_path_, sizeof state_path_, "%s/state.json", run_folder()) >=
      static_cast<int>(sizeof state_path_))
    state_path_[0] = '\0';
  mkdir(run_folder(), 0755);  // the service's runtime folder is there already
  json_ = fmemopen(json_text_, sizeof json_text_, "w");
  // Unbuffered: the writer gathers its output itself, and stdio takes no
  // buffer from the heap.
  if (json_ != nullptr) setvbuf(json_, nullptr, _IONBF, 0);
}

StatePublisher::~StatePublisher() {
  if (json_ != nullptr) fclose(json_);
}

bool StatePublisher::write_state(const PublishedState& state) {
  if (state_path_[0] == '\0' || json_ == nullptr) {
    errno = state_path_[0] == '\0' ? ENAMETOOLONG : ENOMEM;
    return false;
  }
  rewind(json_);
  write_state_json(json_, state);
  const long length = ftell(json_);
  if (ferror(json_) || length < 0 || static_cast<size_t>(length) >= sizeof json_text_) {
    errno = EOVERFLOW;
    return false;
  }
  return replace_file(state_path_, json_text_, static_cast<size_t>(length));
}

bool StatePublisher::write_metrics(const PublishedState& state) {
  TextBuffer text(metrics_text_, sizeof metrics_text_);
  add_metrics_text(text, state);
  if (text.overflowed()) {
    errno = EOVERFLOW;
    return false;
  }
  return replace_file(metrics_file_, text.text(), text.length());
}

bool StatePublisher::report(const char* path, bool written, bool& failed) {
  if (!written && !failed) fprintf(log_, "can't write %s: %s\n", path, strerror(errno));
  failed = !written;
  return written;
}

bool StatePublisher::publish(const PublishedState& state) {
  bool written = report(state_path_, write_state(state), state_failed_);
  if (metrics_file_ != nullptr)
    written = report(metrics_file_, write_metrics(state), metrics_failed_) && written;
  return written;
}

bool StatePublisher::publish_stopped() {
  const PowerGuard guard(false);
  const BoardDetails details;
  const PollHistory history;
  return publish({false, guard, details, history, std::nullopt});
}
