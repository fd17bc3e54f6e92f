// What a dialog that receives messages needs from the rest of the phone: the SIP endpoint (to
// answer and send), the cache of sent messages (to recognise retransmissions), and a way to
// block until its message event is set. All three are program-wide and outlive every dialog.
#pragma once

#include "platform/event.h"
#include "sip/sip_endpoint.h"
#include "sip/sip_message.h"

namespace corvina::sip {

// The engine's cache of sent answers and ACKs, seen from the dialogs.
class RetransmissionAnswerer {
 public:
  virtual ~RetransmissionAnswerer() = default;
  // When `message` repeats one that a recorded answer or ACK was sent for, sends that text
  // again (within the cache's limits) and returns true; the caller then drops the message.
  // Any thread may call.
  virtual bool AnswerIfRetransmission(const SipMessage& message) = 0;
};

// How the thread that holds a dialog blocks on its message event. The real one waits on the
// kernel; tests advance a fake clock instead of sleeping.
class EventWaiter {
 public:
  virtual ~EventWaiter() = default;
  // True when `event` is set within `timeoutMs`.
  virtual bool WaitFor(platform::Event& event, int timeoutMs) = 0;
};

class KernelEventWaiter final : public EventWaiter {
 public:
  bool WaitFor(platform::Event& event, int timeoutMs) override {
    return platform::WaitForAny({platform::WaitSource::Of(event)}, timeoutMs) == 0;
  }
};

struct DialogServices {
  SipEndpoint& endpoint;
  RetransmissionAnswerer& sentMessages;
  EventWaiter& waiter;
};

}  // namespace corvina::sip
