#include "sip/registration_list.h"

#include <algorithm>
#include <utility>

#include "platform/text.h"
#include "sip/digest.h"
#include "sip/name_addr.h"
#include "sip/server_address.h"
#include "sip/sip_uri.h"
#include "sip/wire_format.h"
#include "sip/wire_texts.h"

namespace corvina::sip {
namespace {

constexpr std::uint32_t kFirstLastSendAgoMs = 3601000;
constexpr std::uint16_t kRegistrarPort = 5060;

std::int32_t Diff(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b); }

// Contacts of one header value, split at commas outside quotes and angle brackets.
std::vector<std::string_view> SplitContacts(std::string_view value) {
  std::vector<std::string_view> out;
  bool quoted = false;
  int angle = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= value.size(); ++i) {
    char c = i < value.size() ? value[i] : ',';
    if (quoted) {
      if (c == '\\') ++i;
      else if (c == '"') quoted = false;
      continue;
    }
    if (c == '"') quoted = true;
    else if (c == '<') ++angle;
    else if (c == '>' && angle > 0) --angle;
    else if (c == ',' && angle == 0) {
      std::string_view part = value.substr(start, i - start);
      while (!part.empty() && static_cast<unsigned char>(part.front()) <= 0x20) part.remove_prefix(1);
      if (!part.empty()) out.push_back(part);
      start = i + 1;
    }
  }
  return out;
}

// The granted expiry in seconds: the Expires header (missing or 0: 3600), lowered by our own
// contact's expires and capped by the largest contact expires, then kept within 20..3600.
int GrantedExpiry(const SipMessage& response, const OwnAddresses& own) {
  long expiry = platform::ParseLeadingLong(response.FindHeader(kExpires));
  if (expiry == 0) expiry = RegistrationList::kRefreshExpires;
  long largest = 0;
  for (std::string_view header : response.HeaderValues(kContact)) {
    for (std::string_view contact : SplitContacts(header)) {
      NameAddr address = ParseNameAddr(contact);
      long value = platform::ParseLeadingLong(address.params.Find(wire::kExpiresParam));
      if (value <= 0) continue;
      SipUri uri = ParseUri(address.uri);
      if (uri.host == own.publicAddress && uri.port == own.publicPort && value < expiry) expiry = value;
      largest = std::max(largest, value);
    }
  }
  if (largest > 0 && largest < expiry) expiry = largest;
  return static_cast<int>(std::clamp<long>(expiry, RegistrationList::kMinExpires, RegistrationList::kMaxExpires));
}

// The number of a CSeq value, or nothing when it has none.
std::optional<std::uint32_t> CSeqNumber(std::string_view cseq) {
  while (!cseq.empty() && (cseq.front() == ' ' || cseq.front() == '\t')) cseq.remove_prefix(1);
  if (cseq.empty() || cseq.front() < '0' || cseq.front() > '9') return std::nullopt;
  std::uint64_t n = 0;
  for (char c : cseq) {
    if (c < '0' || c > '9') break;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
    if (n > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<std::uint32_t>(n);
}

}  // namespace

class RegistrationList::Scope {
 public:
  explicit Scope(RegistrationList& list) : list_(list), lock_(list.mutex_) {}
  ~Scope() {
    std::vector<Effect> effects = std::exchange(list_.effects_, {});
    RegistrationObserver* observer = list_.observer_;
    lock_.unlock();
    list_.CarryOut(effects, observer);
  }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  RegistrationList& list_;
  std::unique_lock<std::mutex> lock_;
};

RegistrationList::RegistrationList(SipEndpoint& endpoint, std::function<void(std::string_view server)> keepAlive)
    : endpoint_(endpoint), keepAlive_(std::move(keepAlive)) {}

void RegistrationList::CarryOut(const std::vector<Effect>& effects, RegistrationObserver* observer) {
  for (const Effect& e : effects) {
    switch (e.kind) {
      case Effect::Kind::kSend: {
        SocketAddress to = ResolveServer(endpoint_.Resolver(), e.server, kRegistrarPort);
        if (to.Resolved()) endpoint_.Send(to, e.text);
        else endpoint_.Log().Log(std::string(wire::kUnableToFindServer) + e.server, platform::kLogError);
        break;
      }
      case Effect::Kind::kKeepAlive:
        if (keepAlive_) keepAlive_(e.server);
        break;
      case Effect::Kind::kLog:
        endpoint_.Log().Log(e.text, e.level);
        break;
      case Effect::Kind::kNotify:
        if (observer != nullptr) observer->RegistrationChanged(e.status);
        break;
    }
  }
}

void RegistrationList::SetObserver(RegistrationObserver* observer) {
  std::lock_guard<std::mutex> hold(mutex_);
  observer_ = observer;
}

RegistrationList::Records::iterator RegistrationList::FindLocked(const RegistrationKey& key) {
  return std::find_if(records_.begin(), records_.end(),
                      [&](const RegistrationRecord& r) { return !r.leaving && r.key == key; });
}

void RegistrationList::Add(const RegistrationKey& key, int q, std::uint32_t now) {
  Scope hold(*this);
  auto it = FindLocked(key);
  if (it != records_.end()) {
    ++it->references;
    return;
  }
  RegistrationRecord r;
  r.key = key;
  if (r.key.server.empty()) r.key.server = r.key.domain;
  r.nextAttempt = now;
  r.lastSend = now - kFirstLastSendAgoMs;
  r.q = std::clamp(q, 0, 99);
  r.fromTag = endpoint_.Ids().NewTag();
  r.callId = endpoint_.Ids().NewCallId(endpoint_.Addresses().publicAddress);
  records_.push_front(std::move(r));
}

void RegistrationList::Remove(const RegistrationKey& key, std::uint32_t now) {
  Scope hold(*this);
  RegistrationKey wanted = key;
  if (wanted.server.empty()) wanted.server = wanted.domain;
  auto it = FindLocked(wanted);
  if (it == records_.end()) return;
  if (it->references >= 2) {
    --it->references;
    return;
  }
  if (it->registered && it->key.Registers()) {
    // Kept until the registrar has answered (a challenge is answered with expires 0 again).
    it->credentialsTried = false;
    it->leaving = true;
    SendRegisterLocked(*it, 0);
    it->lastSend = now;
    it->nextAttempt = now + kRetryMs;
    SetRegisteredLocked(*it, false, now);
    return;
  }
  records_.erase(it);
}

void RegistrationList::LogLocked(std::string_view text, std::uint8_t level) {
  effects_.push_back({Effect::Kind::kLog, {}, std::string(text), level, {}});
}

void RegistrationList::SendRegisterLocked(RegistrationRecord& r, int expires) {
  std::string text = ComposeRegister(r, endpoint_.Addresses(), endpoint_.Ids().NewBranch(), expires);
  effects_.push_back({Effect::Kind::kSend, r.key.server, std::move(text), 0, {}});
}

RegistrationStatus RegistrationList::StatusOf(const RegistrationRecord& r, std::uint32_t now) const {
  std::int32_t left = Diff(r.nextAttempt, now);
  return RegistrationStatus{r.key.addressOfRecord, r.key.server, r.key.Registers(), r.registered,
                            left > 0 ? (left + 999) / 1000 : 0, r.phase, r.failStatus, r.failReason};
}

bool RegistrationList::SetPhaseLocked(RegistrationRecord& r, RegistrationPhase phase, int status,
                                      std::string_view reason) {
  if (r.phase == phase && r.failStatus == status && r.failReason == reason) return false;
  r.phase = phase;
  r.failStatus = status;
  r.failReason = std::string(reason);
  return true;
}

void RegistrationList::NotifyLocked(const RegistrationRecord& r, std::uint32_t now) {
  effects_.push_back({Effect::Kind::kNotify, {}, {}, 0, StatusOf(r, now)});
}

void RegistrationList::SetRegisteredLocked(RegistrationRecord& r, bool registered, std::uint32_t now) {
  if (r.registered == registered) return;
  r.registered = registered;
  NotifyLocked(r, now);
}

void RegistrationList::RunPass(std::uint32_t now, bool& keepAlivesNeeded, const std::function<bool()>& stop) {
  Scope hold(*this);
  bool anyRegisters = std::any_of(records_.begin(), records_.end(),
                                  [](const RegistrationRecord& r) { return !r.leaving && r.key.Registers(); });
  for (auto it = records_.begin(); it != records_.end();) {
    if (stop && stop()) return;
    RegistrationRecord& r = *it;
    const bool due = Diff(now, r.nextAttempt) >= 0 && now - r.lastSend >= kRetryMs;
    if (r.leaving) {
      // No answer to the unregistration within the retry time: forget the record.
      if (due) {
        it = records_.erase(it);
        continue;
      }
      ++it;
      continue;
    }
    if (due) {
      const bool overdue = Diff(now, r.nextAttempt) >= static_cast<std::int32_t>(kGiveUpMs);
      r.credentialsTried = false;
      if (r.key.Registers()) {
        if (!r.attempted) {
          r.attempted = true;
          LogLocked(FormatWire(wire::kAttemptingToRegister, {r.key.addressOfRecord}), platform::kLogInfo);
          NotifyLocked(r, now);
        }
        SendRegisterLocked(r, kRefreshExpires);
      } else {
        r.attempted = true;
        r.nextAttempt = now + kNoAnswerBackOffMs;
        // Only when nothing registers: another line may still need its NAT binding kept.
        if (!anyRegisters) keepAlivesNeeded = false;
        SetPhaseLocked(r, RegistrationPhase::kPeerToPeer);
        SetRegisteredLocked(r, true, now);
      }
      r.keepAlive = true;
      r.lastSend = now;
      if (overdue && r.key.Registers()) {
        LogLocked(FormatWire(wire::kServerDidNotRespond, {r.key.server, r.key.addressOfRecord}), platform::kLogError);
        LogLocked(wire::kCheckServerDetails, platform::kLogError);
        r.nextAttempt = now + kNoAnswerBackOffMs;
        r.keepAlive = false;
        r.registered = false;
        // A registrar that keeps challenging a line without a password is not silent: the
        // missing password stays the reason shown.
        const bool challenging = r.phase == RegistrationPhase::kNoPassword && r.answered &&
                                 Diff(now, r.lastAnswer) < static_cast<std::int32_t>(kGiveUpMs);
        if (!challenging) SetPhaseLocked(r, RegistrationPhase::kNoAnswer);
        NotifyLocked(r, now);
      }
    } else if (keepAlivesNeeded && now - r.lastSend > kKeepAliveMs) {
      if (r.keepAlive && r.key.Registers()) effects_.push_back({Effect::Kind::kKeepAlive, r.key.server, {}, 0, {}});
      r.lastSend = now;
    }
    ++it;
  }
}

std::uint32_t RegistrationList::Wait(std::uint32_t now, std::uint32_t wait, bool keepAlivesNeeded) {
  std::lock_guard<std::mutex> hold(mutex_);
  std::int64_t result = wait;
  for (const RegistrationRecord& r : records_) {
    std::int64_t untilDue = Diff(r.nextAttempt, now);
    if (untilDue < result) result = std::max<std::int64_t>(untilDue, Diff(r.lastSend + kRetryMs, now));
    if (keepAlivesNeeded) result = std::min<std::int64_t>(result, Diff(r.lastSend + kKeepAliveWaitMs, now));
  }
  return result > 0 ? static_cast<std::uint32_t>(result) : 0;
}

void RegistrationList::MakeAllDue(std::uint32_t now) {
  std::lock_guard<std::mutex> hold(mutex_);
  for (RegistrationRecord& r : records_) {
    if (!r.leaving) r.nextAttempt = now;
  }
}

bool RegistrationList::HandleResponse(const SipMessage& response, std::uint32_t now) {
  Scope hold(*this);
  std::string_view callId = response.FindHeader(kCallId);
  auto it = std::find_if(records_.begin(), records_.end(),
                         [&](const RegistrationRecord& r) { return r.callId == callId; });
  if (it == records_.end()) return false;
  RegistrationRecord& r = *it;
  // A late answer to an earlier REGISTER says nothing about the one in flight.
  std::optional<std::uint32_t> cseq = CSeqNumber(response.FindHeader(kCSeq));
  if (!cseq || *cseq != r.cseq) return true;
  const int status = response.statusCode;
  r.answered = true;
  r.lastAnswer = now;
  if (status >= 100 && status <= 199) {
    r.lastSend = now;
    return true;
  }
  if (r.leaving) {
    if (status == 401 || status == 407) HandleChallengeLocked(r, response, now);  // may erase r
    else records_.erase(it);
    return true;
  }
  if (status >= 200 && status <= 299) HandleSuccessLocked(r, response, now);
  else if (status == 401 || status == 407) HandleChallengeLocked(r, response, now);
  else {
    LogLocked(FormatWire(wire::kRegisterAttemptFailed, {r.key.addressOfRecord}), platform::kLogError);
    LogLocked(FormatWire(wire::kStatusAndReason, {status, response.reason}), platform::kLogError);
    SetPhaseLocked(r, RegistrationPhase::kRejected, status, response.reason);
    FailLocked(r, now, kRefusedBackOffMs);
  }
  return true;
}

void RegistrationList::HandleSuccessLocked(RegistrationRecord& r, const SipMessage& response, std::uint32_t now) {
  const int expiry = GrantedExpiry(response, endpoint_.Addresses());
  r.nextAttempt = now + static_cast<std::uint32_t>(expiry) * 1000u - kRefreshMarginMs;
  r.keepAlive = expiry > kKeepAliveAboveExpires;
  SetPhaseLocked(r, RegistrationPhase::kRegistered);
  if (!r.registered) {
    LogLocked(FormatWire(wire::kRegisteredAs, {r.key.addressOfRecord}), platform::kLogInfo);
    SetRegisteredLocked(r, true, now);
  }
}

void RegistrationList::HandleChallengeLocked(RegistrationRecord& r, const SipMessage& response, std::uint32_t now) {
  const int status = response.statusCode;
  auto logRefusal = [&](std::string_view advice) {
    LogLocked(FormatWire(wire::kRegisterAuthorizationFailed, {r.key.addressOfRecord}), platform::kLogError);
    LogLocked(FormatWire(wire::kErrorReturned, {status, response.reason}), platform::kLogError);
    LogLocked(advice, platform::kLogError);
  };
  if (r.key.password.empty()) {
    logRefusal(wire::kEnterPassword);
    if (SetPhaseLocked(r, RegistrationPhase::kNoPassword, status, response.reason) && !r.registered) {
      NotifyLocked(r, now);
    }
    SetRegisteredLocked(r, false, now);
    return;
  }
  const bool www = status == 401;
  std::string uri = FormatWire(wire::kDigestUriOfDomain, {r.key.domain});
  std::vector<std::string_view> challenges = response.HeaderValues(www ? kWwwAuthenticate : kProxyAuthenticate);
  std::optional<DigestAnswer> answer =
      AnswerChallenges(challenges, wire::kRegister, uri, r.key.authorizationUser, r.key.password);
  r.authorizationIsWww = www;
  if (!answer) {
    LogLocked(FormatWire(wire::kRegisterAttemptFailed, {r.key.addressOfRecord}), platform::kLogError);
    LogLocked(FormatWire(wire::kStatusAndReason, {status, response.reason}), platform::kLogError);
    SetPhaseLocked(r, RegistrationPhase::kRejected, status, response.reason);
    FailLocked(r, now, kRefusedBackOffMs);
    return;
  }
  if (r.credentialsTried && !answer->stale) {
    logRefusal(wire::kCheckCredentials);
    SetPhaseLocked(r, RegistrationPhase::kRefused, status, response.reason);
    FailLocked(r, now, kRefusedBackOffMs);
    return;
  }
  r.authorization = std::move(answer->authorization);
  SendRegisterLocked(r, r.lastExpires);
  r.lastSend = now;
  r.credentialsTried = true;
}

void RegistrationList::FailLocked(RegistrationRecord& r, std::uint32_t now, std::uint32_t backOffMs) {
  if (r.leaving) {
    auto it = std::find_if(records_.begin(), records_.end(), [&](const RegistrationRecord& x) { return &x == &r; });
    if (it != records_.end()) records_.erase(it);
    return;
  }
  r.nextAttempt = now + backOffMs;
  r.keepAlive = false;
  r.registered = false;
  NotifyLocked(r, now);
}

int RegistrationList::UnregisterAll(std::uint32_t now) {
  Scope hold(*this);
  int sent = 0;
  for (RegistrationRecord& r : records_) {
    if (r.leaving || !r.registered || !r.key.Registers()) continue;
    r.credentialsTried = false;
    r.leaving = true;
    SendRegisterLocked(r, 0);
    r.lastSend = now;
    r.nextAttempt = now + kRetryMs;
    SetRegisteredLocked(r, false, now);
    ++sent;
  }
  return sent;
}

bool RegistrationList::UnregisterPending() {
  std::lock_guard<std::mutex> hold(mutex_);
  return std::any_of(records_.begin(), records_.end(), [](const RegistrationRecord& r) { return r.leaving; });
}

std::vector<RegistrationStatus> RegistrationList::Snapshot(std::uint32_t now) {
  std::lock_guard<std::mutex> hold(mutex_);
  std::vector<RegistrationStatus> out;
  for (const RegistrationRecord& r : records_) {
    if (!r.leaving) out.push_back(StatusOf(r, now));
  }
  return out;
}

std::string RegistrationList::FirstServer() {
  std::lock_guard<std::mutex> hold(mutex_);
  for (auto r = records_.rbegin(); r != records_.rend(); ++r) {
    if (!r->leaving && r->key.Registers()) return r->key.server;
  }
  return {};
}

std::size_t RegistrationList::Size() {
  std::lock_guard<std::mutex> hold(mutex_);
  return records_.size();
}

}  // namespace corvina::sip
