#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fake_endpoint.h"
#include "sip/dialog.h"
#include "sip/id_generator.h"
#include "sip/request_composer.h"
#include "sip/response_composer.h"
#include "sip/route_set.h"
#include "sip/sip_parser.h"

namespace corvina::sip {
namespace {

using testing::FakeEndpoint;

SipMessage Parse(const std::string& text) {
  SipMessage m;
  EXPECT_TRUE(ParseMessage(text, m)) << text;
  return m;
}

const char kInvite[] =
    "INVITE sip:100@192.168.1.20:5070 SIP/2.0\r\n"
    "Via: SIP/2.0/UDP 198.51.100.1;branch=z9hG4bKp1\r\n"
    "v: SIP/2.0/UDP 10.9.9.9:5060;branch=z9hG4bKua;rport\r\n"
    "Record-Route: <sip:198.51.100.1;lr;ftag=9>\r\n"
    "Record-Route: <sip:10.0.0.1;lr>,<sip:10.0.0.2;lr>\r\n"
    "t: \"Me\" <sip:100@pbx.example>\r\n"
    "From: <sip:200@pbx.example>;tag=far\r\n"
    "i: inv-1@10.9.9.9\r\n"
    "CSeq: 7 INVITE\r\n"
    "Contact: <sip:200@10.9.9.9:5060;transport=udp>\r\n"
    "User-Agent: Gigaset N510 IP PRO\r\n"
    "Content-Length: 0\r\n\r\n";

TEST(Ids, FormatsAndSequences) {
  IdGenerator ids(1234, 1000, 5);
  EXPECT_EQ(ids.NewBranch(), "z9hG4bK01234");
  EXPECT_EQ(ids.NewBranch(), "z9hG4bK11234");
  EXPECT_EQ(ids.NewCallId("203.0.113.7"), "1000-1234-Windows%20Mobile%20Device@203.0.113.7");
  EXPECT_EQ(ids.NewCallId("203.0.113.7"), "1001-1234-Windows%20Mobile%20Device@203.0.113.7");
  EXPECT_EQ(ids.NewTag(), "5");
  EXPECT_EQ(ids.NewTag(), "6");
  EXPECT_EQ(ids.CallIdSuffix(), "-1234-Windows%20Mobile%20Device@");
}

TEST(Ids, SeedsComeFromTheClocks) {
  platform::FakeWallClock wall(86400 + 3661);  // 1970-01-02 01:01:01, taken as local time
  platform::FakeTickClock ticks(123456789);
  IdGenerator ids(7, wall, ticks);
  EXPECT_EQ(ids.NewCallId("a"), "90061-7-Windows%20Mobile%20Device@a");
  EXPECT_EQ(ids.NewTag(), "6789");
}

TEST(Ids, NoTwoThreadsGetTheSameValue) {
  IdGenerator ids(1, 0, 0);
  constexpr int kThreads = 4;
  constexpr int kEach = 500;
  std::vector<std::vector<std::string>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        got[t].push_back(ids.NewBranch());
        got[t].push_back(ids.NewTag());
        got[t].push_back(ids.NewCallId("h"));
      }
    });
  }
  for (auto& th : threads) th.join();
  std::set<std::string> all;
  for (auto& list : got) all.insert(list.begin(), list.end());
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kEach * 3));
}

TEST(Response, CopiesTheDialogHeadersAndAddsTheTag) {
  SipMessage invite = Parse(kInvite);
  invite.source = {0xC6336401, 5060};
  FakeEndpoint ep;
  SendResponse(ep, invite, 180, "Ringing", {.toTag = "77"});
  ASSERT_EQ(ep.sent.size(), 1u);
  EXPECT_EQ(ep.sent[0].text,
            "SIP/2.0 180 Ringing\r\n"
            "Via: SIP/2.0/UDP 198.51.100.1;branch=z9hG4bKp1\r\n"
            "Via: SIP/2.0/UDP 10.9.9.9:5060;branch=z9hG4bKua;rport\r\n"
            "Record-Route: <sip:198.51.100.1;lr;ftag=9>\r\n"
            "Record-Route: <sip:10.0.0.1;lr>,<sip:10.0.0.2;lr>\r\n"
            "To: \"Me\" <sip:100@pbx.example>;tag=77\r\n"
            "From: <sip:200@pbx.example>;tag=far\r\n"
            "Call-ID: inv-1@10.9.9.9\r\n"
            "CSeq: 7 INVITE\r\n"
            "User-Agent: Tessaly Corvina 4.01\r\n"
            "Content-Length: 0\r\n\r\n");
  EXPECT_EQ(ep.sent[0].to, invite.source);
  ASSERT_EQ(ep.cached.size(), 1u);
  EXPECT_EQ(ep.cached[0].answeredCallId, "inv-1@10.9.9.9");
  EXPECT_EQ(ep.cached[0].text, ep.sent[0].text);
}

TEST(Response, ExistingToTagIsKept) {
  SipMessage bye = Parse("BYE sip:100@h SIP/2.0\r\nVia: SIP/2.0/UDP a\r\nTo: <sip:100@h>;tag=mine\r\n"
                         "From: <sip:200@h>;tag=far\r\nCall-ID: x\r\nCSeq: 8 BYE\r\n\r\n");
  std::string text = ComposeResponse(bye, 200, "OK", {.toTag = "other"});
  EXPECT_NE(text.find("\r\nTo: <sip:100@h>;tag=mine\r\n"), std::string::npos);
  EXPECT_EQ(text.find("other"), std::string::npos);
}

TEST(Response, AllowListLacksInfoAndBodyLengthIsInBytes) {
  SipMessage options = Parse("OPTIONS sip:100@h SIP/2.0\r\nVia: SIP/2.0/UDP a\r\nTo: <sip:100@h>\r\n\r\n");
  std::string sdp(120, 'x');
  std::string text = ComposeResponse(options, 200, "OK",
                                     {.contact = "<sip:100@1.2.3.4:5070>", .bodyType = "application/sdp", .body = sdp,
                                      .allow = true});
  EXPECT_NE(text.find("Contact: <sip:100@1.2.3.4:5070>\r\n"
                      "Allow: INVITE, ACK, CANCEL, OPTIONS, BYE, REFER, NOTIFY\r\n"
                      "Accept: application/sdp\r\n"
                      "Supported: replaces\r\n"
                      "Content-Type: application/sdp\r\n"
                      "Content-Length: 120\r\n\r\n" + sdp),
            std::string::npos);
  EXPECT_EQ(text.find("INFO"), std::string::npos);

  std::string utf8 = "s=\xE2\x82\xAC\r\n";  // 7 bytes, 5 characters
  SipMessage back = Parse(ComposeResponse(options, 200, "OK", {.bodyType = "application/sdp", .body = utf8}));
  EXPECT_EQ(back.FindHeader(kContentLength), "7");
  EXPECT_EQ(back.FindBody("application/sdp"), utf8);
}

TEST(Response, LongHeaderValuesAreCopiedUnchanged) {
  std::string via = "SIP/2.0/UDP proxy.example;branch=z9hG4bK" + std::string(600, 'q');
  std::string rr = "<sip:proxy.example;lr;did=" + std::string(400, 'd') + ">";
  SipMessage req = Parse("INVITE sip:a SIP/2.0\r\nVia: " + via + "\r\nRecord-Route: " + rr + "\r\n\r\n");
  SipMessage back = Parse(ComposeResponse(req, 486, "Busy Here", {}));
  EXPECT_EQ(back.FindHeader(kVia), via);
  EXPECT_EQ(back.FindHeader(kRecordRoute), rr);
  EXPECT_EQ(back.reason, "Busy Here");
}

TEST(OwnContact, JudgedByTheRequestSource) {
  OwnAddresses own{"203.0.113.7", 5090, "192.168.1.20", 5070};
  EXPECT_EQ(OwnContact(own, "100", {0x0A000001, 5060}), "<sip:100@192.168.1.20:5070>");
  EXPECT_EQ(OwnContact(own, "100", {0xAC200001, 5060}), "<sip:100@203.0.113.7:5090>");  // 172.32.0.1
}

TEST(DialogSetup, OutgoingFillsAnEmptyHostAndAddsTheTag) {
  FakeEndpoint ep;
  Dialog d = NewOutgoingDialog(ep, {.from = "<sip:100@>", .to = "\"Bob\" <sip:200@pbx.example;user=phone>",
                                    .outboundProxy = "proxy.example:5080", .localUser = "100"});
  EXPECT_EQ(d.callId, "1000-1234-Windows%20Mobile%20Device@203.0.113.7");
  EXPECT_EQ(d.localTag, "5");
  EXPECT_EQ(d.localCSeq, 456u);
  EXPECT_EQ(d.localParty, "<sip:100@203.0.113.7:5090>;tag=5");
  EXPECT_EQ(d.remoteParty, "\"Bob\" <sip:200@pbx.example;user=phone>");
  EXPECT_EQ(d.remoteTarget, "sip:200@pbx.example;user=phone");
  EXPECT_EQ(d.routeSet, "<sip:proxy.example:5080;lr>");
  EXPECT_TRUE(d.routeFromOutboundProxy);

  Dialog plain = NewOutgoingDialog(ep, {.from = "\"Me\" <sip:100@pbx.example>", .to = "sip:200@pbx.example"});
  EXPECT_EQ(plain.localParty, "\"Me\" <sip:100@pbx.example>;tag=6");
  EXPECT_TRUE(plain.routeSet.empty());
  EXPECT_FALSE(plain.routeFromOutboundProxy);
}

TEST(DialogSetup, CopyGetsNewIdentifiersAndReplacesTheTag) {
  FakeEndpoint ep;
  Dialog old = NewOutgoingDialog(ep, {.from = "<sip:100@pbx.example>", .to = "<sip:200@pbx.example>",
                                      .outboundProxy = "p", .localUser = "100", .authorizationUser = "u",
                                      .password = "pw"});
  old.quirks = kQuirkCiscoGateway;
  old.localParty = "<sip:100@pbx.example>;tag=5;x=1";
  Dialog d = CopyDialog(ep, old);
  EXPECT_NE(d.callId, old.callId);
  EXPECT_EQ(d.localTag, "6");
  EXPECT_EQ(d.localParty, "<sip:100@pbx.example>;x=1;tag=6");
  EXPECT_EQ(d.remoteParty, old.remoteParty);
  EXPECT_EQ(d.routeSet, old.routeSet);
  EXPECT_TRUE(d.routeFromOutboundProxy);
  EXPECT_EQ(d.password, "pw");
  EXPECT_EQ(d.quirks, kQuirkCiscoGateway);
}

TEST(DialogSetup, IncomingTakesTheInvitesValues) {
  FakeEndpoint ep;
  Dialog d = NewIncomingDialog(ep, Parse(kInvite));
  EXPECT_EQ(d.callId, "inv-1@10.9.9.9");
  EXPECT_EQ(d.receivedInviteCSeq, "7 INVITE");
  EXPECT_EQ(d.receivedInviteVia, "SIP/2.0/UDP 198.51.100.1;branch=z9hG4bKp1");
  EXPECT_EQ(d.localParty, "\"Me\" <sip:100@pbx.example>;tag=5");
  EXPECT_EQ(d.remoteParty, "<sip:200@pbx.example>;tag=far");
  EXPECT_EQ(d.routeSet, "<sip:198.51.100.1;lr;ftag=9>,<sip:10.0.0.1;lr>,<sip:10.0.0.2;lr>");
  EXPECT_FALSE(d.routeFromOutboundProxy);
  EXPECT_EQ(d.remoteTarget, "sip:200@10.9.9.9:5060;transport=udp");
  EXPECT_EQ(d.quirks, kQuirkGigaset);

  // A To that already has a tag keeps it alone.
  std::string tagged = kInvite;
  tagged.replace(tagged.find("t: \"Me\" <sip:100@pbx.example>"), 30, "t: \"Me\" <sip:100@pbx.example>;tag=old");
  EXPECT_EQ(NewIncomingDialog(ep, Parse(tagged)).localParty, "\"Me\" <sip:100@pbx.example>;tag=old");
}

TEST(DialogSetup, SuccessReversesTheRouteSetAndTakesTheContact) {
  FakeEndpoint ep;
  Dialog d = NewOutgoingDialog(ep, {.from = "<sip:100@h>", .to = "<sip:200@h>", .outboundProxy = "p"});
  SipMessage ok = Parse("SIP/2.0 200 OK\r\nRecord-Route: <sip:a;lr>\r\nRecord-Route: <sip:b;lr>,<sip:c;lr>\r\n"
                        "m: <sip:200@198.51.100.4:5062>\r\nt: <sip:200@h>;tag=far\r\n\r\n");
  ApplyInviteSuccess(d, ok);
  EXPECT_EQ(d.routeSet, "<sip:c;lr>,<sip:b;lr>,<sip:a;lr>");
  EXPECT_FALSE(d.routeFromOutboundProxy);
  EXPECT_EQ(d.remoteTarget, "sip:200@198.51.100.4:5062");
  EXPECT_EQ(d.remoteParty, "<sip:200@h>;tag=far");
}

TEST(RouteSet, BoundingDropsWholeEntries) {
  std::string a = "<sip:" + std::string(120, 'a') + ";lr>";
  std::string b = "<sip:" + std::string(120, 'b') + ";lr>";
  std::string c = "<sip:c;lr>";
  std::string joined = JoinRouteEntries({a, b, c});
  EXPECT_EQ(joined, a + "," + b);  // 128 + 1 + 128 = 257 units; c would need 11 more
  EXPECT_EQ(JoinRouteEntries({std::string(300, 'x'), c}), "");
  auto split = SplitRouteEntries(" <sip:x;a=\",\">, \"N, M\" <sip:y> ,,<sip:z>");
  ASSERT_EQ(split.size(), 3u);
  EXPECT_EQ(split[0], "<sip:x;a=\",\">");
  EXPECT_EQ(split[1], "\"N, M\" <sip:y>");
  EXPECT_EQ(split[2], "<sip:z>");
}

}  // namespace
}  // namespace corvina::sip
