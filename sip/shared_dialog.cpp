#include "sip/shared_dialog.h"

#include "sip/response_composer.h"
#include "sip/wire_texts.h"

namespace corvina::sip {

std::string RepeatKey(const SipMessage& message) {
  std::string key = std::to_string(message.statusCode);
  key += ' ';
  key += message.method;
  // Line breaks cannot occur inside header values, so they separate the fields unambiguously.
  for (const HeaderName* name : {&kCSeq, &kCallId, &kVia, &kFrom, &kTo}) {
    key += '\n';
    key += message.FindHeader(*name);
  }
  return key;
}

std::shared_ptr<SharedDialog> SharedDialog::Create(const DialogServices& services, Dialog state) {
  return std::shared_ptr<SharedDialog>(new SharedDialog(services, std::move(state)));
}

SharedDialog::SharedDialog(const DialogServices& services, Dialog state)
    : services_(services), callId_(state.callId), localTag_(state.localTag), state_(std::move(state)) {
  // Dialogs are often built on one thread (the engine's, for an incoming call) and held on
  // another; the first holder call adopts the caller.
  holder_.Detach();
}

Dialog& SharedDialog::State() {
  CORVINA_CHECK_THREAD(holder_);
  return state_;
}

void SharedDialog::SetOfferSource(OfferSource offer) {
  CORVINA_CHECK_THREAD(holder_);
  offer_ = std::move(offer);
}

std::string SharedDialog::Offer() {
  CORVINA_CHECK_THREAD(holder_);
  return offer_ ? offer_() : std::string();
}

void SharedDialog::Put(std::unique_ptr<SipMessage> message) {
  if (!message) return;
  std::string key = RepeatKey(*message);
  std::lock_guard lock(inboxLock_);
  if (inbox_.size() >= kInboxCapacity) DropOneLocked(key);
  inbox_.push_back({std::move(message), std::move(key)});
  messageEvent_.Set();
}

void SharedDialog::DropOneLocked(const std::string& incomingKey) {
  ++dropped_;
  // From the newest back: the last message met whose key was already seen later is the
  // oldest repeated one.
  std::unordered_set<std::string_view> later{incomingKey};
  auto oldestRepeated = inbox_.end();
  for (auto it = inbox_.end(); it != inbox_.begin();) {
    --it;
    if (!later.insert(it->repeatKey).second) oldestRepeated = it;
  }
  inbox_.erase(oldestRepeated != inbox_.end() ? oldestRepeated : inbox_.begin());
}

std::unique_ptr<SipMessage> SharedDialog::TakeNext() {
  CORVINA_CHECK_THREAD(holder_);
  for (;;) {
    std::unique_ptr<SipMessage> message;
    {
      std::lock_guard lock(inboxLock_);
      if (inbox_.empty()) return nullptr;
      message = std::move(inbox_.front().message);
      inbox_.pop_front();
      if (inbox_.empty()) messageEvent_.Reset();
    }
    if (services_.sentMessages.AnswerIfRetransmission(*message)) continue;
    bool repeatsOwnInvite = message->IsRequest() && message->method == wire::kInvite &&
                            !state_.receivedInviteCSeq.empty() &&
                            message->FindHeader(kCSeq) == state_.receivedInviteCSeq &&
                            message->FindHeader(kCallId) == callId_;  // not an INVITE that replaces it
    if (repeatsOwnInvite) {
      if (message->FindHeader(kVia) != state_.receivedInviteVia) {
        SendResponse(services_.endpoint, *message, 482, wire::kReasonLoopDetected, {.toTag = localTag_});
      }
      continue;
    }
    return message;
  }
}

std::unique_ptr<SipMessage> SharedDialog::WaitNext(int timeoutMs) {
  const std::uint32_t start = services_.endpoint.NowMs();
  for (;;) {
    if (std::unique_ptr<SipMessage> message = TakeNext()) return message;
    int left = timeoutMs - static_cast<int>(services_.endpoint.NowMs() - start);
    if (left <= 0) return nullptr;
    services_.waiter.WaitFor(messageEvent_, left);
  }
}

std::size_t SharedDialog::Queued() const {
  std::lock_guard lock(inboxLock_);
  return inbox_.size();
}

std::uint64_t SharedDialog::Dropped() const {
  std::lock_guard lock(inboxLock_);
  return dropped_;
}

}  // namespace corvina::sip
