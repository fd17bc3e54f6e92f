// The call flow on a fake clock: ring cadence, resend schedules, the time limits, redirects,
// challenges, answering with its ACK wait, commands, transfers, the checks of dialled text, and
// the reason each way of ending gives the display (none for our own hang-up).
#include "call/call_flow.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "call/call_texts.h"
#include "call/dial_target.h"
#include "call/redirect_targets.h"
#include "call_fakes.h"

namespace corvina::call {
namespace {

using testing::CallBench;
using testing::FarRequest;
using testing::IncomingInvite;
using testing::Reply;

std::vector<std::uint32_t> Every(std::uint32_t from, std::uint32_t step, std::uint32_t until) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t t = from; t < until; t += step) out.push_back(t);
  return out;
}

TEST(CallFlowRinging, RingsEveryTwoSecondsWithGrowingCountsUnmovedByArrivingRequests) {
  CallBench b;
  b.horizon = 9000;
  // Requests at odd moments are answered without moving the ring schedule.
  b.Message(700, [](sip::SharedDialog& d) { return FarRequest(d, "OPTIONS", 2); });
  b.Message(4100, [](sip::SharedDialog& d) { return FarRequest(d, "INFO", 3); });
  b.RunIncoming(IncomingInvite());
  const auto rings = b.Sent("SIP/2.0 180");
  EXPECT_EQ(b.SentTimes("SIP/2.0 180"), Every(0, 2000, 9000));
  for (const auto& r : rings) EXPECT_NE(r.second.find(";tag="), std::string::npos);
  std::vector<int> counts;
  for (const auto& a : b.announced) {
    if (a.state == CallState::kIncomingRinging) counts.push_back(a.ringCount);
  }
  EXPECT_EQ(counts, (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(b.Sent("SIP/2.0 480").size(), 1u);  // the stop refuses the call
  EXPECT_EQ(b.announced.back().state, CallState::kIdle);
  EXPECT_TRUE(b.Logged(texts::kDisconnected));
}

TEST(CallFlowRinging, CancelIsAnsweredThenTheInviteGets487UntilItsAck) {
  CallBench b;
  b.Message(3000, [](sip::SharedDialog& d) { return FarRequest(d, "CANCEL", 1); });
  b.Message(4200, [](sip::SharedDialog& d) { return FarRequest(d, "ACK", 1); });
  b.RunIncoming(IncomingInvite());
  ASSERT_EQ(b.Sent("SIP/2.0 200").size(), 1u);
  EXPECT_EQ(b.SentTimes("SIP/2.0 487"), (std::vector<std::uint32_t>{3000, 3350, 3700, 4050}));
  EXPECT_EQ(b.Sent("SIP/2.0 480").size(), 0u);
  EXPECT_EQ(b.Elapsed(), 4200u);
}

TEST(CallFlowRinging, HangUpRefusesWith480AndAnIgnoredCommandCausesNoSpin) {
  CallBench b;
  b.Command(300, LineCommand::kHoldChanged);  // ignored while ringing
  b.Command(2500, LineCommand::kHangUp);
  b.Command(2600, LineCommand::kHoldChanged);  // comes later, must not cancel the hang-up
  b.RunIncoming(IncomingInvite());
  EXPECT_EQ(b.SentTimes("SIP/2.0 180"), (std::vector<std::uint32_t>{0, 2000}));
  EXPECT_EQ(b.SentTimes("SIP/2.0 480").front(), 2500u);
  EXPECT_EQ(b.endReason, "");  // our own hang-up needs no reason
}

// The version (third field of o=) of the SDP in `text`.
std::uint32_t SdpVersion(const std::string& text) {
  std::smatch found;
  return std::regex_search(text, found, std::regex("\no=\\S+ \\S+ (\\d+) ")) ? std::stoul(found[1]) : 0;
}

TEST(CallFlowStop, AStopEndsEveryPhaseWithoutWaitingOutItsWait) {
  const std::function<void(CallBench&)> phases[] = {
      [](CallBench&) {},                                          // ringing
      [](CallBench& b) { b.Command(0, LineCommand::kAnswer); },  // awaiting the ACK
      &CallBench::Connect,                                        // connected
      [](CallBench& b) { b.Connect(); b.Hold(1000, true); },       // holding
      [](CallBench& b) { b.Message(100, [](sip::SharedDialog& d) { return Reply(d, 180); }); },  // dialling
  };
  for (const auto& phase : phases) {
    CallBench b;
    phase(b);
    b.At(1700, [&](sip::SharedDialog&) { b.stop = true; });
    &phase == &phases[4] ? b.RunOutgoing() : b.RunIncoming(IncomingInvite());
    EXPECT_EQ(b.Elapsed(), 1700u) << &phase - phases;
    EXPECT_EQ(b.announced.back().state, CallState::kIdle) << &phase - phases;
  }
}

TEST(CallFlowAnswer, AnswerSends200EveryInterval350UntilTheAckAndConnects) {
  CallBench b;
  b.Command(1000, LineCommand::kAnswer);
  b.Message(2100, [](sip::SharedDialog& d) { return FarRequest(d, "ACK", 1); });
  b.Message(5000, [](sip::SharedDialog& d) { return FarRequest(d, "BYE", 2); });
  b.RunIncoming(IncomingInvite());
  const auto oks = b.Sent("SIP/2.0 200");
  ASSERT_GE(oks.size(), 5u);
  EXPECT_EQ(b.SentTimes("SIP/2.0 200"), (std::vector<std::uint32_t>{1000, 1350, 1700, 2050, 5000}));
  EXPECT_NE(oks[0].second.find("m=audio 8000"), std::string::npos);
  EXPECT_NE(oks[0].second.find("Contact:"), std::string::npos);
  EXPECT_EQ(b.media.started, 1);
  EXPECT_EQ(b.media.lastRemote.remotePort, 40000);
  ASSERT_GE(b.announced.size(), 2u);
  EXPECT_EQ(b.announced[b.announced.size() - 2].state, CallState::kConnected);
  ASSERT_EQ(b.handedOver.size(), 1u);
  EXPECT_FALSE(b.handedOver[0].dialog->State().established);  // the BYE ended it: no BYE owed
  EXPECT_EQ(b.endReason, texts::kEndFarHangUp);
}

TEST(CallFlowAnswer, AnswerWithoutAckGivesUpAfterEightSeconds) {
  CallBench b;
  b.Command(0, LineCommand::kAnswer);
  b.RunIncoming(IncomingInvite());
  EXPECT_EQ(b.SentTimes("SIP/2.0 200"), Every(0, 350, 8000));
  EXPECT_EQ(b.media.started, 0);
  ASSERT_EQ(b.handedOver.size(), 1u);
  EXPECT_TRUE(b.handedOver[0].dialog->State().established);  // the terminator sends the BYE
}

TEST(CallFlowAnswer, OfferWithoutUsableCodecGets415AndNoSdpGetsAnOffer) {
  const std::string g729 = "v=0\r\no=- 1 1 IN IP4 198.51.100.9\r\ns=-\r\nc=IN IP4 198.51.100.9\r\nt=0 0\r\n"
                           "m=audio 40000 RTP/AVP 18\r\n";
  {
    CallBench b;
    b.Command(0, LineCommand::kAnswer);
    b.RunIncoming(IncomingInvite({}, g729));
    EXPECT_EQ(b.Sent("SIP/2.0 415").size(), 23u);  // until the 8 s limit, no ACK came
    EXPECT_TRUE(b.Logged(texts::kNoCodecs));
    EXPECT_EQ(b.endReason, texts::kEndNoCodec);
    EXPECT_EQ(b.Sent("SIP/2.0 200").size(), 0u);
  }
  {
    CallBench b;
    b.Command(0, LineCommand::kAnswer);
    b.Message(100, [](sip::SharedDialog& d) { return FarRequest(d, "ACK", 1, {}, testing::kOfferPcmu); });
    b.Command(1500, LineCommand::kHangUp);
    b.RunIncoming(IncomingInvite({}, {}));
    ASSERT_FALSE(b.Sent("SIP/2.0 200").empty());
    EXPECT_NE(b.Sent("SIP/2.0 200")[0].second.find("a=sendrecv"), std::string::npos);
    EXPECT_EQ(b.media.started, 1);
    EXPECT_EQ(b.media.lastRemote.remotePort, 40000);
  }
}

struct LimitCase {
  const char* name;
  std::vector<std::pair<std::uint32_t, int>> replies;  // offset, status (to the first target)
  std::uint32_t giveUpAt;                             // of the last target
};

TEST(CallFlowOutgoing, GivesUpOnTimeForEachOfTheFourLimits) {
  const std::string twoTargets = "Contact: <sip:a@198.51.100.20>;q=0.9, <sip:b@198.51.100.21>;q=0.2\r\n";
  const LimitCase cases[] = {
      {"silent", {}, 10000},
      {"provisional", {{200, 100}}, 65000},  // counted from the INVITE
  };
  for (const auto& c : cases) {
    CallBench b;
    for (const auto& reply : c.replies) {
      b.Message(reply.first, [status = reply.second](sip::SharedDialog& d) { return Reply(d, status); });
    }
    b.RunOutgoing();
    EXPECT_EQ(b.Elapsed(), c.giveUpAt) << c.name;
    EXPECT_TRUE(b.Logged(texts::kTimedOut)) << c.name;
    EXPECT_TRUE(b.Logged(texts::kServerNotReplying)) << c.name;
    EXPECT_EQ(b.endReason, texts::kEndNoReply) << c.name;
    ASSERT_EQ(b.handedOver.size(), 1u) << c.name;
    EXPECT_TRUE(b.handedOver[0].pending) << c.name;
  }
  {
    // With redirect targets left the limits are 2000 ms without and 10000 ms with a 1xx.
    CallBench b;
    b.Message(100, [&](sip::SharedDialog& d) { return Reply(d, 302, twoTargets); });
    b.Message(300, [](sip::SharedDialog& d) { return Reply(d, 180); });
    b.RunOutgoing();
    const auto invites = b.Sent("INVITE ");
    // First target at 0; a@ from 100 (1xx at 300, so it runs 10 s); b@ from 10100, silent, 10 s.
    ASSERT_GE(invites.size(), 3u);
    EXPECT_EQ(invites[1].first, 100u);
    EXPECT_EQ(invites[1].second.rfind("INVITE sip:a@198.51.100.20 ", 0), 0u);
    EXPECT_EQ(b.SentTimes("INVITE sip:b@").front(), 10100u);
    EXPECT_EQ(b.Elapsed(), 20100u);
    EXPECT_EQ(b.announced[0].state, CallState::kRemoteRinging);
  }
  {
    CallBench b;
    b.Message(100, [&](sip::SharedDialog& d) { return Reply(d, 302, twoTargets); });
    b.RunOutgoing();
    EXPECT_EQ(b.SentTimes("INVITE sip:b@").front(), 2100u);  // a@ silent with b@ left: 2 s
  }
}

TEST(CallFlowOutgoing, TickCountWrapDoesNotDisturbTheLimits) {
  CallBench b;
  b.SetStart(0xFFFFF000u);
  b.RunOutgoing();
  EXPECT_EQ(b.Elapsed(), 10000u);
  EXPECT_EQ(b.SentTimes("INVITE ").size(), 20u);
}

TEST(CallFlowOutgoing, RedirectTriesHigherQFirstAndNoUriTwice) {
  CallBench b;
  b.Message(100, [](sip::SharedDialog& d) {
    return Reply(d, 302, "Contact: <sip:low@198.51.100.20>;q=0.2,\"x, y\" <sip:high@198.51.100.21>;q=0.9\r\n"
                         "m: <sip:200@198.51.100.9:5062>\r\n");
  });
  b.Message(200, [](sip::SharedDialog& d) { return Reply(d, 486); });
  b.Message(300, [](sip::SharedDialog& d) { return Reply(d, 486); });
  b.RunOutgoing();
  const auto invites = b.Sent("INVITE ");
  ASSERT_EQ(invites.size(), 3u);
  EXPECT_EQ(invites[1].second.rfind("INVITE sip:high@", 0), 0u);
  EXPECT_EQ(invites[2].second.rfind("INVITE sip:low@", 0), 0u);
  EXPECT_EQ(b.Sent("ACK ").size(), 3u);
  EXPECT_TRUE(b.Logged(std::string(texts::kOtherSideSaid) + "Whatever"));
  EXPECT_EQ(b.endReason, "Whatever");  // the last target's reason phrase
  EXPECT_EQ(b.handedOver.size(), 3u);
}

TEST(CallFlowOutgoing, SuccessAcksConnectsAndHangUpOwesTheBye) {
  CallBench b;
  b.Message(100, [](sip::SharedDialog& d) { return Reply(d, 180); });
  b.Message(900, [](sip::SharedDialog& d) { return Reply(d, 200, {}, "far", testing::kOfferPcmu); });
  b.Message(1000, [](sip::SharedDialog& d) { return Reply(d, 200, {}, "fork2", testing::kOfferPcmu); });
  b.Command(3000, LineCommand::kHangUp);
  b.RunOutgoing(true);
  EXPECT_NE(b.Sent("INVITE ")[0].second.find("Answer-Mode: Auto\r\n"), std::string::npos);
  EXPECT_EQ(b.SentTimes("INVITE "), (std::vector<std::uint32_t>{0}));
  EXPECT_EQ(b.SentTimes("ACK "), (std::vector<std::uint32_t>{900, 1000}));
  EXPECT_EQ(b.SentTimes("BYE "), Every(1000, 500, 3000));  // the second fork's, resent until the hang-up
  EXPECT_NE(b.Sent("BYE ")[0].second.find("tag=fork2"), std::string::npos);
  EXPECT_TRUE(b.Logged(texts::kAnswered));
  EXPECT_EQ(b.media.started, 1);
  ASSERT_EQ(b.handedOver.size(), 1u);
  EXPECT_TRUE(b.handedOver[0].dialog->State().established);
  EXPECT_EQ(b.handedOver[0].at, 3000u);
  std::vector<CallState> states;
  for (const auto& a : b.announced) states.push_back(a.state);
  EXPECT_EQ(states, (std::vector<CallState>{CallState::kRemoteRinging, CallState::kConnected, CallState::kIdle}));
  EXPECT_EQ(b.endReason, "");
}

TEST(CallFlowOutgoing, AnswerWithoutUsableSdpIsAckedLoggedAndEnded) {
  CallBench b;
  b.Message(100, [](sip::SharedDialog& d) { return Reply(d, 200); });
  b.RunOutgoing();
  EXPECT_EQ(b.Sent("ACK ").size(), 1u);
  EXPECT_TRUE(b.Logged(texts::kNoCodecs));
  EXPECT_EQ(b.endReason, texts::kEndNoCodec);
  ASSERT_EQ(b.handedOver.size(), 1u);
  EXPECT_TRUE(b.handedOver[0].dialog->State().established);  // BYE owed
  EXPECT_EQ(b.media.started, 0);
}

TEST(CallFlowOutgoing, HangUpWhileDiallingAbandonsWithTheCancelOwed) {
  CallBench b;
  b.Message(100, [](sip::SharedDialog& d) { return Reply(d, 100); });
  b.Command(1200, LineCommand::kHangUp);
  b.RunOutgoing();
  EXPECT_TRUE(b.Logged(texts::kAbandoned));
  ASSERT_EQ(b.handedOver.size(), 1u);
  EXPECT_TRUE(b.handedOver[0].pending);
  EXPECT_TRUE(b.handedOver[0].provisionalSeen);
  EXPECT_EQ(b.Elapsed(), 1200u);
}

TEST(CallFlowInCall, ReInvitesAreAnsweredAndARefusedOneLeavesTheCall) {
  const std::string sendonly = std::string(testing::kOfferPcmu) + "a=sendonly\r\n";
  const std::string g729 = "v=0\r\no=- 1 2 IN IP4 198.51.100.9\r\ns=-\r\nc=IN IP4 198.51.100.9\r\nt=0 0\r\n"
                           "m=audio 40002 RTP/AVP 18\r\n";
  CallBench b;
  b.Connect();
  b.Message(2000, [&](sip::SharedDialog& d) { return FarRequest(d, "INVITE", 2, {}, sendonly); });
  b.Message(2100, [](sip::SharedDialog& d) { return FarRequest(d, "ACK", 2); });
  b.Message(3000, [&](sip::SharedDialog& d) { return FarRequest(d, "INVITE", 3, {}, g729); });
  b.Message(3100, [](sip::SharedDialog& d) { return FarRequest(d, "ACK", 3); });
  b.Message(4000, [](sip::SharedDialog& d) { return FarRequest(d, "REFER", 4, "Refer-To: <sip:3@192.0.2.3>\r\n"); });
  b.Command(5000, LineCommand::kHangUp);
  b.RunIncoming(IncomingInvite());
  const auto oks = b.Sent("SIP/2.0 200");
  ASSERT_EQ(oks.size(), 2u);
  EXPECT_NE(oks[1].second.find("a=recvonly"), std::string::npos);
  EXPECT_EQ(b.Sent("SIP/2.0 415").size(), 1u);
  EXPECT_EQ(b.Sent("SIP/2.0 202").size(), 1u);  // the transferee's attempt runs until the hang-up
  EXPECT_EQ(b.media.lastRemote.remotePort, 40000);  // the refused offer changed nothing
  EXPECT_EQ(b.handedOver.at(0).at, 5000u);          // the call lasted until the hang-up
  EXPECT_EQ(b.endReason, "");                        // the refused offer is no reason either
}

TEST(CallFlowHold, HoldAndResumeOfferTheirDirectionOneVersionUpAndAreAnnouncedAtThe2xx) {
  CallBench b;
  b.Connect();
  b.Hold(2000, true);
  b.Message(2100, [](sip::SharedDialog& d) {
    return Reply(d, 407, "Proxy-Authenticate: Digest realm=\"pbx\", nonce=\"n1\"\r\n");
  });
  b.Message(2200, [](sip::SharedDialog& d) { return Reply(d, 200, {}, "far", testing::kOfferPcmu); });
  b.Hold(3000, false);
  b.Message(3100, [](sip::SharedDialog& d) { return Reply(d, 200, {}, "far", testing::kOfferPcmu); });
  b.Command(4000, LineCommand::kHangUp);
  b.RunIncoming(IncomingInvite());
  const auto invites = b.Sent("INVITE ");
  ASSERT_EQ(invites.size(), 3u);
  EXPECT_NE(invites[1].second.find("a=sendonly"), std::string::npos);
  EXPECT_NE(invites[1].second.find("Proxy-Authorization: Digest"), std::string::npos);
  EXPECT_NE(invites[2].second.find("a=sendrecv"), std::string::npos);
  const std::uint32_t answered = SdpVersion(b.Sent("SIP/2.0 200").at(0).second);
  EXPECT_EQ(SdpVersion(invites[0].second), answered + 1);
  EXPECT_EQ(SdpVersion(invites[2].second), answered + 2);
  EXPECT_EQ(b.SentTimes("ACK "), (std::vector<std::uint32_t>{2100, 2200, 3100}));
  EXPECT_EQ(b.media.remotes, 3);  // the answer, then each 2xx
  EXPECT_EQ(b.holdAnnounced, (std::vector<std::pair<bool, std::uint32_t>>{{true, 2200}, {false, 3100}}));
  EXPECT_EQ(b.handedOver.at(0).at, 4000u);
  EXPECT_EQ(b.announced[b.announced.size() - 2].state, CallState::kConnected);  // never left it
}

TEST(CallFlowHold, FailuresEndTheCallWithItsByeAnd491BacksOffAtMostFiveTimes) {
  struct Case {
    bool cameIn;
    int status;  // given 10 ms after every hold re-INVITE; 0: silence
    std::size_t sends;
    std::uint32_t minGap, maxGap;  // between two sends
  } cases[] = {{true, 488, 1, 0, 0}, {true, 0, 10, 500, 500}, {true, 491, 6, 560, 809}, {false, 491, 6, 60, 309}};
  for (const auto& c : cases) {
    CallBench b;
    if (c.cameIn) b.Connect();
    if (!c.cameIn) b.Message(100, [](sip::SharedDialog& d) { return Reply(d, 200, {}, "far", testing::kOfferPcmu); });
    b.Hold(2000, true);
    b.onSent = [&](const std::string& text) {
      if (c.status != 0 && text.find("a=sendonly") != std::string::npos) {
        b.Message(b.Elapsed() + 10, [&](sip::SharedDialog& d) { return Reply(d, c.status); });
      }
    };
    b.Command(20000, LineCommand::kHangUp);
    c.cameIn ? b.RunIncoming(IncomingInvite()) : b.RunOutgoing();
    std::vector<std::uint32_t> sends;
    for (const auto& [at, text] : b.Sent("INVITE ")) {
      if (text.find("a=sendonly") != std::string::npos) sends.push_back(at);
    }
    ASSERT_EQ(sends.size(), c.sends) << c.status;
    for (std::size_t i = 1; i < sends.size(); ++i) {
      EXPECT_GE(sends[i] - sends[i - 1], c.minGap) << c.status;
      EXPECT_LE(sends[i] - sends[i - 1], c.maxGap) << c.status;
    }
    EXPECT_EQ(b.Sent("ACK ").size() - (c.cameIn ? 0 : 1), c.status ? c.sends : 0) << c.status;
    ASSERT_EQ(b.handedOver.size(), 1u);
    EXPECT_EQ(b.handedOver[0].at, sends.back() + (c.status ? 10 : 500)) << c.status;
    EXPECT_TRUE(b.handedOver[0].dialog->State().established) << c.status;  // the terminator sends the BYE
    EXPECT_EQ(b.endReason, c.status ? "Whatever" : texts::kEndNoReply) << c.status;
  }
}

TEST(CallFlowHold, QuickPressesApplyTheLastStateAndNothingGivenMeanwhileIsLost) {
  CallBench b;
  b.Connect();
  b.onSent = [&](const std::string& text) {
    if (text.rfind("INVITE ", 0) == 0) b.Message(b.Elapsed() + 100, [](sip::SharedDialog& d) { return Reply(d, 200); });
  };
  b.At(1000, [&](sip::SharedDialog&) {  // before the thread looks: a press and its release
    b.holdRequested = true;
    b.commands.Give(LineCommand::kHoldChanged);
    b.holdRequested = false;
  });
  b.Hold(2000, true);  // hold, resume, hold while the first re-INVITE runs: nothing more to send
  b.Hold(2030, false);
  b.Message(2050, [](sip::SharedDialog& d) { return FarRequest(d, "INVITE", 2, {}, testing::kOfferPcmu); });
  b.Hold(2060, true);
  b.Hold(3000, false);  // resume, then hold, resume, hold while it runs: the hold follows it
  b.Hold(3030, true);
  b.Hold(3060, false);
  b.Hold(3070, true);
  b.Command(5000, LineCommand::kHangUp);
  b.RunIncoming(IncomingInvite());
  ASSERT_EQ(b.SentTimes("INVITE "), (std::vector<std::uint32_t>{2000, 3000, 3100}));
  EXPECT_NE(b.Sent("INVITE ")[2].second.find("a=sendonly"), std::string::npos);
  EXPECT_EQ(b.SentTimes("SIP/2.0 491"), (std::vector<std::uint32_t>{2050}));  // ours was under way
  EXPECT_EQ(b.handedOver.at(0).at, 5000u);
}

TEST(CallFlowInCall, InviteWithReplacesTakesOverTheCallOnlyWithMatchingTags) {
  CallBench b;
  auto replacing = [](std::string_view replaces, std::string_view callId) {
    return IncomingInvite("Replaces: " + std::string(replaces) + "\r\n", testing::kOfferPcmu, callId);
  };
  b.Connect();
  b.Message(1000, [&](sip::SharedDialog& d) {
    return replacing("in-call-1;to-tag=" + d.LocalTag() + ";from-tag=wrong", "rep-1");
  });
  b.Message(2000, [&](sip::SharedDialog& d) {
    return replacing("in-call-1;to-tag=" + d.LocalTag() + ";from-tag=far", "rep-2");
  });
  b.Message(2100, [](sip::SharedDialog& d) { return FarRequest(d, "ACK", 1); });
  b.Command(4000, LineCommand::kHangUp);
  b.RunIncoming(IncomingInvite());
  ASSERT_EQ(b.Sent("SIP/2.0 481").size(), 1u);
  EXPECT_NE(b.Sent("SIP/2.0 481")[0].second.find("Call-ID: rep-1"), std::string::npos);
  const auto oks = b.Sent("SIP/2.0 200");
  ASSERT_EQ(oks.size(), 2u);
  EXPECT_NE(oks[1].second.find("Call-ID: rep-2"), std::string::npos);
  ASSERT_EQ(b.handedOver.size(), 2u);
  EXPECT_EQ(b.handedOver[0].dialog->CallId(), "in-call-1");  // the replaced call, BYE owed
  EXPECT_EQ(b.handedOver[0].at, 2000u);
  EXPECT_TRUE(b.handedOver[0].dialog->State().established);
  EXPECT_EQ(b.handedOver[1].dialog->CallId(), "rep-2");
  EXPECT_EQ(b.handedOver[1].at, 4000u);
}

using Transfers = std::vector<std::pair<TransferKind, TransferOutcome>>;

TEST(CallFlowRefer, BlindTransferFollowsTheReferUntilTheFarEndTellsTheResultOrALimitPasses) {
  using Far = std::function<void(CallBench&)>;
  const auto far = [](std::uint32_t at, std::string what, const char* sipfrag = "") -> Far {  // a status or a method
    return [=](CallBench& b) {
      b.Message(at, [=](auto& d) {
        return what[0] <= '9' ? Reply(d, std::stoi(what), {}, "far", {}, "REFER")
                                     : FarRequest(d, what, at, {}, sipfrag, "message/sipfrag");
      });
    };
  };
  const auto refused = [](std::uint32_t after) -> Far {  // 491 to each REFER
    return [=](CallBench& b) {
      b.onSent = [&b, after](const std::string& t) {
        const auto reply = [](auto& d) { return Reply(d, 491, {}, "far", {}, "REFER"); };
        if (t.rfind("REFER ", 0) == 0) b.Message(b.Elapsed() + after, reply);
      };
    };
  };
  // The far end's part (the transfer is given at 1000), the REFERs sent, the outcome, whether a BYE
  // is owed, when the call ends (0: not checked) and our answers from 1000 on.
  const struct {
    std::vector<Far> far; std::size_t refers; bool referred, byeOwed; std::uint32_t endAt; const char* answers;
  } cases[] = {
      {{far(2200, "202"), far(3000, "NOTIFY", "SIP/2.0 180 Ringing\r\n"), far(4000, "NOTIFY", "SIP/2.0 200 OK\r\n")},
       3, true, true, 4000, "200 200 "},
      {{far(1100, "202"), far(3000, "BYE")}, 1, true, false, 3000, "200 "},
      {{far(1100, "405")}, 1, false, true, 1100, ""},
      {{refused(10)}, 6, false, true, 0, ""},     // at most 5 back-offs
      {{refused(400)}, 5, false, true, 6000, ""},  // 5 s from the first REFER
      {{}, 10, false, true, 6000, ""},
      {{far(1100, "202")}, 1, false, true, 66000, ""},
      {{far(1100, "INVITE"), far(1200, "REFER"), far(1300, "OPTIONS"), far(1400, "202"), far(1500, "INVITE"),
        far(1600, "REFER"), far(1700, "INFO"), far(2000, "NOTIFY", "SIP/2.0 x\r\n")},
       1, false, true, 2000, "491 491 405 500 500 405 200 "},
  };
  for (const auto& c : cases) {
    CallBench b;
    b.Connect();
    b.At(1000, [&](auto&) { b.commands.GiveTransfer("<sip:300@pbx.example>"); });
    for (const auto& f : c.far) f(b);
    b.RunIncoming(IncomingInvite());
    const auto refers = b.Sent("REFER ");
    ASSERT_EQ(refers.size(), c.refers) << c.endAt;
    EXPECT_NE(refers[0].second.find("\nRefer-To: <sip:300@pbx.example>\r\n"), std::string::npos);
    const auto outcome = c.referred ? TransferOutcome::kReferred : TransferOutcome::kFailed;
    EXPECT_EQ(b.transfers, (Transfers{{TransferKind::kBlind, outcome}})) << c.refers;
    // A failed REFER makes the phone call the target itself (unanswered here: its dialog ends first).
    ASSERT_EQ(b.handedOver.size(), c.referred ? 1u : 2u);
    ASSERT_EQ(b.added.size(), c.referred ? 0u : 1u) << c.endAt;
    if (!c.referred) {
      EXPECT_EQ(b.added[0]->State().remoteParty, "<sip:300@pbx.example>");
    }
    const auto& call = b.handedOver.back();
    EXPECT_EQ(b.handedOver[0].at, c.endAt ? c.endAt : b.handedOver[0].at);
    EXPECT_EQ(call.dialog->State().established, c.byeOwed) << c.endAt;
    std::string answers;
    for (const auto& [at, text] : b.Sent("SIP/2.0 ")) answers += at >= 1000 ? text.substr(8, 4) : "";
    EXPECT_EQ(answers, c.answers) << c.endAt;
  }
}

TEST(CallFlowTransferee, ReferCallsTheTargetAndNotifiesTheResultOrIsRefused) {
  // The Refer-To line, the target's answer (0: the REFER is refused), the answer to our NOTIFY, the
  // Replaces line of our INVITE and when the call ends.
  const struct {
    const char* referTo; int inviteStatus, notifyStatus; const char* replaces; std::uint32_t endAt;
  } cases[] = {
      {"r: <sip:300@198.51.100.30>", 200, 200, nullptr, 5000},
      {"Refer-To: <sip:300@198.51.100.30?Replaces=a%40h%3Bto-tag%3D1%3Bfrom-tag%3D2>", 200, 200,
       "\nReplaces: a@h;to-tag=1;from-tag=2\r\n", 5000},
      {"Refer-To: <sip:300@198.51.100.30>", 486, 200, nullptr, 5000},
      {"Refer-To: <sip:300@198.51.100.30>", 486, 487, nullptr, 1020},
      {"Subject: none", 0, 0, nullptr, 5000},
      {"Refer-To: <sip:300@198.51.100.30", 0, 0, nullptr, 5000},
      {"Refer-To: <sip:300@>", 0, 0, nullptr, 5000},
      {"Refer-To: <sip:300@h?Replaces=a%0D%0AX:%20y>", 0, 0, nullptr, 5000},
  };
  for (const auto& c : cases) {
    CallBench b;
    b.Connect();
    b.Message(1000, [&](auto& d) { return FarRequest(d, "REFER", 2, std::string(c.referTo) + "\r\n"); });
    b.onSent = [&](const std::string& text) {  // the target answers, then the transferor
      const bool invite = text.rfind("INVITE sip:300@", 0) == 0;
      if (!invite && text.rfind("NOTIFY ", 0) != 0) return;
      b.Message(b.Elapsed() + 10, [&, invite](auto& d) {
        return invite ? Reply(d, c.inviteStatus, {}, "t3", testing::kOfferPcmu)
                      : Reply(d, c.notifyStatus, {}, "far", {}, "NOTIFY");
      });
    };
    b.Command(5000, LineCommand::kHangUp);
    b.RunIncoming(IncomingInvite());
    const bool accepted = c.inviteStatus != 0, replaced = c.inviteStatus == 200;
    EXPECT_EQ(b.Sent(accepted ? "SIP/2.0 202" : "SIP/2.0 400").size(), 1u) << c.referTo;
    const auto invites = b.Sent("INVITE sip:300@198.51.100.30 ");
    const auto notifies = b.Sent("NOTIFY sip:200@198.51.100.9:5062 ");  // in the old dialog
    ASSERT_EQ(invites.size() + notifies.size(), accepted ? 2u : 0u) << c.referTo;
    if (accepted) {
      EXPECT_EQ(invites[0].second.find("Replaces:"), c.replaces ? invites[0].second.find(c.replaces) + 1 : -1);
      const char* fragment = replaced ? "\n\r\nSIP/2.0 200 OK\r\n" : "\n\r\nSIP/2.0 503 Service Unavailable\r\n";
      EXPECT_NE(notifies[0].second.find(fragment), std::string::npos) << c.referTo;
    }
    const auto outcome = replaced ? TransferOutcome::kReplaced : TransferOutcome::kFailed;
    EXPECT_EQ(b.transfers, (accepted ? Transfers{{TransferKind::kTransferee, outcome}} : Transfers{})) << c.referTo;
    EXPECT_EQ(b.handedOver.back().at, c.endAt) << c.referTo;
    EXPECT_EQ(b.handedOver.back().dialog->CallId() == "in-call-1", !replaced) << c.referTo;
    EXPECT_EQ(b.media.remotes, replaced ? 2 : 1) << c.referTo;  // the media follows the new call
  }
}

TEST(DialTarget, RequestUriAndChecks) {
  struct Case {
    const char* text;
    const char* server;
    const char* uri;  // null: refused
  } cases[] = {
      {"1234", "pbx", "<sip:1234@pbx>"},
      {"sip:1234", "pbx", "<sip:1234@pbx>"},
      {"12 34", "pbx", "<sip:1234@pbx>"},
      {"bob@example.net", "pbx", "<sip:bob@example.net>"},
      {"<sip:carol@example.net>", "pbx", "<sip:carol@example.net>"},
      {"1234@192.0.2.5", "", "<sip:1234@192.0.2.5>"},
      {"<sip:1234@pbx", "pbx", nullptr},
      {"1234", "", nullptr},
      {"", "pbx", nullptr},
      {"<>", "pbx", nullptr},
      {"12\r\nX: y", "pbx", nullptr},
  };
  for (const auto& c : cases) {
    sip::testing::RecordingLog log;
    const bool ok = CheckDialTarget(c.text, c.server, log);
    EXPECT_EQ(ok, c.uri != nullptr) << c.text;
    if (ok) {
      EXPECT_EQ(RequestUriFromText(c.text, c.server), c.uri) << c.text;
    } else {
      EXPECT_FALSE(log.entries.empty()) << c.text;
    }
  }
  sip::testing::RecordingLog log;
  CheckDialTarget("1234", "", log);
  EXPECT_EQ(log.entries.size(), 4u);
}

TEST(LineCommandBits, HangUpWinsOverLaterCommandsAndStaysPending) {
  LineCommands c;
  c.Give(LineCommand::kHangUp);
  c.Give(LineCommand::kHoldChanged);
  const std::uint32_t first = c.Take();
  EXPECT_TRUE(first & LineCommands::Bit(LineCommand::kHangUp));
  EXPECT_TRUE(first & LineCommands::Bit(LineCommand::kHoldChanged));
  EXPECT_FALSE(c.Event().IsSet());
  EXPECT_EQ(c.Take(), LineCommands::Bit(LineCommand::kHangUp));
  c.Clear();
  EXPECT_FALSE(c.HangUpPending());
}

TEST(RedirectTargetsSplit, CommasInsideQuotesAndBracketsDoNotSplitAndTheCountIsBounded) {
  EXPECT_EQ(SplitContactValue("\"a, b\" <sip:x@h;p=1,2>;q=0.1, <sip:y@h>").size(), 2u);
  RedirectTargets t("<sip:first@h>");
  std::string many;
  for (int i = 0; i < 40; ++i) many += "<sip:u" + std::to_string(i) + "@h>,";
  many += "<sip:" + std::string(300, 'x') + "@h>";
  t.AddContactValue(many);
  t.AddContactValue("<sip:first@h>");
  int n = 0;
  while (!t.Empty()) {
    t.TakeNext();
    ++n;
  }
  EXPECT_EQ(n, static_cast<int>(kMaxRedirectTargets));
}

}  // namespace
}  // namespace corvina::call
