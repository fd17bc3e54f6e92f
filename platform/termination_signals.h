// SIGINT and SIGTERM as a readable descriptor, so the user-interface loop can stop cleanly
// without work inside a signal handler. Open() blocks both signals in the calling thread and
// must run before any other thread starts, so every thread inherits the mask. SIGPIPE is
// ignored, so a closed standard output or control connection is an error code, not death.
#pragma once

#include "platform/unique_fd.h"

namespace corvina::platform {

class TerminationSignals {
 public:
  TerminationSignals() = default;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  bool Open();
  int Fd() const { return fd_.Get(); }
  // Reads one pending signal; returns its number, or 0 when none is pending.
  int Take();

 private:
  UniqueFd fd_;
};

}  // namespace corvina::platform
