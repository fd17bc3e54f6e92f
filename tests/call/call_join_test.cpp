// The attended transfer and the join on a fake clock: the hand-over between the lines (race,
// give-up, nobody taking), the REFER with Replaces, the join's SDP exchange and what is left over.
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
using testing::IncomingInvite;
using testing::Reply;
using Transfers = std::vector<std::pair<TransferKind, TransferOutcome>>;

constexpr std::string_view kOfferA = "v=0\r\nc=IN IP4 198.51.100.9\r\nm=audio 40100 RTP/AVP 0\r\n";
constexpr std::string_view kAnswerB = "v=0\r\nc=IN IP4 198.51.100.30\r\nm=audio 40300 RTP/AVP 0\r\n";

// The other line's established call to 300@198.51.100.30 (remote tag "b-far").
sip::DialogRef OtherCall(CallBench& b) {
  sip::DialogRef d = b.Outgoing();
  d->State().remoteParty = "<sip:300@198.51.100.30>;tag=b-far";
  d->State().remoteTarget = "sip:300@198.51.100.30:5060";
  d->State().established = true;
  return d;
}

struct Far {
  int status = 0;  // 0: no answer
  std::string_view sdp;
};

// An incoming call (party A) joined with the other line's call at 1000; the other line gives its
// dialog `giveAfter` ms after the request (-1: never). A and B answer our requests 100 ms later.
struct JoinBench {
  CallBench b;
  sip::DialogRef other = OtherCall(b);
  bool stopAtGive = false;  // the line is stopped in the step that gives the dialog
  JoinBench(Far a, Far bb, bool sameAccount = false, int referStatus = 0, int giveAfter = 0) {
    if (!sameAccount) b.peer->account.user = "101";
    b.Command(0, LineCommand::kAnswer);
    b.Message(100, [](sip::SharedDialog& d) { return FarRequest(d, "ACK", 1); });
    b.Command(1000, LineCommand::kJoinLine);
    b.peer->onRequest = [this, giveAfter] {
      if (giveAfter < 0) return;
      b.At(b.Elapsed() + giveAfter, [this](auto&) {
        sip::DialogRef given = other;
        b.peer->slot.Give(given);
        b.stop = stopAtGive;
      });
    };
    const std::string otherId = other->CallId();
    b.onSent = [this, a, bb, referStatus, otherId](const std::string& t) {
      const bool toB = t.find("Call-ID: " + otherId + "\r\n") != std::string::npos;
      const Far f = toB ? bb : a;
      if (t.rfind("INVITE ", 0) == 0 && f.status) {
        b.Message(b.Elapsed() + 100, [f, toB](auto& d) { return Reply(d, f.status, {}, toB ? "b-far" : "far", f.sdp); });
      } else if (t.rfind("REFER ", 0) == 0 && referStatus) {
        b.Message(b.Elapsed() + 100, [=](auto& d) { return Reply(d, referStatus, {}, "far", {}, "REFER"); });
        b.Message(b.Elapsed() + 200, [](auto& d) {
          return FarRequest(d, "NOTIFY", 5, {}, "SIP/2.0 200 OK\r\n", "message/sipfrag");
        });
      }
    };
  }
  JoinBench& Run() {
    b.RunIncoming(IncomingInvite());
    return *this;
  }
  // The bodies of the ACKs sent in B's dialog (or A's, after the ACK of our answer): "B" (B's
  // answer), "own" (the phone's answer), "" (none).
  std::string Acks(bool toB) {
    std::string out;
    for (const auto& [at, t] : b.Sent("ACK ")) {
      if ((t.find("Call-ID: " + other->CallId() + "\r\n") != std::string::npos) != toB) continue;
      const std::string body = t.substr(t.find("\r\n\r\n") + 4);
      out += body.find("40300") != body.npos ? "B " : body.find("8000") != body.npos ? "own " : body.empty() ? "- " : "? ";
    }
    return out;
  }
};

TEST(CallJoin, ReInvitesExchangeTheOffersAndBridgeOrEndEveryLeftoverDialog) {
  const auto failed = Transfers{{TransferKind::kAttended, TransferOutcome::kFailed}};
  const struct {
    Far a, b;
    Transfers outcome;
    const char *acksA, *acksB;
    std::size_t invitesToB, handed;
  } cases[] = {
      {{200, kOfferA}, {200, kAnswerB}, {{TransferKind::kAttended, TransferOutcome::kBridged}}, "B ", "- ", 1, 0},
      {{200, {}}, {200, kAnswerB}, failed, "- ", "", 0, 2},          // A offers nothing
      {{200, kOfferA}, {488, {}}, failed, "own ", "- ", 1, 2},       // B refuses (the runner ACKs it)
      {{200, kOfferA}, {200, {}}, failed, "own ", "- ", 1, 2},       // B answers nothing
      {{403, {}}, {200, kAnswerB}, failed, "- ", "", 0, 2},          // A refuses
      {{0, {}}, {200, kAnswerB}, failed, "", "", 0, 2},             // A never answers
  };
  for (const auto& c : cases) {
    JoinBench j(c.a, c.b);
    j.Run();
    const std::string tag = std::to_string(c.a.status) + "/" + std::to_string(c.b.status);
    EXPECT_EQ(j.b.transfers, c.outcome) << tag;
    EXPECT_EQ(j.Acks(false), c.acksA) << tag;
    EXPECT_EQ(j.Acks(true), c.acksB) << tag;
    std::size_t offersToB = 0;
    for (const auto& [at, t] : j.b.Sent("INVITE ")) {
      offersToB += t.find(j.other->CallId()) != t.npos && t.find("m=audio 40100") != t.npos;
    }
    EXPECT_EQ(offersToB, c.invitesToB) << tag;
    // Bridged: the line keeps neither dialog and owes no BYE; otherwise both go to the terminator.
    ASSERT_EQ(j.b.bridged.size(), c.handed ? 0u : 1u) << tag;
    if (!c.handed) {
      EXPECT_EQ(j.b.bridged[0].first->CallId(), "in-call-1");
      EXPECT_EQ(j.b.bridged[0].second, j.other);
    }
    EXPECT_EQ(j.b.handedOver.size(), c.handed) << tag;
    EXPECT_TRUE(j.b.Logged(texts::kDisconnected));
  }
}


TEST(CallAttended, SameAccountRefersWithReplacesAndARefusedReferJoins) {
  const struct {
    bool sameAccount;
    int referStatus;
    std::size_t refers;
    TransferOutcome outcome;
  } cases[] = {
      {true, 202, 1, TransferOutcome::kReferred},
      {true, 405, 1, TransferOutcome::kBridged},
      {false, 202, 0, TransferOutcome::kBridged},
  };
  for (const auto& c : cases) {
    JoinBench j({200, kOfferA}, {200, kAnswerB}, c.sameAccount, c.referStatus);
    j.Run();
    const auto refers = j.b.Sent("REFER ");
    ASSERT_EQ(refers.size(), c.refers);
    if (c.refers) {
      const std::string referTo = "\r\nRefer-To: " + AttendedReferTo(j.other->State()) + "\r\n";
      EXPECT_NE(refers[0].second.find(referTo), std::string::npos) << refers[0].second;
    }
    EXPECT_EQ(j.b.transfers, (Transfers{{TransferKind::kAttended, c.outcome}})) << c.referStatus;
    // Referred: the other dialog and this call both go to the terminator; bridged: neither.
    EXPECT_EQ(j.b.handedOver.size(), c.outcome == TransferOutcome::kReferred ? 2u : 0u);
    EXPECT_EQ(j.b.bridged.size(), c.outcome == TransferOutcome::kBridged ? 1u : 0u);
  }
}

TEST(CallHandOver, TheTakerWaitsTwentySecondsThenWithdrawsAndNoGivenDialogIsStranded) {
  const struct {
    bool idle;
    int giveAfter;  // after the request at 1000; -1: never given
    bool stopAtGive;
    std::size_t requests;
    std::uint32_t endAt;  // 0: joined
    std::size_t handed;   // dialogs to the terminator
    std::string_view logged;
  } cases[] = {
      {true, 0, false, 0, 1000, 1, texts::kJoinIdleLine},     // JoinLine toward an idle line
      {false, -1, false, 1, 21000, 1, texts::kJoinNoHandOver},  // the taker gives up
      {false, 20000, false, 1, 0, 0, texts::kDisconnected},    // given at the last moment: taken
      {false, 3000, true, 1, 4000, 2, texts::kDisconnected},   // given as the line stops: BYE
  };
  for (const auto& c : cases) {
    JoinBench j({200, kOfferA}, {200, kAnswerB}, false, 0, c.giveAfter);
    j.b.peer->idle = c.idle;
    j.stopAtGive = c.stopAtGive;
    j.Run();
    EXPECT_EQ(j.b.peer->requests, c.requests);
    EXPECT_TRUE(j.b.Logged(c.logged)) << c.giveAfter;
    EXPECT_EQ(j.b.bridged.size(), c.endAt ? 0u : 1u) << c.giveAfter;
    ASSERT_EQ(j.b.handedOver.size(), c.handed) << c.giveAfter;
    if (c.endAt) EXPECT_EQ(j.b.handedOver.back().at, c.endAt) << c.giveAfter;
    // Withdrawn: a dialog offered after the taker left stays with its line.
    sip::DialogRef late = j.b.Outgoing();
    EXPECT_FALSE(j.b.peer->slot.Give(late));
    EXPECT_TRUE(late);
  }
}

TEST(CallHandOver, TheGivingLineEndsWithoutByeOnlyWhenAsked) {
  for (const bool asked : {true, false}) {
    CallBench b;
    b.horizon = 3000;
    b.Command(0, LineCommand::kAnswer);
    b.Message(100, [](sip::SharedDialog& d) { return FarRequest(d, "ACK", 1); });
    b.At(1000, [&](auto&) {
      if (asked) b.peer->slot.Request();
      b.commands.Give(LineCommand::kHandOver);
    });
    b.RunIncoming(IncomingInvite());
    const sip::DialogRef given = b.peer->slot.TakeOrWithdraw();
    EXPECT_EQ(given != nullptr, asked);
    EXPECT_EQ(b.handedOver.size(), asked ? 0u : 1u);  // asked: no BYE from this line
    EXPECT_EQ(b.Elapsed(), asked ? 1000u : 3000u);
    EXPECT_TRUE(b.Logged(texts::kDisconnected));
    EXPECT_EQ(b.announced.back().state, CallState::kIdle);
  }
}

TEST(CallHandOver, GiveAndWithdrawRacingLeaveTheDialogWithExactlyOneSide) {
  CallBench b;
  for (int i = 0; i < 200; ++i) {
    HandOverSlot slot;
    slot.Request();
    sip::DialogRef dialog = b.Outgoing();
    bool given = false;
    std::thread giver([&] { given = slot.Give(dialog); });
    sip::DialogRef taken = slot.TakeOrWithdraw();
    giver.join();
    if (!taken) taken = slot.TakeOrWithdraw();  // given after the withdrawal? never
    EXPECT_EQ(taken != nullptr, given);
    EXPECT_EQ(dialog != nullptr, !given);
  }
}

TEST(AttendedReferTo, TheReplacesValueIsEscapedWholeAndReadsBackUncut) {
  sip::Dialog other;
  other.remoteParty = "<sip:300@198.51.100.30>;tag=7";
  other.localTag = "9";
  for (const std::string callId : {std::string("12@h"), std::string(300, 'c') + "@host.example"}) {
    other.callId = callId;
    const std::string referTo = AttendedReferTo(other);
    if (callId == "12@h") EXPECT_EQ(referTo, "<sip:300@198.51.100.30?Replaces=12%40h%3Bto-tag%3D7%3Bfrom-tag%3D9>");
    // The transferee's reading: the URI header, then the Replaces value, names the dialog.
    const sip::SipUri uri = sip::ParseUri(referTo.substr(1, referTo.size() - 2));
    const sip::ReplacesValue value = sip::ParseReplaces(uri.headers.Find("Replaces"));
    EXPECT_EQ(value.callId, callId);
    EXPECT_EQ(value.toTag, "7");
    EXPECT_EQ(value.fromTag, "9");
  }
}

}  // namespace
}  // namespace corvina::call
