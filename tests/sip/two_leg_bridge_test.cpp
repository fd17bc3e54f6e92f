// The two-leg bridge on a fake clock: re-INVITE relay and its ACKs, the Replaces swap and its
// guard, the 491 back-off and its bound, the OPTIONS table, the in-dialog answers, the liveness
// probe; then the bridge list on real threads, whose bridges end with BYE to the parties.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "dialog_fakes.h"
#include "platform/clock.h"
#include "sip/bridge_list.h"
#include "sip/call_terminator.h"
#include "sip/two_leg_bridge_core.h"

namespace corvina::sip {
namespace {

using testing::DialogBench;
using testing::FarRequest;
using testing::FarResponse;
using testing::ParseOwned;
using testing::StartLine;

constexpr std::string_view kHold = "v=0\r\nc=IN IP4 198.51.100.9\r\nm=audio 4000 RTP/AVP 0\r\na=sendonly\r\n";
constexpr std::string_view kAnswer = "v=0\r\nc=IN IP4 198.51.100.10\r\nm=audio 5000 RTP/AVP 0\r\na=recvonly\r\n";

// `text` (ending in an empty Content-Length) with `headers` added and an SDP body.
std::string With(std::string text, std::string_view headers, std::string_view sdp = {}) {
  std::string tail = std::string(headers);
  if (!sdp.empty()) tail += "Content-Type: application/sdp\r\n";
  tail += "Content-Length: " + std::to_string(sdp.size()) + "\r\n\r\n" + std::string(sdp);
  return text.replace(text.find("Content-Length: 0"), std::string::npos, tail);
}

std::uint32_t CSeqOf(const std::string& text) { return std::stoul(text.substr(text.find("CSeq: ") + 6)); }
// True when `text` starts with `prefix` and belongs to `d`.
bool Is(const std::string& text, std::string_view prefix, const SharedDialog& d) {
  return StartLine(text).rfind(prefix, 0) == 0 && text.find("Call-ID: " + d.CallId() + "\r\n") != text.npos;
}

struct BridgeBench : DialogBench {
  DialogList list{[](int) { return true; }};
  DialogRef a = NewDialog();
  DialogRef b = NewDialog();
  TwoLegBridgeCore core{list, a, b, endpoint.now};
  BridgeStep last;

  // Steps as the shell would for `ms`, waking at each deadline.
  void Run(std::uint32_t ms) {
    const std::uint32_t end = endpoint.now + ms;
    for (;;) {
      last = core.Step(endpoint.now);
      const std::uint32_t next = endpoint.now + static_cast<std::uint32_t>(last.waitMs);
      if (last.ended || static_cast<std::int32_t>(next - end) > 0) break;
      endpoint.now = next;
    }
    if (!last.ended) endpoint.now = end;
  }
  void Put(const DialogRef& d, const std::string& text) { d->Put(ParseOwned(text)); }
  // Texts sent inside `d` whose start line begins with `prefix`, and when they went.
  std::vector<const testing::FakeEndpoint::Sent*> To(const DialogRef& d, std::string_view prefix) const {
    std::vector<const testing::FakeEndpoint::Sent*> out;
    for (const auto& s : endpoint.sent) if (Is(s.text, prefix, *d)) out.push_back(&s);
    return out;
  }
  // B answers the last INVITE it was sent.
  void BAnswers(int status, std::string_view sdp = {}) {
    const auto invites = To(b, "INVITE");
    if (invites.empty()) return ADD_FAILURE() << "B was sent no INVITE";
    Put(b, With(FarResponse(*b, status, CSeqOf(invites.back()->text), "INVITE"), "", sdp));
  }
};

TEST(TwoLegBridge, RelaysReInviteAndAcks) {
  BridgeBench t;
  t.Put(t.a, With(FarRequest(*t.a, "INVITE", 20), "Contact: <sip:200@198.51.100.77:5062>\r\n", kHold));
  t.Run(10);
  ASSERT_EQ(t.To(t.b, "INVITE").size(), 1u);
  EXPECT_NE(t.To(t.b, "INVITE")[0]->text.find(kHold), std::string::npos);
  t.Run(600);  // no provisional: sent again after 500 ms
  EXPECT_EQ(t.To(t.b, "INVITE").size(), 2u);
  t.BAnswers(200, kAnswer);
  t.Run(10);
  ASSERT_EQ(t.To(t.a, "SIP/2.0 200").size(), 1u);
  EXPECT_NE(t.To(t.a, "SIP/2.0 200")[0]->text.find(kAnswer), std::string::npos);
  EXPECT_TRUE(t.To(t.b, "ACK").empty()) << "B is acknowledged only once A acknowledges";
  t.Run(400);  // our 200 is resent every 350 ms until A's ACK
  EXPECT_EQ(t.To(t.a, "SIP/2.0 200").size(), 2u);
  t.Put(t.a, FarRequest(*t.a, "ACK", 20));
  t.Run(10);
  EXPECT_EQ(t.To(t.b, "ACK").size(), 1u);
  EXPECT_EQ(t.a->State().remoteTarget, "sip:200@198.51.100.77:5062");
  EXPECT_FALSE(t.last.ended);
}

TEST(TwoLegBridge, ReplacesSwapsOnlyTheLegItNames) {
  for (bool exact : {true, false}) {
    SCOPED_TRACE(exact);
    BridgeBench t;
    const std::string replaces = t.a->CallId() + ";to-tag=" + (exact ? t.a->LocalTag() : "nope") + ";from-tag=far";
    std::string invite = "INVITE sip:100@192.168.1.20:5070 SIP/2.0\r\n"
                         "Via: SIP/2.0/UDP 198.51.100.30;branch=z9hG4bKr\r\n"
                         "From: <sip:300@198.51.100.30>;tag=t3\r\nTo: <sip:100@pbx.example>\r\nCall-ID: new-call\r\n"
                         "CSeq: 1 INVITE\r\nContact: <sip:300@198.51.100.30>\r\nContent-Length: 0\r\n\r\n";
    t.Put(t.a, With(invite, "Replaces: " + replaces + "\r\n", kHold));
    t.Run(10);
    EXPECT_EQ(t.To(t.b, "INVITE").empty(), !exact);
    if (!exact) {
      EXPECT_EQ(StartLine(t.endpoint.sent.back().text), "SIP/2.0 481 Call/Transaction Does Not Exist");
      continue;
    }
    t.BAnswers(200, kAnswer);
    t.Run(10);
    ASSERT_NE(t.core.Leg(0), t.a);
    EXPECT_EQ(t.core.Leg(0)->CallId(), "new-call");
    EXPECT_EQ(t.core.Leg(0)->State().remoteTarget, "sip:300@198.51.100.30");
    EXPECT_EQ(t.list.Count(), 1u);  // the new leg receives messages
    EXPECT_EQ(t.core.TakeReplaced(), std::vector<DialogRef>{t.a});
    ASSERT_EQ(t.To(t.core.Leg(0), "SIP/2.0 200").size(), 1u);
    EXPECT_NE(t.To(t.core.Leg(0), "SIP/2.0 200")[0]->text.find(kAnswer), std::string::npos);
  }
}

TEST(TwoLegBridge, GlareBacksOffAtMostFiveTimes) {
  struct Case { bool bCameIn; int glares; bool relayed; };
  for (const Case c : {Case{false, 2, true}, Case{true, 1, true}, Case{false, 6, false}}) {
    SCOPED_TRACE(c.glares);
    BridgeBench t;
    if (c.bCameIn) t.b->State().receivedInviteCSeq = "1 INVITE";
    t.Put(t.a, With(FarRequest(*t.a, "INVITE", 20), "", kHold));
    t.Run(10);
    for (int i = 0; i < c.glares; ++i) {
      t.BAnswers(491);
      t.Run(5);
      const std::uint32_t answeredAt = t.endpoint.now - 5;
      // A request from B during the back-off is answered; the back-off goes on.
      t.Put(t.b, FarRequest(*t.b, "INFO", 30 + i));
      t.Run(c.bCameIn ? 800 : 300);  // past the longest back-off, before a resend
      const auto invites = t.To(t.b, "INVITE");
      if (i == kRelayBackOffs) break;
      ASSERT_EQ(invites.size(), static_cast<std::size_t>(i + 2));
      const std::uint32_t base = c.bCameIn ? 540 : 40;
      EXPECT_EQ(invites.back()->at - answeredAt, base + answeredAt % 250);
    }
    EXPECT_EQ(t.To(t.b, "ACK").size(), static_cast<std::size_t>(c.glares));
    EXPECT_EQ(t.To(t.b, "SIP/2.0 200").size(), static_cast<std::size_t>(std::min(c.glares, kRelayBackOffs)));
    if (c.relayed) {
      t.BAnswers(200, kAnswer);
      t.Run(10);
      EXPECT_EQ(t.To(t.a, "SIP/2.0 200").size(), 1u);
    } else {
      EXPECT_EQ(t.To(t.a, "SIP/2.0 408").size(), 1u);
      EXPECT_TRUE(t.last.ended);
    }
  }
}

TEST(TwoLegBridge, OptionsAnsweredWithTheOtherLegsResult) {
  struct Case { std::string_view b; std::string_view expected; bool sdp; };  // b: "BYE", "none" or a status
  for (const Case c : {Case{"200", "SIP/2.0 200 OK", true}, Case{"486", "SIP/2.0 486 Whatever", false},
                       Case{"none", "SIP/2.0 408 Request Timeout", false},
                       Case{"BYE", "SIP/2.0 487 Request Terminated", false}}) {
    SCOPED_TRACE(c.b);
    BridgeBench t;
    t.Put(t.a, FarRequest(*t.a, "OPTIONS", 21));
    t.Run(10);
    ASSERT_EQ(t.To(t.b, "OPTIONS").size(), 1u);
    if (c.b == "BYE") {
      t.Put(t.b, FarRequest(*t.b, "BYE", 40));
    } else if (c.b != "none") {
      const std::uint32_t cseq = CSeqOf(t.To(t.b, "OPTIONS")[0]->text);
      t.Put(t.b, With(FarResponse(*t.b, std::stoi(std::string(c.b)), cseq, "OPTIONS"), "", c.sdp ? kAnswer : ""));
    }
    t.Run(3100);
    const auto answers = t.To(t.a, "SIP/2.0");
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(StartLine(answers[0]->text), c.expected);
    EXPECT_EQ(answers[0]->text.find(kAnswer) != std::string::npos, c.sdp);
    EXPECT_EQ(t.last.ended, c.b == "BYE");
  }
}

TEST(TwoLegBridge, InDialogAnswersAndEnds) {
  struct Case { std::string_view method; std::string_view expected; bool ends; };
  for (const Case c : {Case{"REFER", "SIP/2.0 405 Method Not Allowed", false}, Case{"INFO", "SIP/2.0 200 OK", false},
                       Case{"BYE", "SIP/2.0 200 OK", true}}) {
    SCOPED_TRACE(c.method);
    BridgeBench t;
    t.Put(t.b, FarRequest(*t.b, c.method, 22));
    t.Run(10);
    ASSERT_EQ(t.To(t.b, "SIP/2.0").size(), 1u);
    EXPECT_EQ(StartLine(t.To(t.b, "SIP/2.0")[0]->text), c.expected);
    EXPECT_EQ(t.last.ended, c.ends);
    const std::vector<DialogRef> legs = t.core.Finish(t.endpoint.now);
    EXPECT_EQ(legs, (std::vector<DialogRef>{t.a, t.b}));
    EXPECT_TRUE(t.a->State().established);
    EXPECT_EQ(t.b->State().established, !c.ends);
  }
}

TEST(TwoLegBridge, StopDuringRelayAnswers408) {
  BridgeBench t;
  t.Put(t.a, With(FarRequest(*t.a, "INVITE", 20), "", kHold));
  t.Run(10);
  EXPECT_EQ(t.core.Finish(t.endpoint.now).size(), 2u);
  EXPECT_EQ(t.To(t.a, "SIP/2.0 408").size(), 1u);
}

TEST(TwoLegBridge, LivenessProbe) {
  struct Case { std::string_view name; int answerAt; int status; bool quirk; bool ended; };  // answerAt -1: never
  for (const Case c : {Case{"alive", 1000, 200, false, false}, Case{"gone", 3200, 481, false, true},
                       Case{"silent", -1, 0, false, true}, Case{"quirk", -1, 0, true, false}}) {
    SCOPED_TRACE(c.name);
    BridgeBench t;
    if (c.quirk) t.a->State().quirks = t.b->State().quirks = kQuirkGigaset;
    t.Run(kBridgeQuietMs - 1);
    EXPECT_TRUE(t.To(t.a, "INFO").empty());
    t.Run(1);
    const std::uint32_t probe = t.endpoint.now;
    if (c.answerAt >= 0) {
      t.Run(static_cast<std::uint32_t>(c.answerAt));
      const auto& last = t.endpoint.sent.back().text;
      const std::string method = StartLine(last).substr(0, StartLine(last).find(' '));
      t.Put(t.a, FarResponse(*t.a, c.status, CSeqOf(last), method));
    }
    t.Run(c.answerAt >= 0 ? 2000 : 7000);
    EXPECT_EQ(t.last.ended, c.ended);
    EXPECT_EQ(t.To(t.a, "INFO").empty() && t.To(t.b, "INFO").empty(), c.quirk);
    if (c.answerAt < 0 && !c.quirk) {
      std::vector<std::uint32_t> info, options;
      for (auto* s : t.To(t.a, "INFO")) info.push_back(s->at - probe);
      for (auto* s : t.To(t.a, "OPTIONS")) options.push_back(s->at - probe);
      EXPECT_EQ(info, (std::vector<std::uint32_t>{0, 750, 1500, 2250}));
      EXPECT_EQ(options, (std::vector<std::uint32_t>{3000, 3750, 4500, 5250}));
    }
    // Once A counts as alive, B is probed next.
    EXPECT_EQ(t.To(t.b, "INFO").empty(), c.name != "alive");
  }
}

// Real threads: one party's BYE ends its bridge (the other party gets BYE); a stop sends BYE to both.
TEST(TwoLegBridge, ListRunsAndStopsBridges) {
  DialogBench one, two, three;  // an endpoint per bridge: each is used by one thread at a time
  DialogList list{[](int) { return true; }};
  platform::FakeTickClock clock(one.endpoint.now);
  CallTerminator terminator(list, clock);
  BridgeList bridges(list, terminator, clock);
  DialogRef a = one.NewDialog(), b = one.NewDialog(), c = two.NewDialog(), d = two.NewDialog();
  ASSERT_TRUE(bridges.Start(a, b));
  ASSERT_TRUE(bridges.Start(c, d));
  EXPECT_EQ(bridges.Count(), 2u);
  a->Put(ParseOwned(FarRequest(*a, "BYE", 30)));
  for (int i = 0; i < 500 && bridges.Count() != 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(bridges.Count(), 1u);
  bridges.StopAll();
  EXPECT_EQ(bridges.Count(), 0u);
  DialogRef e = three.NewDialog(), f = three.NewDialog();
  EXPECT_FALSE(bridges.Start(e, f));  // refused once stopping: ended at once
  auto byes = [](const DialogBench& bench, const DialogRef& leg) {
    return std::count_if(bench.endpoint.sent.begin(), bench.endpoint.sent.end(),
                         [&leg](const auto& s) { return Is(s.text, "BYE", *leg); });
  };
  EXPECT_EQ(byes(one, a), 0);  // it hung up
  const std::vector<long> each{byes(one, b), byes(two, c), byes(two, d), byes(three, e), byes(three, f)};
  EXPECT_EQ(each, std::vector<long>(5, 1));
}

}  // namespace
}  // namespace corvina::sip
