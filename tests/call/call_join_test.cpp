// The attended transfer and the join on a fake clock: the hand-over between the lines (race,
// give-up, nobody taking), the REFER with Replaces, the join's SDP exchange and the leftovers.
#include <gtest/gtest.h>

#include <thread>

#include "call/call_texts.h"
#include "call_fakes.h"
#include "sip/replaces.h"
#include "sip/sip_uri.h"

namespace corvina::call {
namespace {

using testing::CallBench;
using testing::FarRequest;
using testing::Reply;

constexpr std::string_view kOfferA = "v=0\r\nc=IN IP4 198.51.100.9\r\nm=audio 40100 RTP/AVP 0\r\n";
constexpr std::string_view kAnswerB = "v=0\r\nc=IN IP4 198.51.100.30\r\nm=audio 40300 RTP/AVP 0\r\n";

using Far = std::pair<int, std::string_view>;  // the status of the answer to our re-INVITE (0: none), its SDP
struct Case {
  Far a{200, kOfferA}, b{200, kAnswerB};
  bool sameAccount = false;
  int referStatus = 0;  // 202 is followed by a NOTIFY of success
  int giveAfter = 0;    // the other line gives its dialog this long after the request; -1: never
  bool idle = false, stopAtGive = false;
};

// An incoming call (party A) joined at 1000 with the other line's established call (party B).
struct JoinRun {
  CallBench b;
  sip::DialogRef other = b.Outgoing();
  explicit JoinRun(const Case& c) {
    other->State().remoteParty = "<sip:300@198.51.100.30>;tag=b-far";
    other->State().established = true;
    b.peer->idle = c.idle;
    if (!c.sameAccount) b.peer->account.user = "101";
    b.Connect();
    b.Command(1000, LineCommand::kJoinLine);
    b.peer->onRequest = [this, c] {
      if (c.giveAfter >= 0) {
        b.At(b.Elapsed() + c.giveAfter, [this, c](auto&) {
          sip::DialogRef given = other;
          b.stop = b.peer->slot.Give(given) && c.stopAtGive;
        });
      }
    };
    b.onSent = [this, c, otherId = other->CallId()](const std::string& t) {
      const bool toB = t.find("Call-ID: " + otherId + "\r\n") != std::string::npos;
      const Far f = toB ? c.b : c.a;
      const char* tag = toB ? "b-far" : "far";
      if (t.rfind("INVITE ", 0) == 0 && f.first) {
        b.Message(b.Elapsed() + 100, [f, tag](auto& d) { return Reply(d, f.first, {}, tag, f.second); });
      } else if (t.rfind("REFER ", 0) == 0 && c.referStatus) {
        b.Message(b.Elapsed() + 100, [c](auto& d) { return Reply(d, c.referStatus, {}, "far", {}, "REFER"); });
        b.Message(b.Elapsed() + 200, [](auto& d) { return FarRequest(d, "NOTIFY", 5, {}, "SIP/2.0 200 OK\r\n",
                                                                     "message/sipfrag"); });
      }
    };
    b.RunIncoming(testing::IncomingInvite());
  }
  // The bodies of our ACKs in B's dialog or A's: "B" (B's answer), "own" (ours), "-" (none).
  std::string Acks(bool toB) {
    std::string out;
    for (const auto& [at, t] : b.Sent("ACK ")) {
      if ((t.find("Call-ID: " + other->CallId() + "\r\n") != std::string::npos) != toB) continue;
      const std::string body = t.substr(t.find("\r\n\r\n") + 4);
      out += body.find("40300") != body.npos ? "B " : body.find("8000") != body.npos ? "own " : "- ";
    }
    return out;
  }
};

TEST(CallJoin, AttendedTransferRefersOrJoinsAndEveryDialogEndsBridgedOrWithTheTerminator) {
  using O = TransferOutcome;
  const struct {
    Case c;
    O outcome;
    const char *acksA, *acksB;
    std::size_t handed;  // dialogs to the terminator
  } cases[] = {
      {{}, O::kBridged, "B ", "- ", 0},
      {{.a = {200, {}}}, O::kFailed, "- ", "", 2},        // A offers nothing
      {{.b = {488, {}}}, O::kFailed, "own ", "- ", 2},    // B refuses: A's offer gets our answer
      {{.b = {200, {}}}, O::kFailed, "own ", "- ", 2},    // B answers nothing
      {{.a = {403, {}}}, O::kFailed, "- ", "", 2},
      {{.a = {0, {}}}, O::kFailed, "", "", 2},
      {{.sameAccount = true, .referStatus = 202}, O::kReferred, "", "", 2},
      {{.sameAccount = true, .referStatus = 405}, O::kBridged, "B ", "- ", 0},
  };
  for (const auto& [c, outcome, acksA, acksB, handed] : cases) {
    JoinRun j(c);
    const int tag = c.a.first * 1000 + c.b.first + c.referStatus;
    EXPECT_EQ(j.b.transfers, (std::vector{std::pair{TransferKind::kAttended, outcome}})) << tag;
    EXPECT_EQ(j.Acks(false), acksA) << tag;
    EXPECT_EQ(j.Acks(true), acksB) << tag;
    for (const auto& [at, t] : j.b.Sent("INVITE sip:300")) EXPECT_NE(t.find("m=audio 40100"), t.npos) << tag;
    const auto refers = j.b.Sent("REFER ");
    ASSERT_EQ(refers.size(), c.sameAccount ? 1u : 0u) << tag;
    for (const auto& [at, t] : refers) EXPECT_NE(t.find("Refer-To: " + AttendedReferTo(j.other->State())), t.npos);
    // Bridged: the line keeps neither dialog and owes no BYE.
    ASSERT_EQ(j.b.bridged.size(), outcome == O::kBridged ? 1u : 0u) << tag;
    for (const auto& [first, second] : j.b.bridged) EXPECT_EQ(second, j.other);
    EXPECT_EQ(j.b.handedOver.size(), handed) << tag;
    EXPECT_EQ(j.b.Sent("BYE ").size(), 0u);
  }
}

TEST(CallHandOver, TheTakerWaitsTwentySecondsThenWithdrawsAndNoGivenDialogIsStranded) {
  const struct {
    Case c;
    int requests;
    std::uint32_t endAt;  // 0: taken and bridged
    std::size_t handed;
    std::string_view logged;
  } cases[] = {
      {{.idle = true}, 0, 1000, 1, texts::kJoinIdleLine},
      {{.giveAfter = -1}, 1, 21000, 1, texts::kJoinNoHandOver},
      {{.giveAfter = 20000}, 1, 0, 0, texts::kDisconnected},  // given at the last moment
      {{.giveAfter = 3000, .stopAtGive = true}, 1, 4000, 2, texts::kDisconnected},  // nobody takes it: BYE
  };
  for (const auto& [c, requests, endAt, handed, logged] : cases) {
    JoinRun j(c);
    EXPECT_EQ(j.b.peer->requests, requests);
    EXPECT_TRUE(j.b.Logged(logged)) << c.giveAfter;
    EXPECT_EQ(j.b.bridged.size(), endAt ? 0u : 1u) << c.giveAfter;
    ASSERT_EQ(j.b.handedOver.size(), handed) << c.giveAfter;
    EXPECT_EQ(endAt ? j.b.handedOver.back().at : 0u, endAt) << c.giveAfter;
    sip::DialogRef late = j.b.Outgoing();  // offered after the taker left: stays with its line
    EXPECT_FALSE(j.b.peer->slot.Give(late));
  }
}

TEST(CallHandOver, TheGivingLineEndsWithoutByeOnlyWhenAskedAndARacingWithdrawalLeavesItOneOwner) {
  for (const bool asked : {true, false}) {
    CallBench b;
    b.horizon = 3000;
    b.Connect();
    b.At(1000, [&](auto&) {
      if (asked) b.peer->slot.Request();
      b.commands.Give(LineCommand::kHandOver);
    });
    b.RunIncoming(testing::IncomingInvite());
    EXPECT_EQ(b.peer->slot.TakeOrWithdraw() != nullptr, asked);
    EXPECT_EQ(b.handedOver.size(), asked ? 0u : 1u);  // asked: no BYE from this line
    EXPECT_EQ(b.Elapsed(), asked ? 1000u : 3000u);
    EXPECT_TRUE(b.Logged(texts::kDisconnected));
  }
  CallBench b;
  for (int i = 0; i < 200; ++i) {  // the give racing the taker's last look: one owner, never none
    HandOverSlot slot;
    slot.Request();
    sip::DialogRef dialog = b.Outgoing();
    bool given = false;
    std::thread giver([&] { given = slot.Give(dialog); });
    const bool taken = slot.TakeOrWithdraw() != nullptr;
    giver.join();
    EXPECT_EQ(taken, given);
    EXPECT_EQ(dialog != nullptr, !given);
  }
}

TEST(AttendedReferTo, TheReplacesValueIsEscapedWholeAndReadsBackUncut) {
  sip::Dialog other;
  other.remoteParty = "<sip:300@198.51.100.30>;tag=7";
  other.localTag = "9";
  other.callId = "12@h";
  EXPECT_EQ(AttendedReferTo(other), "<sip:300@198.51.100.30?Replaces=12%40h%3Bto-tag%3D7%3Bfrom-tag%3D9>");
  for (const std::string& callId : {std::string("12@h"), std::string(300, 'c') + "@host.example"}) {
    other.callId = callId;
    const std::string referTo = AttendedReferTo(other);
    const sip::SipUri uri = sip::ParseUri(referTo.substr(1, referTo.size() - 2));  // as the transferee reads it
    const sip::ReplacesValue value = sip::ParseReplaces(uri.headers.Find("Replaces"));
    EXPECT_EQ(std::tie(value.callId, value.toTag, value.fromTag), std::make_tuple(callId, "7", "9"));
  }
}

}  // namespace
}  // namespace corvina::call
