// The dialog that receives messages: the plain dialog state, its inbox of received messages
// with a lock and a manual-reset message event, shared by reference count between the engine's
// dialog list, the thread that holds the dialog (a call thread, a bridge, then the terminator)
// and any thread still delivering to it. Dropping the last reference frees what is queued.
//
// The inbox is bounded: it holds at most kInboxCapacity messages. A put into a full inbox first
// removes the oldest queued message that a later queued message (or the new one) repeats, that
// is a retransmission the reader would skip anyway; when nothing queued is repeated, the oldest
// queued message goes. The new message is always queued, and Dropped() counts what went.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>

#include "platform/event.h"
#include "platform/thread_checker.h"
#include "sip/dialog.h"
#include "sip/dialog_services.h"
#include "sip/sip_message.h"

namespace corvina::sip {

inline constexpr std::size_t kInboxCapacity = 64;

// What a retransmission shares with its original: start line, Call-ID, CSeq, first Via, From
// and To. Two messages with the same key repeat each other.
std::string RepeatKey(const SipMessage& message);

class SharedDialog {
 public:
  // The body of the SDP offer that answers an OPTIONS inside the dialog; empty: no body.
  using OfferSource = std::function<std::string()>;

  static std::shared_ptr<SharedDialog> Create(const DialogServices& services, Dialog state);

  SharedDialog(const SharedDialog&) = delete;
  SharedDialog& operator=(const SharedDialog&) = delete;

  // Fixed at creation; any thread.
  const std::string& CallId() const { return callId_; }
  const std::string& LocalTag() const { return localTag_; }
  const DialogServices& Services() const { return services_; }

  // Holder thread: the plain state the composers read and write.
  Dialog& State();
  void SetOfferSource(OfferSource offer);
  std::string Offer();
  // The holder gives the dialog to another thread; the next thread that calls a holder entry
  // point becomes the holder.
  void ReleaseHolder() { holder_.Detach(); }

  // Any thread (the engine's dispatcher): queues the message and sets the message event.
  void Put(std::unique_ptr<SipMessage> message);
  // Holder thread: the next message that needs the holder's attention, or nothing. Repeats
  // answered by the sent-message cache are skipped; a repeat of the INVITE that created the
  // dialog is dropped, and answered 482 when its first Via differs (a forked copy).
  std::unique_ptr<SipMessage> TakeNext();
  // Holder thread: as TakeNext, waiting up to `timeoutMs` for a message.
  std::unique_ptr<SipMessage> WaitNext(int timeoutMs);
  // Set while the inbox holds messages, for a holder that waits on more than the inbox.
  platform::Event& MessageEvent() { return messageEvent_; }

  std::size_t Queued() const;
  std::uint64_t Dropped() const;

 private:
  SharedDialog(const DialogServices& services, Dialog state);
  struct QueuedMessage {
    std::unique_ptr<SipMessage> message;
    std::string repeatKey;
  };
  void DropOneLocked(const std::string& incomingKey);

  const DialogServices services_;
  const std::string callId_;
  const std::string localTag_;

  // Used only on the holder thread.
  platform::ThreadChecker holder_;
  Dialog state_;
  OfferSource offer_;

  mutable std::mutex inboxLock_;
  std::deque<QueuedMessage> inbox_;  // guarded by inboxLock_
  std::uint64_t dropped_ = 0;                      // guarded by inboxLock_
  // Set and reset under inboxLock_, so it is set exactly while inbox_ is not empty.
  platform::Event messageEvent_{platform::Event::Mode::kManualReset};
};

using DialogRef = std::shared_ptr<SharedDialog>;

}  // namespace corvina::sip
