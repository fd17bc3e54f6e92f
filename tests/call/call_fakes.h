// A host for the call flow that runs on the test's thread: the fake endpoint's clock moves only
// in waits, which deliver scripted messages and commands when their time comes, so a whole call
// runs without sleeping.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../sip/dialog_fakes.h"
#include "call/call_flow.h"
#include "platform/memory_settings_store.h"
#include "platform/settings.h"

namespace corvina::call::testing {

using sip::testing::FakeEndpoint;
using sip::testing::ParseOwned;

class FakeMedia final : public LineMedia {
 public:
  int opened = 0, started = 0, stopped = 0, remotes = 0;
  SdpState lastRemote;
  bool Open() override { return ++opened > 0; }
  SdpLocalMedia Local() const override { return {"127.0.0.1", 8000, "127.0.0.1", 8000}; }
  void SetRemote(const SdpState& s) override {
    ++remotes;
    lastRemote = s;
  }
  void Start() override { ++started; }
  void Stop() override { ++stopped; }
  void CancelOpen() override {}
  void AllowOpen() override {}
  void SendDigits(std::string_view) override {}
};

class NeverWaiter final : public sip::EventWaiter {
 public:
  bool WaitFor(platform::Event& event, int) override { return event.IsSet(); }
};

struct HandedOver {
  sip::DialogRef dialog;
  bool pending = false;
  bool provisionalSeen = false;
  std::uint32_t at = 0;
};

// The other line of an attended transfer: its slot, its account, and what it does when asked.
class FakePeer final : public HandOverPeer {
 public:
  bool idle = false;
  LineAccountKey account{"PBX.example", "100"};
  int requests = 0;
  std::function<void()> onRequest;  // runs when asked for the call
  bool IsIdle() const override { return idle; }
  LineAccountKey AccountKey() const override { return account; }
  HandOverSlot& Slot() override { return slot; }
  sip::DialogRef RequestHandOver() override {
    ++requests;
    sip::DialogRef leftover = slot.Request();
    if (onRequest) onRequest();
    return leftover;
  }
  HandOverSlot slot;
};

class CallBench final : public CallHost {
 public:
  using Action = std::function<void(sip::SharedDialog&)>;

  CallBench() { endpoint.now = 1000000; }

  // `action` runs on the dialog being waited on once the clock reaches `offset` after the start.
  void At(std::uint32_t offset, Action action) {
    steps_.push_back({start_ + offset, std::move(action)});
    std::stable_sort(steps_.begin(), steps_.end(),
                     [](const Step& a, const Step& b) { return static_cast<std::int32_t>(a.at - b.at) < 0; });
  }
  void Message(std::uint32_t offset, std::function<std::string(sip::SharedDialog&)> text) {
    At(offset, [text](sip::SharedDialog& d) { d.Put(ParseOwned(text(d))); });
  }
  void Command(std::uint32_t offset, LineCommand c) {
    At(offset, [this, c](sip::SharedDialog&) { commands.Give(c); });
  }
  // The user's hold button at `offset`: the hold request changes, the command follows.
  void Hold(std::uint32_t offset, bool held) {
    At(offset, [this, held](sip::SharedDialog&) {
      if (std::exchange(holdRequested, held) != held) commands.Give(LineCommand::kHoldChanged);
    });
  }
  // An incoming call answered at 0 and acknowledged at 100.
  void Connect();
  void SetStart(std::uint32_t start) { endpoint.now = start_ = start; }
  std::uint32_t Elapsed() const { return endpoint.now - start_; }

  sip::SipEndpoint& Endpoint() override { return endpoint; }
  void Wait(sip::SharedDialog& dialog, int timeoutMs) override { Advance(dialog, dialog.MessageEvent(), timeoutMs); }
  void Advance(sip::SharedDialog& dialog, platform::Event& event, int timeoutMs) {
    current = &dialog;
    while (onSent && seen_ < endpoint.sent.size()) onSent(endpoint.sent[seen_++].text);
    if (event.IsSet() || commands.Event().IsSet()) return;
    const std::uint32_t until = endpoint.now + static_cast<std::uint32_t>(timeoutMs);
    if (!steps_.empty() && static_cast<std::int32_t>(steps_.front().at - until) <= 0) {
      Step s = std::move(steps_.front());
      steps_.erase(steps_.begin());
      if (static_cast<std::int32_t>(s.at - endpoint.now) > 0) endpoint.now = s.at;
      s.action(dialog);
      return;
    }
    endpoint.now = until;
    if (static_cast<std::int32_t>(endpoint.now - (start_ + horizon)) >= 0) stop = true;
  }
  bool StopRequested() override { return stop; }
  LineCommands& Commands() override { return commands; }
  bool HoldRequested() override { return holdRequested; }
  void Announce(CallState state, int ringCount) override { announced.push_back({state, ringCount, Elapsed()}); }
  void AnnounceEnd(int ringCount, std::string_view reason) override {
    Announce(CallState::kIdle, ringCount);
    endReason = reason;
  }
  void AnnounceHold(bool applied) override { holdAnnounced.push_back({applied, Elapsed()}); }
  void AnnounceTransfer(TransferKind kind, TransferOutcome outcome) override { transfers.push_back({kind, outcome}); }
  void HandOver(sip::DialogRef dialog, std::optional<sip::PendingInvite> pending) override {
    handedOver.push_back({std::move(dialog), pending.has_value(), pending && pending->provisionalSeen, Elapsed()});
  }
  sip::DialogRef AddDialog(sip::Dialog state) override {
    sip::DialogRef d = sip::SharedDialog::Create(services, std::move(state));
    added.push_back(d);
    return d;
  }
  std::shared_ptr<HandOverPeer> TakeJoinPeer() override { return peer; }  // the join is given without payload
  bool GiveHandOver(sip::DialogRef& dialog) override { return peer->slot.Give(dialog); }
  void WaitHandOver(platform::Event& handOver, int timeoutMs) override { Advance(*current, handOver, timeoutMs); }
  void Bridge(sip::DialogRef first, sip::DialogRef second) override {
    bridged.push_back({std::move(first), std::move(second)});
  }

  // The sent texts whose start line begins with `prefix`, with their times since the start.
  std::vector<std::pair<std::uint32_t, std::string>> Sent(std::string_view prefix) const {
    std::vector<std::pair<std::uint32_t, std::string>> out;
    for (const auto& s : endpoint.sent) {
      if (s.text.rfind(prefix, 0) == 0) out.push_back({s.at - start_, s.text});
    }
    return out;
  }
  std::vector<std::uint32_t> SentTimes(std::string_view prefix) const {
    std::vector<std::uint32_t> out;
    for (const auto& s : Sent(prefix)) out.push_back(s.first);
    return out;
  }
  bool Logged(std::string_view text) const {
    return std::any_of(endpoint.log.entries.begin(), endpoint.log.entries.end(),
                       [&](const auto& e) { return e.first == text; });
  }

  // An outgoing call's dialog to 200@198.51.100.9:5062.
  sip::DialogRef Outgoing() {
    sip::Dialog d = sip::NewOutgoingDialog(endpoint, {.from = "<sip:100@pbx.example>",
                                                      .to = "<sip:200@198.51.100.9:5062>",
                                                      .localUser = "100",
                                                      .authorizationUser = "100",
                                                      .password = "secret"});
    return sip::SharedDialog::Create(services, std::move(d));
  }

  CallIdentity identity{"<sip:100@pbx.example>", "pbx.example", "", "100", "100", "secret"};
  void RunOutgoing(bool intercom = false) {
    CallFlow flow(*this, media, sdp, identity);
    flow.Run(intercom ? CallState::kDiallingIntercom : CallState::kDialling, Outgoing(), nullptr);
  }
  void RunIncoming(std::string invite) {
    std::unique_ptr<sip::SipMessage> m = ParseOwned(invite);
    sip::Dialog d = sip::NewIncomingDialog(endpoint, *m);
    d.localUser = d.authorizationUser = "100";
    d.password = "secret";
    CallFlow flow(*this, media, sdp, identity);
    flow.Run(CallState::kIncomingRinging, sip::SharedDialog::Create(services, std::move(d)), std::move(m));
  }

  struct Announced {
    CallState state;
    int ringCount;
    std::uint32_t at;
  };
  FakeEndpoint endpoint;
  sip::testing::FakeSentMessages sentMessages;
  NeverWaiter waiter;
  sip::DialogServices services{endpoint, sentMessages, waiter};
  platform::MemorySettingsStore store;
  platform::Settings settings{store};
  SdpCounter counter{77};
  SdpSession sdp{counter, settings, endpoint.resolver};
  FakeMedia media;
  LineCommands commands;
  bool stop = false;
  bool holdRequested = false;
  std::vector<std::pair<bool, std::uint32_t>> holdAnnounced;  // applied state, when
  std::uint32_t horizon = 200000;  // the test stops the call thread here at the latest
  std::vector<Announced> announced;
  std::string endReason;  // of the idle announcement
  std::vector<HandedOver> handedOver;
  std::vector<std::pair<TransferKind, TransferOutcome>> transfers;
  std::shared_ptr<FakePeer> peer = std::make_shared<FakePeer>();
  std::vector<sip::DialogRef> added;  // the dialogs the flow made
  std::vector<std::pair<sip::DialogRef, sip::DialogRef>> bridged;
  sip::SharedDialog* current = nullptr;
  // A far end that reacts to what the flow sent, told in the next wait of every sent text.
  std::function<void(const std::string& text)> onSent;

 private:
  std::size_t seen_ = 0;
  struct Step {
    std::uint32_t at;
    Action action;
  };
  std::uint32_t start_ = 1000000;
  std::vector<Step> steps_;
};

inline constexpr std::string_view kOfferPcmu =
    "v=0\r\no=- 1 1 IN IP4 198.51.100.9\r\ns=-\r\nc=IN IP4 198.51.100.9\r\nt=0 0\r\n"
    "m=audio 40000 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\n";

// A response of the far end to the request (INVITE unless told) last sent in `dialog`.
inline std::string Reply(const sip::SharedDialog& d, int status, std::string_view extra = {},
                         std::string_view toTag = "far", std::string_view sdp = {},
                         std::string_view method = "INVITE") {
  std::string text = "SIP/2.0 " + std::to_string(status) + " Whatever\r\nVia: SIP/2.0/UDP 203.0.113.7:5090;branch=x\r\n"
                     "From: <sip:100@pbx.example>;tag=" + d.LocalTag() + "\r\nTo: <sip:200@198.51.100.9:5062>;tag=" +
                     std::string(toTag) + "\r\nCall-ID: " + d.CallId() + "\r\nCSeq: " +
                     std::to_string(const_cast<sip::SharedDialog&>(d).State().localCSeq) +
                     " " + std::string(method) + "\r\nContact: <sip:200@198.51.100.9:5062>\r\n" + std::string(extra);
  if (sdp.empty()) return text + "Content-Length: 0\r\n\r\n";
  return text + "Content-Type: application/sdp\r\nContent-Length: " + std::to_string(sdp.size()) + "\r\n\r\n" +
         std::string(sdp);
}

// An INVITE from 200@198.51.100.9 to 100, with `extra` lines and an optional SDP body.
inline std::string IncomingInvite(std::string_view extra = {}, std::string_view sdp = kOfferPcmu,
                                  std::string_view callId = "in-call-1") {
  std::string text =
      "INVITE sip:100@192.168.1.20:5070 SIP/2.0\r\nVia: SIP/2.0/UDP 198.51.100.9:5062;branch=z9hG4bKin1\r\n"
      "From: \"Bob\" <sip:200@198.51.100.9>;tag=far\r\nTo: <sip:100@pbx.example>\r\nCall-ID: " +
      std::string(callId) + "\r\nCSeq: 1 INVITE\r\nContact: <sip:200@198.51.100.9:5062>\r\n" + std::string(extra);
  if (sdp.empty()) return text + "Content-Length: 0\r\n\r\n";
  return text + "Content-Type: application/sdp\r\nContent-Length: " + std::to_string(sdp.size()) + "\r\n\r\n" +
         std::string(sdp);
}

// A request of the far end in an incoming call's dialog.
inline std::string FarRequest(const sip::SharedDialog& d, std::string_view method, int cseq,
                              std::string_view extra = {}, std::string_view sdp = {},
                              std::string_view bodyType = "application/sdp") {
  std::string text = std::string(method) + " sip:100@192.168.1.20:5070 SIP/2.0\r\n"
                     "Via: SIP/2.0/UDP 198.51.100.9:5062;branch=z9hG4bKfar" + std::to_string(cseq) +
                     std::string(method) + "\r\nFrom: <sip:200@198.51.100.9>;tag=far\r\nTo: <sip:100@pbx.example>;tag=" +
                     d.LocalTag() + "\r\nCall-ID: " + d.CallId() + "\r\nCSeq: " + std::to_string(cseq) + " " +
                     std::string(method) + "\r\nContact: <sip:200@198.51.100.9:5062>\r\n" + std::string(extra);
  if (sdp.empty()) return text + "Content-Length: 0\r\n\r\n";
  return text + "Content-Type: " + std::string(bodyType) + "\r\nContent-Length: " + std::to_string(sdp.size()) +
         "\r\n\r\n" + std::string(sdp);
}

inline void CallBench::Connect() {
  Command(0, LineCommand::kAnswer);
  Message(100, [](sip::SharedDialog& d) { return FarRequest(d, "ACK", 1); });
}

}  // namespace corvina::call::testing
