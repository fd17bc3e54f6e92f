// The phone's hold on the wire, against SIPp on loopback and timed from SIPp's trace:
// - `hold` offers "a=sendonly", `hold` again "a=sendrecv", each with the SDP version one higher;
//   each 200 is acknowledged and raises the hold event;
// - a hold re-INVITE nobody answers is resent every 500 ms and the call ends with BYE at 5 s;
// - a refused hold is acknowledged in the re-INVITE's transaction; after 491 a new re-INVITE
//   follows the back-off (50-299 ms on a call the phone placed, 550-799 ms on one it answered),
//   after 488 the BYE follows at once.
#include <gtest/gtest.h>

#include <regex>

#include "tests/interop/call_interop_fixture.h"

namespace corvina::interop {
namespace {

using namespace corvina::testing;

class HoldInterop : public CallInterop {};

// The phone's re-INVITEs SIPp received (its To carries a tag), resends included.
std::vector<SippMessage> ReInvites(const std::vector<SippMessage>& trace) {
  std::vector<SippMessage> out;
  for (const SippMessage& m : SippMessagesLike(trace, false, "INVITE ")) {
    if (!TagOf(m.Header("To")).empty()) out.push_back(m);
  }
  return out;
}

// The session version of the SDP body of `m` (its o= line), -1 without one.
long SdpVersion(const SippMessage& m) {
  std::smatch found;
  return std::regex_search(m.text, found, std::regex("\no=\\S+ \\S+ (\\d+) ")) ? std::stol(found[1]) : -1;
}

// The number of a CSeq header.
long CSeqNumber(const SippMessage& m) { return std::stol(m.Header("CSeq")); }

TEST_F(HoldInterop, HoldOffersSendonlyAndResumeSendrecvEachWithTheNextVersion) {
  Connect("hold", true, kReInviteAnswered + kReInviteAnswered + kSippTakesBye);
  EXPECT_EQ(phone_->Ask("hold"), "ok");
  ASSERT_TRUE(phone_->WaitForEvent({"\"event\":\"hold\"", "\"line\":1", "\"held\":true"}, 5000))
      << SippMessages("hold");
  const std::string held = phone_->Ask("state");
  EXPECT_NE(held.find("\"line\":1,\"state\":\"Connected\""), std::string::npos) << held;
  EXPECT_NE(held.find("\"holdApplied\":true"), std::string::npos) << held;
  EXPECT_NE(held.find("\"holdSource\":\"file\""), std::string::npos) << held;  // Hold.wav plays
  EXPECT_EQ(phone_->Ask("hold"), "ok");
  ASSERT_TRUE(phone_->WaitForEvent({"\"event\":\"hold\"", "\"line\":1", "\"held\":false"}, 5000))
      << SippMessages("hold");
  EXPECT_EQ(phone_->Ask("state").find("\"holdApplied\":true"), std::string::npos);
  EXPECT_EQ(phone_->Ask("hangup"), "ok {\"line\":1}");
  ASSERT_EQ(ExitOf(*sipp_, 10000), 0) << SippMessages("hold");

  const std::vector<SippMessage> trace = SippTrace("hold");
  const std::vector<SippMessage> invites = SippMessagesLike(trace, false, "INVITE ");
  const std::vector<SippMessage> reinvites = ReInvites(trace);
  const std::vector<SippMessage> acks = SippMessagesLike(trace, false, "ACK ");
  ASSERT_EQ(reinvites.size(), 2u) << SippMessages("hold");
  ASSERT_EQ(acks.size(), 3u);
  EXPECT_NE(reinvites[0].text.find("a=sendonly"), std::string::npos) << reinvites[0].text;
  EXPECT_NE(reinvites[1].text.find("a=sendrecv"), std::string::npos) << reinvites[1].text;
  EXPECT_EQ(SdpVersion(reinvites[0]), SdpVersion(invites.front()) + 1);
  EXPECT_EQ(SdpVersion(reinvites[1]), SdpVersion(reinvites[0]) + 1);
  for (int i = 0; i < 2; ++i) {
    EXPECT_GT(CSeqNumber(reinvites[i]), CSeqNumber(i == 0 ? invites.front() : reinvites[0]));
    EXPECT_EQ(acks[i + 1].Header("CSeq"), std::to_string(CSeqNumber(reinvites[i])) + " ACK");
  }
}

TEST_F(HoldInterop, UnansweredHoldIsResentEvery500MsAndTheCallEndsWithByeAt5s) {
  Connect("silent-hold", true, "<recv request=\"INVITE\"/>\n" + kSippTakesBye);
  EXPECT_EQ(phone_->Ask("hold"), "ok");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 8000));
  ASSERT_EQ(ExitOf(*sipp_, 5000), 0) << SippMessages("silent-hold");
  EXPECT_FALSE(phone_->WaitForEvent({"\"event\":\"hold\""}, 0)) << "the hold was never applied";

  const std::vector<SippMessage> trace = SippTrace("silent-hold");
  const std::vector<SippMessage> reinvites = ReInvites(trace);
  const std::vector<SippMessage> byes = SippMessagesLike(trace, false, "BYE ");
  ASSERT_GE(reinvites.size(), 9u) << SippMessages("silent-hold");
  ASSERT_EQ(byes.size(), 1u);
  for (double gap : GapsMs(reinvites)) EXPECT_NEAR(gap, 500.0, 100.0);
  EXPECT_NEAR(MsBetween(reinvites.front(), byes.front()), 5000.0, 250.0);
  EXPECT_LT(reinvites.back().at, byes.front().at);
  EXPECT_GT(CSeqNumber(byes.front()), CSeqNumber(reinvites.front()));
}

TEST_F(HoldInterop, RefusedHoldIsAcknowledgedThenRetriedAfterTheBackOffOrEnded) {
  const std::string retried = kReInviteAnswered + kReInviteAnswered;  // the hold once more, then the resume
  const struct {
    const char* name;
    bool phoneCalls;
    const char* refusal;
    std::string afterAck;  // SIPp's part once the refusal is acknowledged
    const char* next;      // what the phone sends next, and when
    double minMs;
    double maxMs;
  } cases[] = {{"491-placed", true, "491 Request Pending", retried + kSippTakesBye, "INVITE ", 50, 299},
               {"491-answered", false, "491 Request Pending", retried + kSippTakesBye, "INVITE ", 550, 799},
               {"488", true, "488 Not Acceptable Here", kSippTakesBye, "BYE ", 0, 200}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Connect(c.name, c.phoneCalls,
            "<recv request=\"INVITE\"/>\n" + UasReply(c.refusal, false) + "<recv request=\"ACK\"/>\n" + c.afterAck);
    EXPECT_EQ(phone_->Ask("hold"), "ok");
    const bool retries = std::string(c.next) == "INVITE ";
    if (retries) {
      EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"hold\"", "\"held\":true"}, 5000)) << SippMessages(c.name);
      EXPECT_EQ(phone_->Ask("hold"), "ok");  // resumes, so that the call is current again for the hang-up
      EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"hold\"", "\"held\":false"}, 5000)) << SippMessages(c.name);
      EXPECT_EQ(phone_->Ask("hangup"), "ok {\"line\":1}");
    }
    EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
    ASSERT_EQ(ExitOf(*sipp_, 5000), 0) << SippMessages(c.name);

    const std::vector<SippMessage> trace = SippTrace(c.name);
    const std::vector<SippMessage> reinvites = ReInvites(trace);
    const std::vector<SippMessage> refusals = SippMessagesLike(trace, true, std::string("SIP/2.0 ") + c.refusal);
    ASSERT_EQ(reinvites.size(), retries ? 3u : 1u) << SippMessages(c.name);
    ASSERT_EQ(refusals.size(), 1u);
    const SippMessage ack = SippMessagesLike(trace, false, "ACK ").at(c.phoneCalls ? 1 : 0);
    EXPECT_EQ(ack.Header("Via"), reinvites[0].Header("Via")) << "the refusal's ACK is in the re-INVITE's transaction";
    EXPECT_EQ(ack.Header("CSeq"), std::to_string(CSeqNumber(reinvites[0])) + " ACK");
    const SippMessage next = retries ? reinvites[1] : SippMessagesLike(trace, false, "BYE ").at(0);
    EXPECT_LT(ack.at, next.at);
    EXPECT_GE(MsBetween(refusals[0], next), c.minMs);
    EXPECT_LE(MsBetween(refusals[0], next), c.maxMs + 40) << "a little more for loopback and a busy machine";
    EXPECT_GT(CSeqNumber(next), CSeqNumber(reinvites[0]));
    if (retries) {
      EXPECT_NE(next.text.find("a=sendonly"), std::string::npos) << next.text;
    }
    phone_->ClearEvents();
  }
}

}  // namespace
}  // namespace corvina::interop
