// The hand-over of a call's dialog between the two lines' call threads, for the attended
// transfer: the taking line asks the giving line for its call, the giving line moves its dialog
// into its own slot and ends its call without BYE, and the taking line takes the dialog out.
// Each step is one exchange under the slot's lock, which belongs to the giving line; no thread
// holds a lock of the other line. A taker that gives up withdraws its request in the same step
// in which it looks for the dialog a last time, so a dialog is either taken or never given.
#pragma once

#include <mutex>
#include <string>
#include <utility>

#include "platform/event.h"
#include "sip/shared_dialog.h"

namespace corvina::call {

// A taker waits at most this long for the other line's dialog.
inline constexpr int kHandOverWaitMs = 20000;

class HandOverSlot {
 public:
  // Taker's thread: asks for the dialog (the hand-over flag) and resets the event. Returns a
  // dialog given earlier and never taken, which the caller ends.
  sip::DialogRef Request() {
    std::lock_guard<std::mutex> hold(lock_);
    event_.Reset();
    requested_ = true;
    return std::exchange(dialog_, nullptr);
  }
  // Giver's call thread: when a request is pending, moves `dialog` in, clears the flag, sets
  // the event and returns true; otherwise leaves `dialog` alone (its call goes on).
  bool Give(sip::DialogRef& dialog) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!requested_ || !dialog) return false;
    requested_ = false;
    dialog_ = std::move(dialog);
    event_.Set();
    return true;
  }
  // Taker's thread: the given dialog, or null with the request withdrawn in the same step.
  sip::DialogRef TakeOrWithdraw() {
    std::lock_guard<std::mutex> hold(lock_);
    requested_ = false;
    event_.Reset();
    return std::exchange(dialog_, nullptr);
  }
  // Set once a dialog was given; the taker waits on it.
  platform::Event& Event() { return event_; }

 private:
  std::mutex lock_;         // guards requested_ and dialog_, and orders the event with them
  bool requested_ = false;  // the hand-over flag
  sip::DialogRef dialog_;   // the handed-over dialog
  platform::Event event_{platform::Event::Mode::kManualReset};
};

// The account a line's calls use, compared (ignoring case) to choose between the attended
// transfer's REFER and joining the two parties.
struct LineAccountKey {
  std::string server;
  std::string user;
};

// The other line of an attended transfer, as the taking call thread sees it.
class HandOverPeer {
 public:
  virtual ~HandOverPeer() = default;
  virtual bool IsIdle() const = 0;
  virtual LineAccountKey AccountKey() const = 0;
  virtual HandOverSlot& Slot() = 0;
  // Sets the hand-over flag (returning a leftover dialog to end) and gives the command.
  virtual sip::DialogRef RequestHandOver() = 0;
};

}  // namespace corvina::call
