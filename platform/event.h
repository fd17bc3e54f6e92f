// Events and the multi-wait. An Event is a kernel object (eventfd), so one wait can cover
// several events and sockets at once. Auto-reset events are consumed by the wait that reports
// them; manual-reset events stay set until Reset().
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>

#include "platform/unique_fd.h"

namespace corvina::platform {

class Event {
 public:
  enum class Mode { kAutoReset, kManualReset };

  explicit Event(Mode mode = Mode::kAutoReset, bool initiallySet = false);
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // False when the kernel object could not be made (out of descriptors): the event then never
  // signals, and every wait that includes it fails at once instead of sleeping forever.
  bool Usable() const { return fd_.Valid(); }

  void Set();
  void Reset();
  // True when set, without consuming it.
  bool IsSet() const;
  // Consumes the signal of an auto-reset event (a manual one stays set); true when it was set.
  bool TryTake();

  int Fd() const { return fd_.Get(); }
  Mode GetMode() const { return mode_; }

 private:
  UniqueFd fd_;
  Mode mode_;
};

// One thing a wait can wake for: an event, or a file descriptor becoming readable.
struct WaitSource {
  Event* event = nullptr;
  int fd = -1;
  static WaitSource Of(Event& e) { return WaitSource{&e, e.Fd()}; }
  static WaitSource Readable(int fd) { return WaitSource{nullptr, fd}; }
};

// Results of WaitForAny besides a source index.
inline constexpr int kWaitTimedOut = -1;
inline constexpr int kWaitFailed = -2;

// The time-out that never passes. Any other negative time-out is refused (kWaitFailed).
inline constexpr int kWaitInfinite = -1;
// The most sources one wait can cover.
inline constexpr std::size_t kMaxWaitSources = 64;

// Waits until one source is signalled or readable, or `timeoutMs` has passed (0 polls,
// kWaitInfinite waits without limit). Returns the index of the first ready source (an
// auto-reset event among them is consumed), kWaitTimedOut, or kWaitFailed: more than
// kMaxWaitSources sources, an unusable event or a closed descriptor among them, a bad time-out.
// Interrupted system calls resume with the time that is left. Allocates nothing.
int WaitForAny(std::span<const WaitSource> sources, int timeoutMs);
int WaitForAny(std::initializer_list<WaitSource> sources, int timeoutMs);

}  // namespace corvina::platform
