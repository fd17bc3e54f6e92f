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
    b.RunIncoming(IncomingInvite());
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

}  // namespace
}  // namespace corvina::call
