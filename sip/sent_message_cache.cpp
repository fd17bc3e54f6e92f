#include "sip/sent_message_cache.h"

#include <algorithm>

namespace corvina::sip {
namespace {

std::string_view FirstVia(const SipMessage& m) { return m.FindHeader(kVia); }

}  // namespace

void SentMessageCache::Record(const SipMessage& answered, const SocketAddress& to, std::string_view text,
                              std::uint32_t now) {
  std::lock_guard<std::mutex> hold(mutex_);
  ExpireLocked(now);
  while (order_.size() >= capacity_ && !order_.empty()) {
    EraseLocked(order_.front());
    order_.pop_front();
  }
  std::string callId(answered.FindHeader(kCallId));
  Entry entry{answered.IsRequest(), answered.statusCode,     std::string(answered.FindHeader(kCSeq)),
              std::string(FirstVia(answered)), std::string(answered.FindHeader(kTo)), std::string(answered.FindHeader(kFrom)),
              to,                   std::string(text),       now,
              0,                    nextSerial_++};
  order_.push_back(Order{now, callId, entry.serial});
  byCallId_.try_emplace(std::move(callId)).first->second.push_back(std::move(entry));
}

SentMessageCache::Match SentMessageCache::Find(const SipMessage& received, std::uint32_t now, Resend& resend) {
  std::lock_guard<std::mutex> hold(mutex_);
  ExpireLocked(now);
  auto it = byCallId_.find(received.FindHeader(kCallId));
  if (it == byCallId_.end()) return Match::kNone;
  std::string_view cseq = received.FindHeader(kCSeq);
  std::string_view via = FirstVia(received);
  std::string_view to = received.FindHeader(kTo);
  std::string_view from = received.FindHeader(kFrom);
  for (Entry& e : it->second) {
    if (e.answeredIsRequest != received.IsRequest()) continue;
    if (!received.IsRequest() && e.status != received.statusCode) continue;
    if (e.cseq != cseq || e.via != via || e.to != to || e.from != from) continue;
    if (e.resends >= kMaxResends) return Match::kDropped;
    ++e.resends;
    resend = Resend{e.destination, e.text};
    return Match::kResend;
  }
  return Match::kNone;
}

std::size_t SentMessageCache::Size() {
  std::lock_guard<std::mutex> hold(mutex_);
  return order_.size();
}

void SentMessageCache::ExpireLocked(std::uint32_t now) {
  while (!order_.empty() && now - order_.front().recorded > kLifetimeMs) {
    EraseLocked(order_.front());
    order_.pop_front();
  }
}

void SentMessageCache::EraseLocked(const Order& order) {
  auto it = byCallId_.find(order.callId);
  if (it == byCallId_.end()) return;
  std::vector<Entry>& entries = it->second;
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [&](const Entry& e) { return e.serial == order.serial; }),
                entries.end());
  if (entries.empty()) byCallId_.erase(it);
}

}  // namespace corvina::sip
