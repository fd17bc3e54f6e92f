// Transfers on the wire, against SIPp on loopback and timed from SIPp's trace:
// - `transfer blind`: the REFER names the target and us, is resent every 500 ms until the 202;
//   a NOTIFY with a 180 sipfrag keeps the call, the one with 200 brings the BYE at once;
// - SIPp transfers the phone with an escaped Replaces in Refer-To: 202, our INVITE to a second
//   SIPp carries it decoded, then NOTIFY 200 to the first and BYE to it; the call goes on with
//   the second;
// - the same with a target that refuses: NOTIFY 503 and the call stays with the first.
#include <gtest/gtest.h>

#include "tests/interop/call_interop_fixture.h"

namespace corvina::interop {
namespace {

using namespace corvina::testing;

class TransferInterop : public CallInterop {};

// SIPp, the called party, sends a NOTIFY (CSeq `cseq`) in its dialog with the phone, whose From
// it took from the REFER, carrying `status` as its sipfrag; it takes the 200.
std::string NotifyOfRefer(int cseq, const std::string& status) {
  return "<send retrans=\"500\"><![CDATA[\n\nNOTIFY sip:100@[remote_ip]:[remote_port] SIP/2.0\n"
         "Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]\n"
         "From: <sip:200@[local_ip]:[local_port]>;tag=[pid]SIPpTag01[call_number]\nTo: [$phone]\n"
         "Call-ID: [call_id]\nCSeq: " + std::to_string(cseq) + " NOTIFY\nMax-Forwards: 70\n"
         "Event: refer\nSubscription-State: active;expires=60\nContent-Type: message/sipfrag\n"
         "Content-Length: [len]\n\nSIP/2.0 " + status + "\n]]></send>\n<recv response=\"200\"/>\n";
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
      "<recv request=\"REFER\"><action><ereg regexp=\".*\" search_in=\"hdr\" header=\"From:\" assign_to=\"phone\"/>"
      "</action></recv>\n<pause milliseconds=\"1200\"/>\n" + UasReply("202 Accepted", false);
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

}  // namespace
}  // namespace corvina::interop
