#include "sip/engine_core.h"

#include <algorithm>

#include "platform/text.h"
#include "sip/replaces.h"
#include "sip/response_composer.h"
#include "sip/server_address.h"
#include "sip/sip_parser.h"
#include "sip/sip_uri.h"
#include "sip/text_scan.h"
#include "sip/wire_format.h"
#include "sip/wire_texts.h"

namespace corvina::sip {
namespace {

constexpr std::string_view kKeepAliveBytes{"\0\0\0\0", 4};

std::int32_t Diff(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b); }

// True when `request` belongs to the same INVITE transaction as `invite` (a resend of it, or
// its CANCEL): same Call-ID, From and CSeq number.
bool SameInviteTransaction(const SipMessage& invite, const SipMessage& request) {
  return invite.FindHeader(kCallId) == request.FindHeader(kCallId) &&
         invite.FindHeader(kFrom) == request.FindHeader(kFrom) &&
         platform::ParseLeadingLong(invite.FindHeader(kCSeq)) == platform::ParseLeadingLong(request.FindHeader(kCSeq));
}

// The request's method, or for a response the method its CSeq names.
std::string MethodOf(const SipMessage& message) {
  if (message.IsRequest()) return message.method;
  std::string_view cseq = message.FindHeader(kCSeq);
  std::size_t space = cseq.find_last_of(" \t");
  return std::string(space == std::string_view::npos ? cseq : cseq.substr(space + 1));
}

}  // namespace

EngineCore::EngineCore(const Services& services, std::string deviceAddress)
    : socket_(services.socket),
      resolver_(services.resolver),
      log_(services.log),
      clock_(services.clock),
      ids_(services.ids),
      settings_(services.settings),
      trace_(services.trace),
      lastStunKeepAlive_(services.clock.NowMs()),
      registrations_(*this, [this](std::string_view server) { SendKeepAlive(server, kRegistrarPort, true); }) {
  addresses_.publicAddress = deviceAddress;
  addresses_.privateAddress = std::move(deviceAddress);
  engineThread_.Detach();  // the first caller of the engine-thread entry points owns them
}

void EngineCore::PrepareForStart() {
  ready_ = false;  // the engine thread is not running: its members may be reset here
  heldInvites_.clear();
  {
    std::lock_guard<std::mutex> hold(addressMutex_);
    addresses_.publicPort = 0;
  }
  engineThread_.Detach();
}

EngineCore::~EngineCore() { registrations_.SetObserver(nullptr); }

void EngineCore::SetObserver(EngineObserver* observer) {
  observer_ = observer;
  registrations_.SetObserver(observer);
}

OwnAddresses EngineCore::Addresses() const {
  std::lock_guard<std::mutex> hold(addressMutex_);
  return addresses_;
}

void EngineCore::OnBound(const std::string& address, std::uint16_t port, std::uint32_t now) {
  CORVINA_CHECK_THREAD(engineThread_);
  bool changed = false;
  {
    std::lock_guard<std::mutex> hold(addressMutex_);
    addresses_.localPort = port;
    addresses_.privateAddress = address;
    changed = address != loggedPrivate_ || port != loggedPort_;
    loggedPrivate_ = address;
    loggedPort_ = port;
  }
  justBound_ = true;
  ready_ = false;
  lastPublicCheck_ = now;
  if (changed) log_.Log(FormatWire(wire::kPrivateIp, {address, port}), platform::kLogInfo);
}

void EngineCore::OnBindFailed() {
  CORVINA_CHECK_THREAD(engineThread_);
  {
    std::lock_guard<std::mutex> hold(addressMutex_);
    addresses_.localPort = 0;
  }
  heldInvites_.clear();  // without a socket nothing could answer them
  log_.Log(wire::kBindFailed, platform::kLogError);
}

void EngineCore::OnReady() {
  CORVINA_CHECK_THREAD(engineThread_);
  ready_ = true;
  std::deque<std::unique_ptr<SipMessage>> held = std::move(heldInvites_);
  heldInvites_.clear();
  for (auto& invite : held) HandleInvite(std::move(invite));
}

void EngineCore::HoldInvite(std::unique_ptr<SipMessage> invite) {
  for (const auto& held : heldInvites_) {
    if (SameInviteTransaction(*held, *invite)) return;  // a resend: the held one is answered once ready
  }
  // Full: dropped like a lost datagram; the caller's next resend may find room.
  if (heldInvites_.size() < kMaxHeldInvites) heldInvites_.push_back(std::move(invite));
}

void EngineCore::CancelHeldInvite(const SipMessage& cancel) {
  auto it = std::find_if(heldInvites_.begin(), heldInvites_.end(),
                         [&](const auto& held) { return SameInviteTransaction(*held, cancel); });
  if (it == heldInvites_.end()) return;
  std::unique_ptr<SipMessage> invite = std::move(*it);
  heldInvites_.erase(it);
  SendResponse(*this, *invite, 487, wire::kReasonRequestTerminated);
}

bool EngineCore::PublicCheckDue(std::uint32_t now) const {
  return justBound_ || now - lastPublicCheck_ > kPublicCheckMs;
}

void EngineCore::OnPublicAddress(const PublicAddressResult& result, std::uint32_t now) {
  CORVINA_CHECK_THREAD(engineThread_);
  justBound_ = false;
  lastPublicCheck_ = now;
  if (result.stopped) return;
  keepAlivesNeeded_ = result.behindNat;
  OwnAddresses changed;
  {
    std::lock_guard<std::mutex> hold(addressMutex_);
    if (result.address.empty() || (result.address == addresses_.publicAddress && result.port == addresses_.publicPort)) {
      return;
    }
    addresses_.publicAddress = result.address;
    addresses_.publicPort = result.port;
    changed = addresses_;
  }
  log_.Log(FormatWire(wire::kPublicIp, {changed.publicAddress, changed.publicPort}), platform::kLogInfo);
  LogLineNumbers();
  registrations_.MakeAllDue(now);
  if (observer_ != nullptr) observer_->AddressChanged(changed);
}

void EngineCore::LogLineNumbers() {
  OwnAddresses own = Addresses();
  std::vector<std::string> shown;
  for (const auto& line : lines_.Snapshot()) {
    std::string user = line->UserName();
    if (std::find(shown.begin(), shown.end(), user) != shown.end()) continue;
    shown.push_back(user);
    log_.Log(FormatWire(wire::kSipNumber, {user, own.publicAddress, own.publicPort}), platform::kLogInfo);
  }
}

void EngineCore::Send(const SocketAddress& to, std::string_view text) {
  if (trace_ != nullptr && trace_->On()) trace_->Datagram(FormatWire(wire::kTraceSent, {FormatSocketAddress(to)}), text);
  if (to.Resolved()) socket_.SendDatagram(to, text);
}

void EngineCore::RecordSent(const SipMessage& answered, const SocketAddress& to, std::string_view text) {
  cache_.Record(answered, to, text, clock_.NowMs());
}

bool EngineCore::AnswerIfRetransmission(const SipMessage& message) {
  return ResendIfCached(message, clock_.NowMs());
}

bool EngineCore::ResendIfCached(const SipMessage& message, std::uint32_t now) {
  SentMessageCache::Resend resend;
  switch (cache_.Find(message, now, resend)) {
    case SentMessageCache::Match::kResend:
      Send(resend.to, resend.text);
      return true;
    case SentMessageCache::Match::kDropped:
      return true;
    case SentMessageCache::Match::kNone:
      break;
  }
  return false;
}

void EngineCore::SendKeepAlive(std::string_view server, std::uint16_t defaultPort, bool publicOnly) {
  SocketAddress to = ResolveServer(resolver_, server, defaultPort);
  if (!to.Resolved() || (publicOnly && IsPrivateAddress(to.address))) return;
  socket_.SendDatagram(to, kKeepAliveBytes);
  if (trace_ != nullptr && trace_->On()) trace_->Line(FormatWire(wire::kTraceKeepAlive, {server}));
}

std::uint32_t EngineCore::RunCycle(std::uint32_t now, const std::function<bool()>& stop) {
  CORVINA_CHECK_THREAD(engineThread_);
  registrations_.RunPass(now, keepAlivesNeeded_, stop);
  std::uint32_t wait = registrations_.Wait(now, kMaxWaitMs, keepAlivesNeeded_);
  if (keepAlivesNeeded_) StunKeepAlive(now, wait);
  // The public address check falls due once more than kPublicCheckMs have passed.
  if (!justBound_) wait = std::min<std::uint32_t>(wait, std::max(Diff(lastPublicCheck_ + kPublicCheckMs + 1, now), 0));
  return wait;
}

void EngineCore::StunKeepAlive(std::uint32_t now, std::uint32_t& wait) {
  std::int32_t remaining = Diff(lastStunKeepAlive_ + kStunKeepAliveMs, now);
  if (remaining > static_cast<std::int32_t>(kStunKeepAliveSlackMs)) {
    wait = std::min(wait, static_cast<std::uint32_t>(remaining));
    return;
  }
  if (!settings_.GetSettingString("SIP", "STUN", "").starts_with("0") && stunServer_) {
    std::string server = stunServer_();
    if (!server.empty()) SendKeepAlive(server, kStunPort, false);
  }
  lastStunKeepAlive_ = now;
}

void EngineCore::OnDatagram(std::string_view bytes, const SocketAddress& from, std::uint32_t now) {
  CORVINA_CHECK_THREAD(engineThread_);
  if (trace_ != nullptr && trace_->On()) trace_->Datagram(FormatWire(wire::kTraceReceived, {FormatSocketAddress(from)}), bytes);
  auto message = std::make_unique<SipMessage>();
  // Well-formed text (nearly every datagram) is parsed as it is; anything else after its
  // malformed bytes became replacement characters.
  const bool parsed = platform::IsValidUtf8(bytes) ? ParseMessage(bytes, *message)
                                                   : ParseMessage(platform::SanitizeUtf8(bytes), *message);
  if (!parsed) return;
  // Without these a message can be neither matched nor answered: it is dropped like garbage.
  if (message->FindHeader(kCallId).empty() || message->FindHeader(kCSeq).empty() ||
      message->FindHeader(kFrom).empty() || message->FindHeader(kTo).empty() ||
      (message->IsRequest() && message->FindHeader(kVia).empty())) {
    return;
  }
  message->source = from;
  const std::string method = MethodOf(*message);
  Dispatch(std::move(message), now);
  // A handler that blocks shows up in the log rather than as a phone that stops answering.
  const std::uint32_t busy = clock_.NowMs() - now;
  if (busy > kSlowDatagramMs) {
    log_.Log(FormatWire(wire::kSlowDatagram, {busy, method}), platform::kLogDebug);
  }
}

void EngineCore::Dispatch(std::unique_ptr<SipMessage> message, std::uint32_t now) {
  if (router_ != nullptr && router_->Deliver(message)) return;
  if (ResendIfCached(*message, now)) return;
  if (message->IsRequest()) {
    DispatchRequest(std::move(message));
    return;
  }
  // A response that is not a registration's is dropped.
  registrations_.HandleResponse(*message, now);
}

void EngineCore::DispatchRequest(std::unique_ptr<SipMessage> message) {
  const std::string& method = message->method;
  if (method == wire::kInvite) {
    std::vector<std::string_view> replaces = message->HeaderValues(kReplaces);
    if (replaces.empty()) {
      HandleInvite(std::move(message));
      return;
    }
    // Read escaped first; our own Call-IDs contain "%20", which only the value as given names.
    const std::string_view value = TrimWhite(replaces.front());
    const std::string decoded = ParseReplaces(value).callId;
    const std::string_view plain = value.substr(0, value.find_first_of(" ;"));
    if (router_ != nullptr && (router_->DeliverReplacing(decoded, message) ||
                               (plain != decoded && router_->DeliverReplacing(plain, message)))) {
      return;
    }
    SendResponse(*this, *message, 481, wire::kReasonNoSuchCall);
  } else if (method == wire::kOptions) {
    HandleOptions(*message);
  } else if (method == wire::kRegisterMethod || method == wire::kSubscribe) {
    SendResponse(*this, *message, 501, wire::kReasonNotImplemented);
  } else if (method == wire::kRefer || method == wire::kInfo || method == wire::kNotify) {
    SendResponse(*this, *message, 481, wire::kReasonNoSuchCall);
  } else if (method == wire::kAck) {
    return;
  } else if (method == wire::kCancel) {
    CancelHeldInvite(*message);
    SendResponse(*this, *message, 200, wire::kReasonOk);
  } else if (method == wire::kBye) {
    SendResponse(*this, *message, 200, wire::kReasonOk);
  } else {
    SendResponse(*this, *message, 501, wire::kReasonNotImplemented);
  }
}

namespace {

// The lines a request addresses: those whose user name equals the request URI's user part
// ignoring case, or all of them when the URI has no user part.
std::vector<std::shared_ptr<IncomingCallLine>> MatchingLines(const LineList& lines, const SipMessage& request) {
  std::string user = ParseUri(request.requestUri).user;
  std::vector<std::shared_ptr<IncomingCallLine>> out;
  for (auto& line : lines.Snapshot()) {
    if (user.empty() || platform::EqualsIgnoreCase(line->UserName(), user)) out.push_back(line);
  }
  return out;
}

}  // namespace

void EngineCore::HandleInvite(std::unique_ptr<SipMessage> invite) {
  if (!ready_) {
    HoldInvite(std::move(invite));
    return;
  }
  if (doNotDisturb_) {
    SendResponse(*this, *invite, 480, wire::kReasonTemporarilyUnavailable);
    log_.Log(std::string(wire::kDndReject) + std::string(invite->FindHeader(kFrom)), platform::kLogInfo);
    return;
  }
  std::vector<std::shared_ptr<IncomingCallLine>> matching = MatchingLines(lines_, *invite);
  if (matching.empty()) {
    SendResponse(*this, *invite, 404, wire::kReasonNotFound);
    return;
  }
  for (auto& line : matching) {
    if (line->OfferIncomingCall(invite)) return;
    if (!invite) return;  // taken although refused: nothing left to answer
  }
  SendResponse(*this, *invite, 486, wire::kReasonBusyHere);
  log_.Log(std::string(wire::kBusyReject) + std::string(invite->FindHeader(kFrom)), platform::kLogInfo);
}

void EngineCore::HandleOptions(const SipMessage& options) {
  std::vector<std::shared_ptr<IncomingCallLine>> matching = MatchingLines(lines_, options);
  if (matching.empty()) {
    SendResponse(*this, options, 404, wire::kReasonNotFound);
    return;
  }
  bool idle = std::any_of(matching.begin(), matching.end(), [](const auto& l) { return l->CallState() == 0; });
  std::string sdp = sdpOffer_ ? sdpOffer_() : std::string();
  ResponseOptions answer;
  answer.allow = true;
  if (!sdp.empty()) {
    answer.bodyType = wire::kSdpType;
    answer.body = sdp;
  }
  if (idle) SendResponse(*this, options, 200, wire::kReasonOk, answer);
  else SendResponse(*this, options, 486, wire::kReasonBusyHere, answer);
}

}  // namespace corvina::sip
