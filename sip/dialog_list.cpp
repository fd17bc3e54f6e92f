#include "sip/dialog_list.h"

#include <algorithm>
#include <string>

#include "sip/name_addr.h"

namespace corvina::sip {
namespace {

// The tag a dialog must own: the To tag of a request, the From tag of a response.
std::string MessageTag(const SipMessage& message) {
  std::string_view party = message.FindHeader(message.IsRequest() ? kTo : kFrom);
  return std::string(ParseNameAddr(party).params.Find("tag"));
}

}  // namespace

DialogList::DialogList(ReadyWait waitUntilReady) : waitUntilReady_(std::move(waitUntilReady)) {}

bool DialogList::WaitReady(int timeoutMs) const { return waitUntilReady_ ? waitUntilReady_(timeoutMs) : true; }

bool DialogList::Add(DialogRef dialog, int readyWaitMs) {
  const bool ready = WaitReady(readyWaitMs);
  std::lock_guard lock(lock_);
  dialogs_.insert(dialogs_.begin(), std::move(dialog));
  return ready;
}

void DialogList::Remove(const SharedDialog* dialog) {
  DialogRef dropped;  // released after the lock, so the dialog is never freed under it
  std::lock_guard lock(lock_);
  auto it = std::find_if(dialogs_.begin(), dialogs_.end(), [&](const DialogRef& d) { return d.get() == dialog; });
  if (it == dialogs_.end()) return;
  dropped = std::move(*it);
  dialogs_.erase(it);
}

std::size_t DialogList::Count() const {
  std::lock_guard lock(lock_);
  return dialogs_.size();
}

DialogRef DialogList::FindLocked(std::string_view callId, std::string_view tag) const {
  for (const DialogRef& d : dialogs_) {
    if (d->CallId() == callId && (tag.empty() || tag == d->LocalTag())) return d;
  }
  return nullptr;
}

bool DialogList::DeliverTo(std::string_view callId, std::unique_ptr<SipMessage>& message) {
  if (!message) return false;
  std::string tag = MessageTag(*message);
  DialogRef target;
  {
    std::lock_guard lock(lock_);
    target = FindLocked(callId, tag);
  }
  if (!target) return false;
  target->Put(std::move(message));
  return true;
}

bool DialogList::Deliver(std::unique_ptr<SipMessage>& message) {
  if (!message) return false;
  std::string callId(message->FindHeader(kCallId));
  return DeliverTo(callId, message);
}

bool DialogList::DeliverReplacing(std::string_view callId, std::unique_ptr<SipMessage>& message) {
  return DeliverTo(callId, message);
}

}  // namespace corvina::sip
