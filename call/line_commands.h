// The commands pending for a line's call thread: one bit per LineCommand, given from any thread
// and taken by the call thread together with the reset of the command event, so that neither a
// later command overwrites an earlier one nor an ignored command keeps the event set. HangUp
// stays pending once given, until the next call clears everything.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "call/line_control.h"
#include "platform/event.h"

namespace corvina::call {

class LineCommands {
 public:
  static constexpr std::uint32_t Bit(LineCommand c) { return 1u << static_cast<int>(c); }

  // Any thread: marks `command` pending and sets the event.
  void Give(LineCommand command) {
    std::lock_guard<std::mutex> hold(lock_);
    bits_.fetch_or(Bit(command));
    event_.Set();
  }
  // Call thread: the pending bits; the event is reset in the same step and every bit but
  // HangUp's cleared.
  std::uint32_t Take() {
    std::lock_guard<std::mutex> hold(lock_);
    event_.Reset();
    return bits_.fetch_and(Bit(LineCommand::kHangUp));
  }
  bool HangUpPending() const { return (bits_.load() & Bit(LineCommand::kHangUp)) != 0; }
  // A new call starts with nothing pending.
  void Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    bits_.store(0);
    event_.Reset();
  }
  platform::Event& Event() { return event_; }

 private:
  std::mutex lock_;  // makes a give and a take each one step with the event
  std::atomic<std::uint32_t> bits_{0};
  platform::Event event_{platform::Event::Mode::kManualReset};
};

}  // namespace corvina::call
