// What this file proves about the call terminator's core, on a fake clock:
// - an unanswered BYE goes out at 0, 0.5, 1.5, 3.5, 7.5 and 15.5 s, is given up at 25 s, and
//   the record (and the dialog in the engine's list) is gone after 300 s;
// - a pending INVITE is cancelled only after a provisional answer; the CANCEL is resent until
//   15 s and then replaced by a BYE;
// - a 200 after the CANCEL is acknowledged and followed by a BYE that names the far end's tag,
//   target and route;
// - 491 rebuilds the BYE; a challenge is answered with credentials once, a second non-stale
//   challenge gives the BYE up, a stale one is answered again;
// - requests for a dialog being ended get 200 (BYE, CANCEL), nothing (ACK) or 487.
#include <gtest/gtest.h>

#include "dialog_fakes.h"
#include "sip/call_terminator_core.h"
#include "sip/dialog_list.h"
#include "sip/request_composer.h"

namespace corvina::sip {
namespace {

using testing::DialogBench;
using testing::FarRequest;
using testing::FarResponse;
using testing::StartLine;

struct TerminatorBench : DialogBench {
  DialogList list{[](int) { return true; }};
  TerminatorCore core{list};
  std::uint32_t start = endpoint.now;
  TerminatorCycle last;

  // Runs cycles as the shell would until `offset` ms after the start, delivering scripted
  // messages when they are due.
  void RunUntil(std::uint32_t offset) {
    for (;;) {
      last = core.RunCycle(endpoint.now);
      std::uint32_t next = endpoint.now + static_cast<std::uint32_t>(last.waitMs);
      std::uint32_t end = start + offset;
      if (waiter.DeliverNextUntil(std::min(next, end))) continue;
      if (static_cast<std::int32_t>(next - end) > 0) {
        endpoint.now = end;
        last = core.RunCycle(endpoint.now);
        return;
      }
      endpoint.now = next;
    }
  }
  void HandOver(const DialogRef& d, std::optional<PendingInvite> pending = std::nullopt) {
    list.Add(d);
    core.Add(StartTermination(d, std::move(pending), endpoint.now));
  }
  // An established dialog handed over: its BYE goes out at once.
  DialogRef HandOverNew() {
    DialogRef d = NewDialog();
    HandOver(d);
    return d;
  }
  // Send offsets of the sent texts whose start line begins with `prefix`.
  std::vector<std::uint32_t> OffsetsOf(std::string_view prefix) const {
    std::vector<std::uint32_t> out;
    for (const auto& s : endpoint.sent) {
      if (StartLine(s.text).rfind(prefix, 0) == 0) out.push_back(s.at - start);
    }
    return out;
  }
  std::vector<std::string> Texts(std::string_view prefix) const {
    std::vector<std::string> out;
    for (const auto& s : endpoint.sent) {
      if (StartLine(s.text).rfind(prefix, 0) == 0) out.push_back(s.text);
    }
    return out;
  }
  // A dialog handed over with its INVITE still pending; `inviteCSeq` gets the INVITE's number.
  DialogRef HandOverPending(bool provisionalSeen, std::uint32_t& inviteCSeq) {
    DialogRef d = NewDialog(false, "<sip:200@198.51.100.9:5062>");
    PendingInvite p;
    p.provisionalSeen = provisionalSeen;
    SendInvite(endpoint, d->State(), p.invite, {});
    endpoint.sent.clear();
    inviteCSeq = p.invite.cseq;
    HandOver(d, std::move(p));
    return d;
  }
};

std::string CSeqOf(const std::string& text) {
  std::size_t at = text.find("CSeq: ");
  return text.substr(at + 6, text.find("\r\n", at) - at - 6);
}

TEST(Terminator, AnUnansweredByeFollowsItsScheduleAndTheRecordExpires) {
  TerminatorBench t;
  DialogRef d = t.HandOverNew();
  const std::string first = t.endpoint.sent.at(0).text;
  EXPECT_EQ(StartLine(first), "BYE sip:200@198.51.100.9:5062 SIP/2.0");
  EXPECT_EQ(first.find("Authorization"), std::string::npos);
  t.RunUntil(25000);
  EXPECT_FALSE(t.last.idle);
  t.RunUntil(25001);
  EXPECT_TRUE(t.last.idle);
  EXPECT_EQ(t.last.waitMs, 300001 - 25001);  // it wakes to drop the record, not an hour later
  EXPECT_EQ(t.OffsetsOf("BYE"), (std::vector<std::uint32_t>{0, 500, 1500, 3500, 7500, 15500}));
  for (const std::string& text : t.Texts("BYE")) EXPECT_EQ(text, first);
  EXPECT_EQ(t.last.events.size(), 1u);
  t.RunUntil(300000);
  EXPECT_EQ(t.core.Records().size(), 1u);
  t.RunUntil(300001);
  EXPECT_TRUE(t.core.Records().empty());
  EXPECT_EQ(t.list.Count(), 0u);
  EXPECT_EQ(t.OffsetsOf("BYE").size(), 6u);
}

TEST(Terminator, CancelsOnlyAfterAProvisionalAnswerAndFallsBackToBye) {
  TerminatorBench t;
  std::uint32_t inviteCSeq = 0;
  DialogRef d = t.HandOverPending(false, inviteCSeq);
  t.waiter.Script(t.start + 10000, *d, FarResponse(*d, 180, inviteCSeq, "INVITE"));
  t.RunUntil(9999);
  EXPECT_TRUE(t.endpoint.sent.empty());
  EXPECT_TRUE(t.last.idle);
  t.RunUntil(15000);
  EXPECT_EQ(t.OffsetsOf("CANCEL"), (std::vector<std::uint32_t>{10000, 10500, 11500, 13500}));
  EXPECT_EQ(CSeqOf(t.Texts("CANCEL").at(0)), std::to_string(inviteCSeq) + " CANCEL");
  EXPECT_TRUE(t.Texts("BYE").empty());
  t.RunUntil(15001);
  EXPECT_EQ(t.OffsetsOf("BYE"), (std::vector<std::uint32_t>{15001}));
  EXPECT_EQ(t.OffsetsOf("CANCEL").size(), 4u);
}

TEST(Terminator, A200AfterTheCancelIsAcknowledgedAndEndedWithAByeToTheFarDialog) {
  TerminatorBench t;
  std::uint32_t inviteCSeq = 0;
  DialogRef d = t.HandOverPending(true, inviteCSeq);
  EXPECT_EQ(t.OffsetsOf("CANCEL"), (std::vector<std::uint32_t>{0}));
  t.waiter.Script(t.start + 200, *d,
                  FarResponse(*d, 200, inviteCSeq, "INVITE",
                              "Contact: <sip:200@198.51.100.20:5080>\r\nRecord-Route: <sip:198.51.100.30;lr>\r\n"));
  t.RunUntil(300);
  ASSERT_EQ(t.Texts("ACK").size(), 1u);
  ASSERT_EQ(t.Texts("BYE").size(), 1u);
  const std::string bye = t.Texts("BYE")[0];
  EXPECT_EQ(StartLine(bye), "BYE sip:200@198.51.100.20:5080 SIP/2.0");
  EXPECT_NE(bye.find("To: <sip:200@198.51.100.9:5062>;tag=far\r\n"), std::string::npos);
  EXPECT_NE(bye.find("Route: <sip:198.51.100.30;lr>\r\n"), std::string::npos);
  EXPECT_EQ(t.endpoint.sent.back().to, (SocketAddress{0xC633641E, 5060}));  // the route's host
  EXPECT_EQ(t.endpoint.cached.size(), 1u);  // the ACK, for the 200's retransmissions
  EXPECT_EQ(t.OffsetsOf("CANCEL").size(), 1u);  // a final answer ends the CANCEL's resending
}

TEST(Terminator, A491RebuildsTheBye) {
  TerminatorBench t;
  DialogRef d = t.HandOverNew();
  const std::string first = t.endpoint.sent.at(0).text;
  const std::uint32_t cseq = d->State().localCSeq;
  t.waiter.Script(t.start + 100, *d, FarResponse(*d, 491, cseq, "BYE"));
  t.RunUntil(1000);
  auto byes = t.Texts("BYE");
  EXPECT_EQ(t.OffsetsOf("BYE"), (std::vector<std::uint32_t>{0, 600}));
  ASSERT_EQ(byes.size(), 2u);
  EXPECT_EQ(CSeqOf(byes[1]), std::to_string(cseq + 1) + " BYE");
  EXPECT_NE(byes[1].substr(byes[1].find("branch=")), first.substr(first.find("branch=")));
}

TEST(Terminator, AChallengeIsAnsweredOnceUnlessTheNonceWentStale) {
  struct Case {
    const char* name;
    const char* secondChallenge;
    std::size_t byesAfter;
    bool idleAfter;
  };
  const Case cases[] = {
      {"refused again", "Digest realm=\"pbx\",nonce=\"n2\"", 2, true},
      {"stale nonce", "Digest realm=\"pbx\",nonce=\"n2\",stale=true", 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TerminatorBench t;
    DialogRef d = t.HandOverNew();
    const std::uint32_t cseq = d->State().localCSeq;
    t.waiter.Script(t.start + 100, *d,
                    FarResponse(*d, 407, cseq, "BYE", "Proxy-Authenticate: Digest realm=\"pbx\",nonce=\"n1\"\r\n"));
    t.waiter.Script(t.start + 200, *d,
                    FarResponse(*d, 407, cseq + 1, "BYE",
                                std::string("Proxy-Authenticate: ") + c.secondChallenge + "\r\n"));
    t.RunUntil(250);
    auto byes = t.Texts("BYE");
    ASSERT_EQ(byes.size(), c.byesAfter);
    EXPECT_NE(byes[1].find("Proxy-Authorization: Digest username=\"100\",realm=\"pbx\",nonce=\"n1\""),
              std::string::npos);
    EXPECT_EQ(CSeqOf(byes[1]), std::to_string(cseq + 1) + " BYE");
    EXPECT_EQ(t.OffsetsOf("BYE")[1], 100u);
    EXPECT_EQ(t.last.idle, c.idleAfter);
  }
}

TEST(Terminator, AnswersWhatTheFarEndStillSends) {
  struct Case {
    const char* method;
    const char* answer;  // empty: none
    bool byeStillPending;
  };
  const Case cases[] = {
      {"BYE", "SIP/2.0 200 OK", false},
      {"CANCEL", "SIP/2.0 200 OK", true},
      {"ACK", "", true},
      {"INFO", "SIP/2.0 487 Request Terminated", true},
      {"INVITE", "SIP/2.0 487 Request Terminated", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    TerminatorBench t;
    DialogRef d = t.HandOverNew();
    t.endpoint.sent.clear();
    d->Put(testing::ParseOwned(FarRequest(*d, c.method)));
    t.RunUntil(0);
    std::vector<std::string> answers = t.Texts("SIP/2.0");
    ASSERT_EQ(answers.size(), *c.answer ? 1u : 0u);
    if (*c.answer) {
      EXPECT_EQ(StartLine(answers[0]), c.answer);
    }
    EXPECT_EQ(t.core.Records().front().byePending, c.byeStillPending);
  }
}

TEST(Terminator, WatchesAtMost63DialogsAndPollsAbove16) {
  TerminatorBench t;
  for (int i = 0; i < 16; ++i) t.HandOver(t.NewDialog(false));
  t.RunUntil(0);
  EXPECT_EQ(t.last.events.size(), 16u);
  EXPECT_FALSE(t.last.poll);
  for (int i = 0; i < 60; ++i) t.HandOver(t.NewDialog(false));
  t.RunUntil(0);
  EXPECT_EQ(t.last.events.size(), kMaxWatchedDialogs);
  EXPECT_TRUE(t.last.poll);
}

}  // namespace
}  // namespace corvina::sip
