#include "sip/request_composer.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_endpoint.h"
#include "sip/sip_parser.h"

namespace corvina::sip {
namespace {

using testing::FakeEndpoint;

constexpr std::uint32_t Ip(int a, int b, int c, int d) {
  return static_cast<std::uint32_t>(a) << 24 | static_cast<std::uint32_t>(b) << 16 |
         static_cast<std::uint32_t>(c) << 8 | static_cast<std::uint32_t>(d);
}

Dialog MakeDialog(std::string_view target) {
  Dialog d;
  d.callId = "c1@h";
  d.localTag = "77";
  d.localCSeq = 10;
  d.localUser = "100";
  d.localParty = "\"Me\" <sip:100@pbx.example>;tag=77";
  d.remoteParty = "<sip:200@pbx.example>";
  d.remoteTarget = std::string(target);
  return d;
}

SipMessage ParseSent(const std::string& text) {
  SipMessage m;
  EXPECT_TRUE(ParseMessage(text, m)) << text;
  return m;
}

// An endpoint and a dialog with a public far end, fresh for every test.
struct Composer : ::testing::Test {
  FakeEndpoint ep;
  Dialog d = MakeDialog("sip:200@198.51.100.9");
};
using Routing = Composer;
using Senders = Composer;

TEST(RequestHead, InviteIsWrittenByteForByte) {
  FakeEndpoint ep;
  Dialog d = MakeDialog("sip:200@198.51.100.9:5062");
  SipRequestOut inv;
  inv.authorization = "Digest x";
  inv.authorizationIsWww = false;
  std::string sdp = "v=0\r\ns=\xC3\xA9\r\n";  // 11 bytes, 10 characters
  ASSERT_TRUE(SendInvite(ep, d, inv, {.sdp = sdp, .replaces = "abc;to-tag=1;from-tag=2", .autoAnswer = true}));
  EXPECT_EQ(inv.text,
            "INVITE sip:200@198.51.100.9:5062 SIP/2.0\r\n"
            "Via: SIP/2.0/UDP 203.0.113.7:5090;rport;branch=z9hG4bK01234\r\n"
            "To: <sip:200@pbx.example>\r\n"
            "From: \"Me\" <sip:100@pbx.example>;tag=77\r\n"
            "Call-ID: c1@h\r\n"
            "CSeq: 11 INVITE\r\n"
            "Max-Forwards: 20\r\n"
            "User-Agent: Tessaly Corvina 4.01\r\n"
            "Contact: <sip:100@203.0.113.7:5090>\r\n"
            "Proxy-Authorization: Digest x\r\n"
            "Replaces: abc;to-tag=1;from-tag=2\r\n"
            "Allow: INVITE, ACK, CANCEL, OPTIONS, BYE, INFO, REFER, NOTIFY\r\n"
            "Supported: replaces\r\n"
            "Answer-Mode: Auto\r\n"
            "Content-Type: application/sdp\r\n"
            "Content-Length: 11\r\n"
            "\r\n" + sdp);
  EXPECT_EQ(d.localCSeq, 11u);
  EXPECT_EQ(inv.cseq, 11u);
  ASSERT_EQ(ep.sent.size(), 1u);
  EXPECT_EQ(ep.sent[0].to, (SocketAddress{Ip(198, 51, 100, 9), 5062}));
  // What we send parses back with the whole body.
  EXPECT_EQ(ParseSent(inv.text).FindBody("application/sdp"), sdp);
}

struct AddressCase {
  std::uint32_t peer;
  bool isPrivate;
};

TEST(RequestHead, PrivatePeersGetThePrivateAddress) {
  const AddressCase cases[] = {
      {Ip(10, 1, 2, 3), true},       {Ip(192, 168, 0, 1), true},  {Ip(172, 16, 0, 1), true},
      {Ip(172, 31, 255, 255), true}, {Ip(169, 254, 9, 9), true},  {Ip(127, 0, 0, 1), true},
      {Ip(172, 32, 0, 1), false},    {Ip(172, 15, 255, 255), false}, {Ip(127, 1, 0, 1), false},
      {Ip(8, 8, 8, 8), false},       {Ip(192, 169, 0, 1), false},
  };
  for (const AddressCase& c : cases) {
    FakeEndpoint ep;
    Dialog d = MakeDialog("sip:200@" + platform::FormatIpv4(c.peer));
    SipRequestOut req;
    ASSERT_TRUE(SendRefer(ep, d, "<sip:300@x>", req));
    SipMessage m = ParseSent(req.text);
    std::string expectAddress = c.isPrivate ? "192.168.1.20:5070" : "203.0.113.7:5090";
    EXPECT_NE(m.FindHeader(kVia).find("SIP/2.0/UDP " + expectAddress + ";"), std::string_view::npos)
        << platform::FormatIpv4(c.peer);
    EXPECT_EQ(m.FindHeader(kContact), "<sip:100@" + expectAddress + ">") << platform::FormatIpv4(c.peer);
  }
}

TEST_F(Routing, LooseRouteFromTheOutboundProxyIsNotWrittenButUsed) {
  ep.resolver.names["proxy.example"] = Ip(198, 51, 100, 1);
  d.routeSet = "<sip:proxy.example;lr>";
  d.routeFromOutboundProxy = true;
  SipRequestOut req;
  ASSERT_TRUE(SendBye(ep, d, req));
  SipMessage m = ParseSent(req.text);
  EXPECT_EQ(m.requestUri, "sip:200@198.51.100.9");
  EXPECT_EQ(m.FindHeader("Route", "none"), "none");
  EXPECT_EQ(req.destination, (SocketAddress{Ip(198, 51, 100, 1), 5060}));

  // The same route learned from Record-Route is written.
  d.routeFromOutboundProxy = false;
  ASSERT_TRUE(SendBye(ep, d, req));
  EXPECT_EQ(ParseSent(req.text).FindHeader("Route"), "<sip:proxy.example;lr>");
}

TEST_F(Routing, LooseRouteSetIsCarriedWhole) {
  d.routeSet = "<sip:10.0.0.1:5080;lr>,<sip:198.51.100.2;lr;ftag=x>";
  d.routeFromOutboundProxy = true;  // two entries: the flag does not hide them
  SipRequestOut req;
  ASSERT_TRUE(SendInfo(ep, d, req));
  SipMessage m = ParseSent(req.text);
  EXPECT_EQ(m.requestUri, "sip:200@198.51.100.9");
  EXPECT_EQ(m.FindHeader("Route"), d.routeSet);
  EXPECT_EQ(req.destination, (SocketAddress{Ip(10, 0, 0, 1), 5080}));
  // Judged by the next hop (private), not by the remote target (public).
  EXPECT_NE(m.FindHeader(kVia).find("192.168.1.20:5070"), std::string_view::npos);
}

TEST_F(Routing, StrictRouteTakesTheRequestUri) {
  d.routeSet = "<sip:198.51.100.3:5070>";
  SipRequestOut req;
  ASSERT_TRUE(SendOptions(ep, d, req));
  SipMessage m = ParseSent(req.text);
  EXPECT_EQ(m.requestUri, "sip:198.51.100.3:5070");
  EXPECT_EQ(m.FindHeader("Route"), "<sip:200@198.51.100.9>");
  EXPECT_EQ(m.FindHeader("Accept"), "application/sdp");
  EXPECT_EQ(req.destination, (SocketAddress{Ip(198, 51, 100, 3), 5070}));

  d.routeSet = "<sip:198.51.100.3>,<sip:p2;lr>,<sip:p3>";
  ASSERT_TRUE(SendOptions(ep, d, req));
  EXPECT_EQ(ParseSent(req.text).FindHeader("Route"), "<sip:p2;lr>,<sip:p3>,<sip:200@198.51.100.9>");
}

TEST_F(Routing, UnresolvedNextHopIsLoggedAndNotSent) {
  d = MakeDialog("sip:200@nowhere.invalid");
  SipRequestOut req;
  EXPECT_FALSE(SendBye(ep, d, req));
  EXPECT_TRUE(ep.sent.empty());
  ASSERT_EQ(ep.log.entries.size(), 1u);
  EXPECT_EQ(ep.log.entries[0].first, "Unable to find address of server: nowhere.invalid");
  EXPECT_EQ(ep.log.entries[0].second, platform::kLogError);
  EXPECT_FALSE(req.destination.Resolved());
}

TEST_F(Senders, CancelReusesTheInvitesTransaction) {
  SipRequestOut inv;
  inv.authorization = "Digest a";
  ASSERT_TRUE(SendInvite(ep, d, inv, {}));
  SipRequestOut cancel;
  ASSERT_TRUE(SendCancel(ep, d, inv, cancel));
  SipMessage m = ParseSent(cancel.text);
  EXPECT_EQ(m.method, "CANCEL");
  EXPECT_EQ(m.FindHeader(kCSeq), std::to_string(inv.cseq) + " CANCEL");
  EXPECT_EQ(cancel.branch, inv.branch);
  EXPECT_EQ(m.FindHeader("Authorization"), "Digest a");
  EXPECT_EQ(m.FindHeader(kContact, "none"), "none");
  EXPECT_EQ(d.localCSeq, inv.cseq);  // CANCEL takes no new number
  // An INVITE without an SDP has no body and says so.
  EXPECT_NE(inv.text.find("Supported: replaces\r\nContent-Length: 0\r\n\r\n"), std::string::npos);
}

TEST_F(Senders, AckBranchDependsOnTheFinalResponse) {
  SipRequestOut inv;
  ASSERT_TRUE(SendInvite(ep, d, inv, {}));
  SipMessage busy = ParseSent("SIP/2.0 486 Busy Here\r\nTo: <sip:200@pbx.example>;tag=far\r\nCall-ID: c1@h\r\n\r\n");
  SipRequestOut ack;
  ASSERT_TRUE(SendAck(ep, d, inv, busy, {}, ack));
  EXPECT_EQ(ack.branch, inv.branch);
  SipMessage m = ParseSent(ack.text);
  EXPECT_EQ(m.FindHeader(kTo), "<sip:200@pbx.example>;tag=far");
  EXPECT_EQ(m.FindHeader(kCSeq), std::to_string(inv.cseq) + " ACK");
  ASSERT_EQ(ep.cached.size(), 1u);
  EXPECT_EQ(ep.cached[0].answeredStatus, 486);
  EXPECT_EQ(ep.cached[0].text, ack.text);

  SipMessage ok = ParseSent("SIP/2.0 200 OK\r\nTo: <sip:200@pbx.example>;tag=far\r\n\r\n");
  ASSERT_TRUE(SendAck(ep, d, inv, ok, "v=0\r\n", ack));
  EXPECT_NE(ack.branch, inv.branch);
  EXPECT_EQ(ParseSent(ack.text).FindBody("application/sdp"), "v=0\r\n");
}

TEST_F(Senders, ByeWithoutCredentialsDropsThem) {
  SipRequestOut req;
  req.authorization = "Digest old";
  req.authorizationIsWww = true;
  ASSERT_TRUE(SendBye(ep, d, req));
  EXPECT_NE(req.text.find("\r\nAuthorization: Digest old\r\n"), std::string::npos);
  std::uint32_t first = req.cseq;
  std::string firstBranch = req.branch;
  ASSERT_TRUE(SendByeWithoutCredentials(ep, d, req));
  EXPECT_EQ(req.text.find("Authorization"), std::string::npos);
  EXPECT_FALSE(req.authorizationIsWww);
  EXPECT_EQ(req.cseq, first + 1);
  EXPECT_NE(req.branch, firstBranch);
}

TEST_F(Senders, ReferAndNotifyCarryTheirLines) {
  SipRequestOut refer;
  ASSERT_TRUE(SendRefer(ep, d, "<sip:300@pbx.example?Replaces=a%40b>", refer));
  SipMessage r = ParseSent(refer.text);
  EXPECT_EQ(r.FindHeader("Refer-To"), "<sip:300@pbx.example?Replaces=a%40b>");
  EXPECT_EQ(r.FindHeader("Referred-By"), "<sip:100@pbx.example>");

  SipRequestOut notify;
  ASSERT_TRUE(SendNotify(ep, d, 180, "Ringing", notify));
  SipMessage n = ParseSent(notify.text);
  EXPECT_EQ(n.FindHeader("Event"), "refer");
  EXPECT_EQ(n.FindHeader("Subscription-State"), "active;expires=60");
  EXPECT_EQ(n.FindHeader(kContentLength), "21");
  EXPECT_EQ(n.FindBody("message/sipfrag"), "SIP/2.0 180 Ringing\r\n");
  EXPECT_EQ(n.FindHeader(kContact, "none"), "none");
}

TEST(AnswerMode, CopiesBothHeadersWhenPresent) {
  SipMessage m = ParseSent("INVITE sip:a SIP/2.0\r\nanswer-mode: Manual;require\r\nPriv-Answer-Mode: Auto\r\n\r\n");
  std::string out;
  AppendAnswerModeHeaders(out, m);
  EXPECT_EQ(out, "Answer-Mode: Manual;require\r\nPriv-Answer-Mode: Auto\r\n");
  out.clear();
  AppendAnswerModeHeaders(out, ParseSent("INVITE sip:a SIP/2.0\r\nSubject: x\r\n\r\n"));
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace corvina::sip
