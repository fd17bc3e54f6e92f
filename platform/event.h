// Events and the multi-wait. An Event is a kernel object (eventfd), so one wait can cover
// several events and sockets at once, always with a time-out. Auto-reset events are consumed
// by the wait that reports them; manual-reset events stay set until Reset().
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>

namespace corvina::platform {

class Event {
 public:
  enum class Mode { kAutoReset, kManualReset };

  explicit Event(Mode mode = Mode::kAutoReset, bool initiallySet = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  // True when set, without consuming it.
  bool IsSet() const;
  // Consumes the signal of an auto-reset event (a manual one stays set); true when it was set.
  bool TryTake();

  int Fd() const { return fd_; }
  Mode GetMode() const { return mode_; }

 private:
  int fd_ = -1;
  Mode mode_;
};

// One thing a wait can wake for: an event, or a file descriptor becoming readable.
struct WaitSource {
  Event* event = nullptr;
  int fd = -1;
  static WaitSource Of(Event& e) { return WaitSource{&e, e.Fd()}; }
  static WaitSource Readable(int fd) { return WaitSource{nullptr, fd}; }
};

inline constexpr int kWaitTimedOut = -1;
inline constexpr int kWaitFailed = -2;

// Waits until one source is signalled or readable, or `timeoutMs` has passed (0 polls).
// Returns the index of the first ready source (an auto-reset event among them is consumed),
// kWaitTimedOut, or kWaitFailed. Interrupted system calls resume with the time that is left.
int WaitForAny(std::span<const WaitSource> sources, int timeoutMs);
int WaitForAny(std::initializer_list<WaitSource> sources, int timeoutMs);

}  // namespace corvina::platform
