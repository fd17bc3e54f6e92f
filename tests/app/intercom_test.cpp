// The controller's intercom on fake lines and the fake clock: the press places an intercom call
// (or talks back), the microphone reaches the line only while the button is held, the private
// timer ends the call 25 s after the last release, incoming intercom calls are answered by
// themselves or refused by the allow list, and what an intercom line receives while it is not
// live waits in its buffer.
#include "tests/app/phone_controller_fixture.h"

namespace corvina::app {
namespace {

class IntercomTest : public PhoneControllerTest {
 protected:
  void Press(std::string_view text) { controller_->OnDialTextChanged(text), controller_->Intercom(true); }
  // An incoming intercom call from `user`@`host` on line n.
  void IncomingIntercom(int n, std::string user, std::string host = "127.0.0.1") {
    lines_[n]->snapshot.intercomRequested = true;
    lines_[n]->snapshot.remoteAddress = user + "@" + host;
    lines_[n]->Announce(CallState::kIncomingRinging, 1, user);
  }
  long Count(int n, const std::string& op) { return std::ranges::count(lines_[n]->ops, op); }
};

TEST_F(IntercomTest, PressReusesTheCallWithin25SecondsAndItEnds25SecondsAfterRelease) {
  CommandProcessor verbs;
  RegisterPhoneVerbs(verbs, [this] { return controller_.get(); });
  controller_->OnDialTextChanged("Desk");
  EXPECT_EQ(verbs.Execute("intercom press"), "ok {\"held\":true,\"line\":1}");
  EXPECT_EQ(lines_[0]->ops, (std::vector<std::string>{"call Desk"}));
  EXPECT_TRUE(audio_.moves.empty());  // nothing to talk to before the answer
  lines_[0]->Announce(CallState::kConnected, 0, "7001");  // the far end's user part is not what was dialled
  EXPECT_EQ(audio_.moves, (std::vector<std::string>{"line 0"}));
  EXPECT_EQ(verbs.Execute("intercom release"), "ok {\"held\":false,\"line\":null}");
  EXPECT_EQ(audio_.moves.back(), "none");
  EXPECT_EQ(controller_->PrivateTimerLeftMs(0), PhoneController::kPrivateTimerMs);

  Advance(20000);
  Press("desk");  // the same address, another case: the same call
  EXPECT_EQ(Count(0, "call Desk") + Count(0, "call desk") + Count(1, "call desk"), 1);
  EXPECT_EQ(audio_.moves.back(), "line 0");
  EXPECT_EQ(controller_->PrivateTimerLeftMs(0), -1);  // held: no inactivity
  Advance(30000);
  controller_->Intercom(false);
  EXPECT_NE(verbs.Execute("state").find("\"intercomAudio\":{\"bufferedMs\":0,\"timerMs\":25000}"), std::string::npos);
  Advance(10000);
  audio_.played(0);  // hearing the far end's reply is not use of a line the button talked on
  Advance(PhoneController::kPrivateTimerMs - 10001);
  EXPECT_EQ(Count(0, "hangup"), 0);  // not while it was held, nor before 25 s
  Advance(1);
  EXPECT_EQ(Count(0, "hangup"), 1);
}

TEST_F(IntercomTest, ConnectAfterReleaseLeavesTheMicrophoneAlone) {
  Press("300");
  controller_->Intercom(false);
  Advance(10000);
  lines_[0]->Announce(CallState::kConnected);
  EXPECT_EQ(std::ranges::count(audio_.moves, "line 0"), 0);
  EXPECT_EQ(controller_->CurrentLine(), PhoneController::kNoLine);
  Advance(15000);  // the outgoing call's timer runs from the release, not the connect
  EXPECT_EQ(Count(0, "hangup"), 1);
}

TEST_F(IntercomTest, APressThatCannotPlaceItsCallChangesNothingAndPlaysBusy) {
  // A normal call on line 0, and line 1 refuses the intercom call.
  controller_->OnDialTextChanged("201");
  controller_->Dial(false);
  lines_[0]->Announce(CallState::kConnected);
  lines_[1]->refuse = true;
  const auto moves = audio_.moves;
  tones_.played.clear();
  Press("300");
  EXPECT_EQ(tones_.played, (std::vector<std::string>{"Busy"}));
  EXPECT_EQ(Count(0, "hold"), 0);
  EXPECT_EQ(Count(0, "call 300"), 0);  // only idle lines are tried
  Press("");  // an empty box with no intercom line: nothing at all
  EXPECT_EQ(tones_.played, (std::vector<std::string>{"Busy"}));
  EXPECT_EQ(audio_.moves, moves);
  EXPECT_EQ(controller_->CurrentLine(), 0);
}

TEST_F(IntercomTest, IncomingIntercomFollowsTheAllowListAndTalksBackOnAnEmptyBox) {
  settings_.SetSettingBool("Intercom", "AllowAll", false);
  settings_.SetSettingString("Intercom", "Allow", "\"alice@127.0.0.1\", bob");
  const struct { const char *user, *host; bool answered; } cases[] = {{"alice", "127.0.0.1", true}, {"alice", "10.0.0.1", false}, {"bob", "h", true}, {"carol", "h", false}};
  for (const auto& c : cases) {
    lines_[1]->ops.clear();
    IncomingIntercom(1, c.user, c.host);
    lines_[1]->Announce(CallState::kIncomingRinging, 1);  // the first 180 announces it again: decided once
    EXPECT_EQ(lines_[1]->ops, std::vector<std::string>{c.answered ? "answer" : "hangup"}) << c.user << "@" << c.host;
    lines_[1]->Announce(CallState::kIdle);
  }
  EXPECT_EQ(controller_->Missed().Count(), 0);
  lines_[1]->ops.clear();

  // An allowed call while a normal call is current: that call keeps the microphone.
  controller_->OnDialTextChanged("201");
  controller_->Dial(false);
  lines_[0]->Announce(CallState::kConnected);
  IncomingIntercom(1, "bob");
  lines_[1]->Announce(CallState::kConnected);
  EXPECT_EQ(audio_.moves, (std::vector<std::string>{"line 0"}));
  EXPECT_EQ(Count(0, "hold"), 0);
  EXPECT_EQ(controller_->PrivateTimerLeftMs(1), PhoneController::kPrivateTimerMs);

  // An empty box talks back on it (the normal call is held), until the release.
  Advance(10000);
  Press("");
  EXPECT_EQ(Count(0, "hold"), 1);
  EXPECT_EQ(audio_.moves.back(), "line 1");
  controller_->Intercom(false);
  EXPECT_EQ(audio_.moves.back(), "none");
  Advance(PhoneController::kPrivateTimerMs);
  EXPECT_EQ(Count(1, "hangup"), 1);
}

TEST_F(IntercomTest, AnIncomingCallsBufferKeepsItAliveWhileItWaitsOrPlaysAndGoesWithTheCall) {
  CommandProcessor verbs;
  RegisterPhoneVerbs(verbs, [this] { return controller_.get(); });
  IncomingIntercom(1, "bob");
  lines_[1]->Announce(CallState::kConnected);
  EXPECT_TRUE(audio_.buffering[1]);
  EXPECT_TRUE(audio_.moves.empty());  // not live: the speaker plays the buffer when it is free
  Advance(20000);
  audio_.played(1);  // playing is use
  EXPECT_EQ(controller_->PrivateTimerLeftMs(1), PhoneController::kPrivateTimerMs);
  audio_.bufferedMs[1] = 5000;  // a message waits for the speaker
  EXPECT_NE(verbs.Execute("state").find("\"intercomAudio\":{\"bufferedMs\":5000,"), std::string::npos);
  Advance(PhoneController::kPrivateTimerMs);
  EXPECT_EQ(Count(1, "hangup"), 0);
  EXPECT_EQ(controller_->PrivateTimerLeftMs(1), PhoneController::kPrivateTimerMs);
  audio_.bufferedMs[1] = PhoneController::kIntercomBacklogMs;  // heard as it comes
  Advance(PhoneController::kPrivateTimerMs);
  EXPECT_EQ(Count(1, "hangup"), 1);
  lines_[1]->Announce(CallState::kIdle);
  EXPECT_FALSE(audio_.buffering[1]);  // released with the call
}

TEST_F(IntercomTest, ItsLineButtonMakesItANormalCallHeardLive) {
  IncomingIntercom(0, "bob");
  lines_[0]->Announce(CallState::kConnected);
  audio_.bufferedMs[0] = 3000;
  controller_->LineButton(0);
  EXPECT_FALSE(audio_.buffering[0]);  // what it still held is dropped
  EXPECT_EQ(audio_.moves, (std::vector<std::string>{"line 0"}));
  EXPECT_EQ(controller_->PrivateTimerLeftMs(0), -1);
  EXPECT_TRUE(controller_->NormalCall());
}

TEST_F(IntercomTest, ACurrentIntercomCallEndsWithBusyOnlyWhenItsBufferWasNotHeard) {
  for (std::uint64_t buffered : {0, 2000}) {
    Press("300");
    lines_[0]->Announce(CallState::kConnected);
    tones_.played.clear();
    audio_.bufferedMs[0] = buffered;
    lines_[0]->Announce(CallState::kIdle);
    EXPECT_EQ(tones_.played, buffered > 0 ? std::vector<std::string>{"Busy"} : std::vector<std::string>{}) << buffered;
    controller_->Intercom(false);
  }
}

}  // namespace
}  // namespace corvina::app
