// Transfers on the wire, against SIPp on loopback and timed from SIPp's trace:
// - `transfer blind`: the REFER names the target and us, is resent every 500 ms until the 202;
//   a NOTIFY with a 180 sipfrag keeps the call, the one with 200 brings the BYE at once;
// - SIPp transfers the phone with an escaped Replaces in Refer-To: 202, our INVITE to a second
//   SIPp carries it decoded, then NOTIFY 200 to the first and BYE to it; the call goes on with
//   the second;
// - the same with a target that refuses: NOTIFY 503 and the call stays with the first;
// - a REFER answered 405: the phone calls the target itself and joins the two parties (a
//   re-INVITE without SDP to the first, its offer to the second, the answer in the first's ACK);
//   the bridge then relays a re-INVITE with its SDP unchanged, backs off on a 491, answers REFER
//   with 405, relays OPTIONS and turns one party's BYE into a BYE to the other;
// - `transfer attended` between two calls of one account: the REFER to line 1's party names
//   line 2's dialog, escaped, in Refer-To.
#include <gtest/gtest.h>

#include <cctype>

#include "tests/interop/call_interop_fixture.h"

namespace corvina::interop {
namespace {

using namespace corvina::testing;

class TransferInterop : public CallInterop {};

// SIPp, the called party, sends a NOTIFY (CSeq `cseq`) in its dialog with the phone carrying
// `status` as its sipfrag; it takes the 200.
std::string NotifyOfRefer(int cseq, const std::string& status) {
  return CalleeRequest("NOTIFY", cseq, "Event: refer\nSubscription-State: active;expires=60\n", "message/sipfrag",
                       "SIP/2.0 " + status + "\n") +
         "<recv response=\"200\"/>\n";
}

// SIPp, the caller, refers the phone to `referTo` and takes the 202.
std::string ReferTo(const std::string& referTo) {
  return "<pause milliseconds=\"300\"/>\n<send retrans=\"500\"><![CDATA[\n\n"
         "REFER sip:100@[remote_ip]:[remote_port] SIP/2.0\n"
         "Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]\n[last_From:]\n[last_To:]\n"
         "Call-ID: [call_id]\nCSeq: 2 REFER\nContact: <sip:sipp@[local_ip]:[local_port]>\nMax-Forwards: 70\n"
         "Refer-To: " + referTo + "\nReferred-By: <sip:sipp@[local_ip]:[local_port]>\nContent-Length: 0\n\n"
         "]]></send>\n<recv response=\"202\"/>\n";
}

TEST_F(TransferInterop, BlindReferIsResentUntilAcceptedAndANotify200BringsTheBye) {
  const std::string takesRefer =
      RecvKeepingPhone("REFER") + "<pause milliseconds=\"1200\"/>\n" + UasReply("202 Accepted", false);
  Connect("blind", true,
          takesRefer + NotifyOfRefer(1, "180 Ringing") + "<pause milliseconds=\"1000\"/>\n" +
              NotifyOfRefer(2, "200 OK") + kSippTakesBye);
  EXPECT_EQ(phone_->Ask("transfer blind 300@127.0.0.1:5999"), "ok {\"line\":1}");
  EXPECT_TRUE(phone_->WaitForEvent(
      {"\"event\":\"transfer\"", "\"line\":1", "\"kind\":\"blind\"", "\"result\":\"referred\""}, 8000))
      << SippMessages("blind");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  ASSERT_EQ(ExitOf(*sipp_, 5000), 0) << SippMessages("blind");

  const std::vector<SippMessage> trace = SippTrace("blind");
  const std::vector<SippMessage> refers = SippMessagesLike(trace, false, "REFER ");
  const std::vector<SippMessage> accepted = SippMessagesLike(trace, true, "SIP/2.0 202");
  const std::vector<SippMessage> notifies = SippMessagesLike(trace, true, "NOTIFY ");
  const std::vector<SippMessage> byes = SippMessagesLike(trace, false, "BYE ");
  ASSERT_GE(refers.size(), 3u) << SippMessages("blind");
  ASSERT_TRUE(accepted.size() == 1 && notifies.size() == 2 && byes.size() == 1) << SippMessages("blind");
  EXPECT_EQ(refers[0].Header("Refer-To"), "<sip:300@127.0.0.1:5999>");
  EXPECT_TRUE(refers[0].Header("Referred-By").starts_with("<sip:100@127.0.0.1")) << refers[0].text;
  EXPECT_TRUE(refers[0].Header("Referred-By").ends_with(">")) << refers[0].text;
  EXPECT_FALSE(refers[0].Header("Contact").empty());
  for (const SippMessage& refer : refers) EXPECT_LT(refer.at, accepted[0].at) << "resent only until accepted";
  for (double gap : GapsMs(refers)) EXPECT_NEAR(gap, 500.0, 100.0);
  EXPECT_GT(MsBetween(notifies[0], byes[0]), 1000.0) << "a 180 keeps the call";
  EXPECT_GT(MsBetween(notifies[1], byes[0]), 0.0);
  EXPECT_LT(MsBetween(notifies[1], byes[0]), 250.0) << "a 200 ends it";
}

TEST_F(TransferInterop, TransfereeCallsTheTargetWithTheDecodedReplacesAndNotifiesTheOutcome) {
  const struct {
    const char* name;
    bool targetAnswers;
    const char* result;   // of the transfer event
    const char* sipfrag;  // the NOTIFY's body
  } cases[] = {{"replaced", true, "replaced", "SIP/2.0 200 OK"},
               {"refused", false, "failed", "SIP/2.0 503 Service Unavailable"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = std::string(c.name) + "-target";
    const std::uint16_t targetPort = FreeUdpPort();
    const std::string targetXml = c.targetAnswers ? AnsweringUas(false)
                                                  : "<recv request=\"INVITE\"/>\n" + UasReply("486 Busy Here", true) +
                                                        "<recv request=\"ACK\"/>\n</scenario>\n";
    std::unique_ptr<ChildProcess> second = StartSipp(target, std::string(kHead) + targetXml, true, targetPort);
    Connect(c.name, false,
            ReferTo("<sip:300@127.0.0.1:" + std::to_string(targetPort) +
                    "?Replaces=call-7%40127.0.0.1%3Bto-tag%3Dt1%3Bfrom-tag%3Df2>") +
                "<recv request=\"NOTIFY\"/>\n" + UasReply("200 OK", false) + kSippTakesBye);
    ASSERT_TRUE(phone_->WaitForEvent(
        {"\"event\":\"transfer\"", "\"line\":1", "\"kind\":\"transferee\"", std::string("\"result\":\"") + c.result},
        10000))
        << SippMessages(c.name) << SippMessages(target);
    // Replaced: the first party has the BYE and the call goes on with the second. Refused: it
    // goes on with the first.
    EXPECT_FALSE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 1000));
    EXPECT_EQ(ExitOf(*sipp_, c.targetAnswers ? 5000 : 0), c.targetAnswers ? 0 : -1) << SippMessages(c.name);
    EXPECT_EQ(phone_->Ask("hangup"), "ok {\"line\":1}");
    EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
    ASSERT_EQ(ExitOf(*sipp_, 5000), 0) << SippMessages(c.name);
    ASSERT_EQ(ExitOf(*second, 5000), 0) << SippMessages(target);

    const std::vector<SippMessage> invites = SippMessagesLike(SippTrace(target), false, "INVITE ");
    ASSERT_EQ(invites.size(), 1u) << SippMessages(target);
    EXPECT_TRUE(invites[0].firstLine.starts_with("INVITE sip:300@127.0.0.1:" + std::to_string(targetPort) + " "))
        << invites[0].firstLine;
    EXPECT_EQ(invites[0].Header("Replaces"), "call-7@127.0.0.1;to-tag=t1;from-tag=f2");
    const std::vector<SippMessage> trace = SippTrace(c.name);
    const std::vector<SippMessage> notifies = SippMessagesLike(trace, false, "NOTIFY ");
    ASSERT_EQ(SippMessagesLike(trace, false, "SIP/2.0 202 Accepted").size(), 1u) << SippMessages(c.name);
    ASSERT_EQ(notifies.size(), 1u) << SippMessages(c.name);
    EXPECT_EQ(notifies[0].Header("Event"), "refer");
    EXPECT_EQ(notifies[0].Header("Subscription-State"), "active;expires=60");
    EXPECT_EQ(notifies[0].Header("Content-Type"), "message/sipfrag");
    EXPECT_NE(notifies[0].text.find("\n" + std::string(c.sipfrag) + "\n"), std::string::npos) << notifies[0].text;
    EXPECT_LT(invites[0].at, notifies[0].at);
    EXPECT_LT(notifies[0].at, SippMessagesLike(trace, false, "BYE ").at(0).at);
    phone_->ClearEvents();
  }
}

// The first message of `trace` sent (or received) whose first line starts with `prefix` and
// whose CSeq names `method`; fails the test when there is none.
SippMessage First(const std::vector<SippMessage>& trace, bool sent, const std::string& prefix,
                  const std::string& method) {
  for (const SippMessage& m : trace) {
    if (m.Is(sent, prefix) && m.Header("CSeq").ends_with(" " + method)) return m;
  }
  ADD_FAILURE() << (sent ? "sent " : "received ") << prefix << " (" << method << ") missing";
  return {};
}

// Two SIPp traces are compared within this: SIPp stamps a message it sent after sending it,
// so its peer may stamp the same message received a fraction of a millisecond earlier.
constexpr double kSkewMs = 1.0;

TEST_F(TransferInterop, RefusedBlindTransferJoinsBothPartiesAndTheBridgeRelaysBetweenThem) {
  const std::uint16_t secondPort = FreeUdpPort();
  std::unique_ptr<ChildProcess> second = StartSipp(
      "second",
      std::string(kHead) + UasAnswers(false) + kReInviteAnswered + "<recv request=\"INVITE\"/>\n" +
          UasReply("491 Request Pending", false) + "<recv request=\"ACK\"/>\n" + kReInviteAnswered +
          "<recv request=\"OPTIONS\"/>\n" + UasReply("200 OK", false) + kSippTakesBye + "</scenario>\n",
      true, secondPort);
  const std::string contact = "Contact: <sip:200@[local_ip]:[local_port]>\n";
  Connect("first", true,
          RecvKeepingPhone("REFER") + UasReply("405 Method Not Allowed", false) + kReInviteAnswered +
              "<pause milliseconds=\"500\"/>\n" +
              CalleeRequest("INVITE", 1, contact, "application/sdp", std::string(kSippPcmuSdp) + "a=sendonly\n") +
              "<recv response=\"100\" optional=\"true\"/>\n<recv response=\"200\"/>\n" + CalleeRequest("ACK", 1) +
              CalleeRequest("REFER", 2, contact + "Refer-To: <sip:400@127.0.0.1>\n") + "<recv response=\"405\"/>\n" +
              CalleeRequest("OPTIONS", 3) + "<recv response=\"200\"/>\n" + CalleeRequest("BYE", 4) +
              "<recv response=\"200\"/>\n");
  ASSERT_EQ(phone_->Ask("transfer blind 300@127.0.0.1:" + std::to_string(secondPort)), "ok {\"line\":1}");
  ASSERT_TRUE(phone_->WaitForEvent(
      {"\"event\":\"transfer\"", "\"kind\":\"blind\"", "\"result\":\"bridged\""}, 10000))
      << SippMessages("first") << SippMessages("second");
  EXPECT_NE(phone_->Ask("status").find("\"bridges\":1"), std::string::npos);
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  ASSERT_EQ(ExitOf(*sipp_, 10000), 0) << SippMessages("first");
  ASSERT_EQ(ExitOf(*second, 5000), 0) << SippMessages("second");
  EXPECT_TRUE(PollUntil([&] { return phone_->Ask("status").find("\"bridges\":0") != std::string::npos; }, 3000));

  const std::vector<SippMessage> a = SippTrace("first");
  const std::vector<SippMessage> b = SippTrace("second");
  // The join: the first party's offer goes to the second, whose answer comes back in the ACK.
  const std::vector<SippMessage> toA = SippMessagesLike(a, false, "INVITE ");
  const std::vector<SippMessage> toB = SippMessagesLike(b, false, "INVITE ");
  ASSERT_TRUE(toA.size() == 2 && toB.size() == 4) << SippMessages("first") << SippMessages("second");
  EXPECT_GT(MsBetween(First(a, true, "SIP/2.0 405", "REFER"), toB[0]), -kSkewMs);
  EXPECT_EQ(toA[1].Body(), "") << "the join asks the first party for an offer";
  const SippMessage offer = SippMessagesLike(a, true, "SIP/2.0 200").at(1);
  EXPECT_EQ(toB[1].Body(), offer.Body());
  const SippMessage answer = SippMessagesLike(b, true, "SIP/2.0 200").at(1);
  EXPECT_EQ(SippMessagesLike(a, false, "ACK ").at(1).Body(), answer.Body());
  EXPECT_NE(offer.Body(), answer.Body());
  // The bridge: the re-INVITE with its SDP as sent, again after the 491's back-off, the answer back.
  const SippMessage reInvite = First(a, true, "INVITE ", "INVITE");
  EXPECT_EQ(toB[2].Body(), reInvite.Body());
  EXPECT_EQ(toB[3].Body(), reInvite.Body());
  EXPECT_NE(toB[2].Body().find("a=sendonly"), std::string::npos);
  EXPECT_LT(MsBetween(reInvite, toB[2]), 250.0);
  const double backOff = MsBetween(First(b, true, "SIP/2.0 491", "INVITE"), toB[3]);
  EXPECT_TRUE(backOff >= 40.0 && backOff < 450.0) << backOff;
  EXPECT_EQ(First(a, false, "SIP/2.0 200", "INVITE").Body(), SippMessagesLike(b, true, "SIP/2.0 200").at(2).Body());
  EXPECT_EQ(SippMessagesLike(b, false, "ACK ").size(), 4u) << "each final response acknowledged";
  // REFER refused in the bridge, OPTIONS relayed, BYE passed on.
  EXPECT_TRUE(SippMessagesLike(b, false, "REFER ").empty());
  const SippMessage options = First(b, false, "OPTIONS ", "OPTIONS");
  EXPECT_GT(MsBetween(First(a, true, "OPTIONS ", "OPTIONS"), options), -kSkewMs);
  EXPECT_GT(MsBetween(options, First(a, false, "SIP/2.0 200", "OPTIONS")), -kSkewMs);
  const double byeRelayed = MsBetween(First(a, true, "BYE ", "BYE"), First(b, false, "BYE ", "BYE"));
  EXPECT_TRUE(byeRelayed > -kSkewMs && byeRelayed < 250.0) << byeRelayed;
}

// RFC 3261's escaping of a URI header value: everything but unreserved characters.
std::string Escaped(const std::string& value) {
  std::string out;
  for (unsigned char c : value) {
    if (std::isalnum(c) || std::string_view("-_.!~*'()").find(static_cast<char>(c)) != std::string_view::npos) {
      out += static_cast<char>(c);
    } else {
      out += {'%', "0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
    }
  }
  return out;
}

TEST_F(TransferInterop, AttendedReferNamesTheOtherLinesDialogEscaped) {
  const std::uint16_t secondPort = FreeUdpPort();
  std::unique_ptr<ChildProcess> second =
      StartSipp("second", std::string(kHead) + UasAnswers(false) + kReInviteAnswered + kSippTakesBye + "</scenario>\n",
                true, secondPort);
  // Line 1's call is held while line 2 calls, and taken back before the transfer.
  Connect("first", true,
          kReInviteAnswered + kReInviteAnswered + RecvKeepingPhone("REFER") + UasReply("202 Accepted", false) +
              NotifyOfRefer(1, "200 OK") + kSippTakesBye);
  ASSERT_EQ(phone_->Ask("dial 300@127.0.0.1:" + std::to_string(secondPort)), "ok {\"line\":2}");
  ASSERT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"line\":2", "\"state\":\"Connected\""}, 10000))
      << SippMessages("second");
  EXPECT_EQ(phone_->Ask("line 1"), "ok");
  ASSERT_TRUE(phone_->WaitForEvent({"\"event\":\"hold\"", "\"line\":1", "\"held\":false"}, 5000));
  ASSERT_EQ(phone_->Ask("transfer attended"), "ok {\"line\":1}");
  EXPECT_TRUE(phone_->WaitForEvent(
      {"\"event\":\"transfer\"", "\"kind\":\"attended\"", "\"result\":\"referred\""}, 8000))
      << SippMessages("first");
  ASSERT_EQ(ExitOf(*sipp_, 5000), 0) << SippMessages("first");
  ASSERT_EQ(ExitOf(*second, 5000), 0) << SippMessages("second");

  const SippMessage invite = SippMessagesLike(SippTrace("second"), false, "INVITE ").at(0);
  const std::string replaces = Escaped(invite.Header("Call-ID") + ";to-tag=" +
                                       TagOf(SippMessagesLike(SippTrace("second"), true, "SIP/2.0 200").at(0).Header("To")) +
                                       ";from-tag=" + TagOf(invite.Header("From")));
  EXPECT_NE(replaces.find("%3Bto-tag%3D"), std::string::npos);
  EXPECT_EQ(First(SippTrace("first"), false, "REFER ", "REFER").Header("Refer-To"),
            "<sip:300@127.0.0.1:" + std::to_string(secondPort) + "?Replaces=" + replaces + ">");
}

}  // namespace
}  // namespace corvina::interop
