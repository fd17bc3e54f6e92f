// How the engine's dispatcher reaches the dialogs that receive messages, and how the engine
// thread starts and stops the call terminator. The dialog list and the terminator implement
// these; the engine core and its tests see only the interfaces.
#pragma once

#include <memory>
#include <string_view>

#include "sip/sip_message.h"

namespace corvina::sip {

class DialogRouter {
 public:
  virtual ~DialogRouter() = default;
  // Offers a received message to the dialogs: a dialog takes it when the Call-ID equals its own
  // and the To tag (request) or From tag (response) is its local tag or absent. True when one
  // took it; ownership then passed and `message` is empty. Any thread may call.
  virtual bool Deliver(std::unique_ptr<SipMessage>& message) = 0;
  // An INVITE with Replaces: the dialog whose Call-ID is `callId` takes it (after the tag checks
  // that dialog applies). True when one took it.
  virtual bool DeliverReplacing(std::string_view callId, std::unique_ptr<SipMessage>& message) = 0;
};

// The engine thread's hold on the call terminator's worker.
class TerminatorControl {
 public:
  virtual ~TerminatorControl() = default;
  // Starts the terminator's thread at below-normal priority unless it runs already.
  virtual void StartIfStopped() = 0;
  // Before an orderly stop: raises the terminator to normal priority and waits up to
  // `timeoutMs` for it to have nothing left to retransmit; true when it went idle in time.
  virtual bool RaiseAndWaitIdle(int timeoutMs) = 0;
  // Stops the terminator's thread and waits for it.
  virtual void Stop() = 0;
};

}  // namespace corvina::sip
