// SIGINT and SIGTERM as a readable descriptor, so the user-interface loop can stop cleanly
// without work inside a signal handler. Open() blocks both signals in the calling thread and
// must run before any other thread starts, so every thread inherits the mask. SIGPIPE is
// ignored, so a closed standard output or control connection is an error code, not death.
#pragma once

namespace corvina::platform {

class TerminationSignals {
 public:
  TerminationSignals() = default;
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  bool Open();
  int Fd() const { return fd_; }
  // Reads one pending signal; returns its number, or 0 when none is pending.
  int Take();

 private:
  int fd_ = -1;
};

}  // namespace corvina::platform
