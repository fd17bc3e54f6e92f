// The commands pending for a line's call thread: one bit per LineCommand, given from any thread
// and taken by the call thread together with the reset of the command event, so that neither a
// later command overwrites an earlier one nor an ignored command keeps the event set. HangUp
// stays pending once given, until the next call clears everything. Transfer and JoinLine carry
// a payload, stored under the same lock before their bit is raised; a second give before the
// call thread takes the payload replaces it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

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
  // Any thread: a blind transfer to `target`.
  void GiveTransfer(std::string_view target) {
    std::lock_guard<std::mutex> hold(lock_);
    transferTarget_ = std::string(target);
    bits_.fetch_or(Bit(LineCommand::kTransfer));
    event_.Set();
  }
  // Any thread: join this line's call with `other`'s (held weakly: the owner may drop it).
  void GiveJoin(std::weak_ptr<LineControl> other) {
    std::lock_guard<std::mutex> hold(lock_);
    otherLine_ = std::move(other);
    bits_.fetch_or(Bit(LineCommand::kJoinLine));
    event_.Set();
  }
  // Call thread: the pending bits; the event is reset in the same step and every bit but
  // HangUp's cleared.
  std::uint32_t Take() {
    std::lock_guard<std::mutex> hold(lock_);
    event_.Reset();
    return bits_.fetch_and(Bit(LineCommand::kHangUp));
  }
  // Call thread: the payloads, moved out (empty when already taken).
  std::string TakeTransferTarget() {
    std::lock_guard<std::mutex> hold(lock_);
    return std::exchange(transferTarget_, {});
  }
  std::weak_ptr<LineControl> TakeOtherLine() {
    std::lock_guard<std::mutex> hold(lock_);
    return std::exchange(otherLine_, {});
  }
  bool HangUpPending() const { return (bits_.load() & Bit(LineCommand::kHangUp)) != 0; }
  // A new call starts with nothing pending.
  void Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    bits_.store(0);
    transferTarget_.clear();
    otherLine_.reset();
    event_.Reset();
  }
  platform::Event& Event() { return event_; }

 private:
  std::mutex lock_;  // makes a give and a take each one step with the event and the payloads
  std::atomic<std::uint32_t> bits_{0};
  std::string transferTarget_;           // guarded by lock_
  std::weak_ptr<LineControl> otherLine_;  // guarded by lock_
  platform::Event event_{platform::Event::Mode::kManualReset};
};

}  // namespace corvina::call
