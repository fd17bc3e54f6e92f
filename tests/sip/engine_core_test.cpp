// The engine core driven by hand:
// - requests outside any dialog get the fixed answers (byte-exact), ACK and garbage get none;
// - a retransmitted request gets the same bytes again, at most 16 times, and not after 30 s;
// - INVITE and OPTIONS find their lines by user name; busy, Do Not Disturb, Replaces;
// - the dialog router sees messages first;
// - a public address change is logged, shown per line user and makes registrations due;
// - STUN keep-alives every 49 s unless STUN is "0"; the wait never exceeds 20 s nor the next check;
// - between a bind and readiness a new INVITE is held (resends dropped, a CANCEL gives 487),
//   then offered once; a datagram handled for more than 500 ms is logged once at debug level.
#include <gtest/gtest.h>

#include "engine_harness.h"
#include "sip/wire_format.h"

namespace corvina::sip {
namespace {

using testing::EngineHarness;
using testing::FakeLine;

std::string Request(std::string_view method, std::string_view uri = "sip:100@192.168.1.20:5070",
                    std::string_view extra = "") {
  return FormatWire(
      "%s %s SIP/2.0\r\nVia: SIP/2.0/UDP 10.0.0.9:5060;branch=z9hG4bK-1\r\nFrom: <sip:200@pbx>;tag=far\r\n"
      "To: <sip:100@pbx>\r\nCall-ID: call-1@10.0.0.9\r\nCSeq: 5 %s\r\n%sContent-Length: 0\r\n\r\n",
      {method, uri, method, extra});
}

std::string ExpectedAnswer(std::string_view method, std::string_view statusLine) {
  return FormatWire(
      "SIP/2.0 %s\r\nVia: SIP/2.0/UDP 10.0.0.9:5060;branch=z9hG4bK-1\r\nTo: <sip:100@pbx>\r\n"
      "From: <sip:200@pbx>;tag=far\r\nCall-ID: call-1@10.0.0.9\r\nCSeq: 5 %s\r\n"
      "User-Agent: Tessaly Corvina 4.01\r\nContent-Length: 0\r\n\r\n",
      {statusLine, method});
}

TEST(EngineDispatch, RequestsOutsideDialogsGetTheFixedAnswers) {
  struct Case {
    std::string_view method;
    std::string_view statusLine;  // empty: no answer
  } cases[] = {
      {"BYE", "200 OK"},
      {"CANCEL", "200 OK"},
      {"PUBLISH", "501 Not Implemented"},
      {"SUBSCRIBE", "501 Not Implemented"},
      {"REGISTER", "501 Not Implemented"},
      {"REFER", "481 Call/Transaction Does Not Exist"},
      {"INFO", "481 Call/Transaction Does Not Exist"},
      {"NOTIFY", "481 Call/Transaction Does Not Exist"},
      {"INVITE", "404 Not Found"},
      {"OPTIONS", "404 Not Found"},
      {"ACK", ""},
  };
  for (const Case& c : cases) {
    EngineHarness h;
    h.Receive(Request(c.method));
    auto sent = h.socket.Take();
    if (c.statusLine.empty()) {
      EXPECT_TRUE(sent.empty()) << c.method;
      continue;
    }
    ASSERT_EQ(sent.size(), 1u) << c.method;
    EXPECT_EQ(sent[0].text, ExpectedAnswer(c.method, c.statusLine));
    EXPECT_EQ(sent[0].to, (SocketAddress{0x0A000009, 5060}));
  }
}

TEST(EngineDispatch, GarbageAndUnmatchedResponsesAreDroppedQuietly) {
  EngineHarness h;
  for (std::string_view junk : {std::string_view("\0\0\0\0", 4), std::string_view("hello"), std::string_view(""),
                                std::string_view("SIP/2.0 200 OK\r\nCall-ID: nobody\r\nCSeq: 1 INVITE\r\n\r\n"),
                                std::string_view("INVITE\r\n\r\n"),
                                std::string_view("INVITE sip:x SIP/2.0\r\nContent-Length: 9\r\n\r\n")}) {
    h.Receive(junk);
  }
  EXPECT_TRUE(h.socket.sent.empty());
  h.Receive(Request("BYE"));  // still alive and answering
  EXPECT_EQ(h.socket.sent.size(), 1u);
}

TEST(EngineDispatch, RetransmissionGetsTheSameBytesSixteenTimesWithinThirtySeconds) {
  EngineHarness h;
  h.Receive(Request("PUBLISH"));
  const std::string first = h.socket.Take().at(0).text;
  for (int i = 0; i < 16; ++i) {
    h.clock.Advance(500);
    h.Receive(Request("PUBLISH"));
    auto again = h.socket.Take();
    ASSERT_EQ(again.size(), 1u) << i;
    EXPECT_EQ(again[0].text, first);
  }
  h.Receive(Request("PUBLISH"));
  EXPECT_TRUE(h.socket.Take().empty()) << "resends are used up";
  EXPECT_EQ(h.core.SentMessages().Size(), 1u);
  h.clock.Advance(30001);
  h.Receive(Request("PUBLISH"));  // the record has expired: answered afresh and recorded anew
  EXPECT_EQ(h.socket.Take().size(), 1u);
  EXPECT_EQ(h.core.SentMessages().Size(), 1u);

  // A different CSeq method (the ACK of the answer) is no retransmission.
  h.Receive(Request("ACK"));
  EXPECT_TRUE(h.socket.Take().empty());
}

TEST(EngineDispatch, InviteIsOfferedToLinesByUserName) {
  EngineHarness h;
  h.AddLine("100", 5, false);
  auto other = h.AddLine("200");

  h.Receive(Request("INVITE", "sip:100@192.168.1.20"));  // the matching line refuses: busy
  auto sent = h.socket.Take();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].text.substr(0, 22), "SIP/2.0 486 Busy Here\r");
  EXPECT_TRUE(h.Logged("Busy - reject incoming call from: <sip:200@pbx>;tag=far"));
  EXPECT_EQ(other->offers, 0);

  EngineHarness g;
  auto a = g.AddLine("100", 5, false);
  auto b = g.AddLine("200");
  g.Receive(Request("INVITE", "sip:192.168.1.20"));  // no user part: every line, first taker wins
  EXPECT_TRUE(g.socket.sent.empty());
  EXPECT_EQ(a->offers, 1);
  ASSERT_NE(b->taken, nullptr);
  EXPECT_EQ(b->taken->source, (SocketAddress{0x0A000009, 5060}));

  g.core.SetDoNotDisturb(true);
  g.Receive(Request("INVITE", "sip:200@192.168.1.20"));
  ASSERT_EQ(g.socket.sent.size(), 1u);
  EXPECT_EQ(g.socket.sent[0].text.substr(0, 36), "SIP/2.0 480 Temporarily Unavailable\r");
  EXPECT_TRUE(g.Logged("DND is on - reject incoming call from: <sip:200@pbx>;tag=far"));
}

TEST(EngineDispatch, OptionsAnswerCarriesAllowAndTheOffer) {
  EngineHarness h;
  auto line = h.AddLine("100");
  h.core.SetCapabilities([] { return std::string("v=0\r\n"); });
  h.Receive(Request("OPTIONS"));
  auto sent = h.socket.Take();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].text,
            "SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP 10.0.0.9:5060;branch=z9hG4bK-1\r\nTo: <sip:100@pbx>\r\n"
            "From: <sip:200@pbx>;tag=far\r\nCall-ID: call-1@10.0.0.9\r\nCSeq: 5 OPTIONS\r\n"
            "User-Agent: Tessaly Corvina 4.01\r\n"
            "Allow: INVITE, ACK, CANCEL, OPTIONS, BYE, REFER, NOTIFY\r\nAccept: application/sdp\r\n"
            "Supported: replaces\r\nContent-Type: application/sdp\r\nContent-Length: 5\r\n\r\nv=0\r\n");

  EngineHarness g;
  g.AddLine("100", 5);
  g.Receive(Request("OPTIONS"));
  EXPECT_EQ(g.socket.sent.at(0).text.substr(0, 22), "SIP/2.0 486 Busy Here\r");
}

class RecordingRouter final : public DialogRouter {
 public:
  std::string takeCallId;  // Deliver takes messages of this Call-ID
  std::string replacedCallId;
  bool replacingTaken = false;
  std::string replacingOnly;  // when set, DeliverReplacing takes only this Call-ID
  bool Deliver(std::unique_ptr<SipMessage>& message) override {
    if (message->FindHeader(kCallId) != takeCallId) return false;
    message.reset();
    return true;
  }
  bool DeliverReplacing(std::string_view callId, std::unique_ptr<SipMessage>& message) override {
    if (!replacingOnly.empty() && callId != replacingOnly) return false;
    replacedCallId = callId;
    if (replacingTaken) message.reset();
    return replacingTaken;
  }
};

TEST(EngineDispatch, DialogsComeFirstAndReplacesNamesACallId) {
  EngineHarness h;
  RecordingRouter router;
  router.takeCallId = "call-1@10.0.0.9";
  h.core.SetRouter(&router);
  h.Receive(Request("BYE"));
  EXPECT_TRUE(h.socket.Take().empty()) << "the dialog took it";

  router.takeCallId = "other";
  h.Receive(Request("INVITE", "sip:100@x", "Replaces: abc@host;to-tag=1;from-tag=2\r\n"));
  EXPECT_EQ(router.replacedCallId, "abc@host");
  EXPECT_EQ(h.socket.Take().at(0).text.substr(0, 45), "SIP/2.0 481 Call/Transaction Does Not Exist\r\n");

  router.replacingTaken = true;
  std::string next = Request("INVITE", "sip:100@x", "Replaces: def rest\r\n");
  next.replace(next.find("CSeq: 5"), 7, "CSeq: 6");  // a new request, not a retransmission
  h.Receive(next);
  EXPECT_EQ(router.replacedCallId, "def");
  EXPECT_TRUE(h.socket.Take().empty());
}

TEST(EngineDispatch, AReplacesValueNamesItsCallEscapedOrNot) {
  for (auto [replaces, callId] : {std::pair{"abc@host;to-tag=1;from-tag=2", "abc@host"},
                                  {"abc%40host%3Bto-tag%3D1%3Bfrom-tag%3D2", "abc@host"},
                                  {"1-2-A%20B@host;to-tag=1;from-tag=2", "1-2-A%20B@host"}}) {
    SCOPED_TRACE(replaces);
    EngineHarness h;
    RecordingRouter router;
    router.replacingTaken = true;
    router.replacingOnly = callId;
    h.core.SetRouter(&router);
    h.Receive(Request("INVITE", "sip:100@x", "Replaces: " + std::string(replaces) + "\r\n"));
    EXPECT_EQ(router.replacedCallId, callId);
    EXPECT_TRUE(h.socket.Take().empty()) << "the named call took it";
  }
}

TEST(EngineReadiness, InviteBeforeReadyIsHeldThenOfferedOnceAndACancelEndsIt) {
  EngineHarness h;
  auto line = h.AddLine("100");
  h.core.OnBound("192.168.1.21", 5070, h.clock.NowMs());  // a rebind: not ready again
  h.Receive(Request("INVITE"));
  h.Receive(Request("INVITE"));  // its resend
  for (std::string_view method : {"INVITE", "CANCEL"}) {
    std::string other = Request(method);
    h.Receive(other.replace(other.find("call-1@"), 7, "call-2@"));
  }
  EXPECT_EQ(line->offers, 0);
  auto sent = h.socket.Take();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_TRUE(sent[0].text.starts_with("SIP/2.0 487 Request Terminated\r\n")) << sent[0].text;
  EXPECT_TRUE(sent[1].text.starts_with("SIP/2.0 200 OK\r\n")) << sent[1].text;
  h.core.OnReady();
  EXPECT_EQ(line->offers, 1);
  EXPECT_EQ(line->taken->FindHeader(kCallId), "call-1@10.0.0.9");
}

TEST(EngineReadiness, ADatagramHandledForMoreThanHalfASecondIsLoggedAtDebugLevel) {
  for (std::uint32_t busyMs : {500u, 501u}) {
    EngineHarness h;
    h.AddLine("100")->onOffer = [&](const SipMessage&) { h.clock.Advance(busyMs); };
    h.log.entries.clear();
    h.Receive(Request("INVITE"));
    decltype(h.log.entries) expected;
    if (busyMs > 500) expected.emplace_back("SIP engine busy 501 ms handling INVITE", platform::kLogDebug);
    EXPECT_EQ(h.log.entries, expected) << busyMs;
  }
}

TEST(EngineAddresses, PublicAddressChangeIsLoggedShownPerUserAndMakesRegistrationsDue) {
  EngineHarness h;
  EXPECT_TRUE(h.Logged("SIP Private IP is: 192.168.1.20:5070"));
  for (const char* user : {"100", "100", "300"}) h.AddLine(user);
  h.resolver.names["reg.example"] = 0xC6336401;
  h.core.Registrations().Add(LineRegistrationKey("100", "reg.example", "", "", "pw"), 90, h.clock.NowMs());
  h.PublicAddress("203.0.113.9", 6000, true);
  EXPECT_TRUE(h.Logged("SIP Public IP is: 203.0.113.9:6000"));
  EXPECT_TRUE(h.Logged("SIP Number: 100@203.0.113.9:6000"));
  EXPECT_TRUE(h.Logged("SIP Number: 300@203.0.113.9:6000"));
  EXPECT_EQ(h.log.entries.size(), 4u) << "one line per distinct user";
  EXPECT_EQ(h.core.Addresses().publicPort, 6000);

  h.Cycle();  // first REGISTER
  h.socket.Take();
  h.clock.Advance(8000);
  h.PublicAddress("203.0.113.9", 6000, true);  // unchanged: nothing new
  EXPECT_EQ(h.log.entries.size(), 5u);
  h.PublicAddress("203.0.113.10", 6000, true);
  h.Cycle();
  auto sent = h.socket.Take();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NE(sent[0].text.find("Contact: <sip:100@203.0.113.10:6000>"), std::string::npos);
}

TEST(EngineKeepAlives, StunEveryFortyNineSecondsUnlessSwitchedOff) {
  for (std::string_view stun : {"", "0"}) {
    EngineHarness h;
    h.core.SetStunServer([] { return std::string("127.0.0.3"); });
    h.settings.SetSettingString("SIP", "STUN", stun);
    h.PublicAddress("203.0.113.9", 6000, true);
    std::vector<std::uint32_t> at;
    const std::uint32_t start = h.clock.NowMs();
    while (h.clock.NowMs() - start < 150000) {
      std::uint32_t wait = h.Cycle();
      EXPECT_LE(wait, EngineCore::kMaxWaitMs);
      for (auto& s : h.socket.Take()) {
        EXPECT_EQ(s.text, std::string(4, '\0'));
        EXPECT_EQ(s.to, (SocketAddress{0x7F000003, 3478}));
        at.push_back(h.clock.NowMs() - start);
      }
      h.clock.Advance(std::max<std::uint32_t>(wait, 1));
    }
    if (stun == "0") {
      EXPECT_TRUE(at.empty());
    } else {
      ASSERT_EQ(at.size(), 3u);
      EXPECT_GE(at[0], 48000u);
      EXPECT_LE(at[0], 49000u);
      EXPECT_GE(at[1] - at[0], 48000u);
      EXPECT_LE(at[1] - at[0], 49000u);
    }
  }
}

TEST(EngineKeepAlives, NoneWhenNotBehindNatAndTheWaitEndsAtThePublicAddressCheck) {
  EngineHarness h;
  h.core.SetStunServer([] { return std::string("127.0.0.3"); });
  h.PublicAddress("192.168.1.20", 5070, false);
  EXPECT_EQ(h.Cycle(), EngineCore::kMaxWaitMs);
  h.clock.Advance(60000);
  h.Cycle();
  EXPECT_TRUE(h.socket.sent.empty());
  h.clock.Advance(EngineCore::kPublicCheckMs - 65000);
  EXPECT_EQ(h.Cycle(), 5001u);  // due once more than kPublicCheckMs have passed
  EXPECT_FALSE(h.core.PublicCheckDue(h.clock.NowMs() + 5000));
}

}  // namespace
}  // namespace corvina::sip
