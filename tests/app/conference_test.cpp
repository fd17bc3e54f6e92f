// The conference as the phone controller drives it, on fake lines, a recording view and audio
// route and the manual timer host: the three refusal boxes; a second call pauses it (the button
// alternating 50/29 every 500 ms); Conference again resumes it with that call; a member's line
// button takes it out; a call ending with three or two members; Hold only stops its audio;
// Hang up ends every member.
#include "tests/app/phone_controller_fixture.h"

namespace corvina::app {
namespace {

// The conference's changes as the console's events show them: "running/state/members".
struct ConferenceEvents final : PhoneObserver {
  void ConferenceChanged(const Conference& c) override {
    seen.push_back(std::to_string(c.Running()) + "/" + std::to_string(c.ButtonState()) + "/" +
                   std::to_string(c.Members()));
  }
  std::vector<std::string> seen;
};

class ConferenceTest : public PhoneControllerTest {
 protected:
  void SetUp() override {
    PhoneControllerTest::SetUp();
    Build(&events_);
  }
  // Places a call to `number`; connects it unless told not to.
  int Call(std::string_view number, bool connect = true) {
    controller_->OnDialTextChanged(number);
    controller_->Dial(false);
    int n = controller_->CurrentLine();
    if (connect) lines_[n]->Announce(CallState::kConnected);
    return n;
  }
  void Press() { controller_->OnButton(ControlId::kConference); }
  ButtonImage Image() { return view_.buttons[static_cast<int>(ControlId::kConference)].first; }
  const Conference& Conf() { return controller_->CurrentConference(); }
  bool HungUp(int n) { return std::count(lines_[n]->ops.begin(), lines_[n]->ops.end(), "hangup") > 0; }
  // Line 0 and line 1 both in a running conference.
  void ThreeWay() {
    Call("201");
    Press();
    Call("202");
    Press();
  }

  ConferenceEvents events_;
};

TEST_F(ConferenceTest, ConferencePressesThatCannotBeHonouredShowTheirBoxAndChangeNothing) {
  Press();  // no call
  Call("201", false);
  Press();  // the call still rings out
  lines_[0]->Announce(CallState::kConnected);
  EXPECT_FALSE(Conf().Exists());
  EXPECT_EQ(audio_.moves.back(), "line 0");
  Press();
  EXPECT_TRUE(Conf().Running());
  Press();  // already running
  ASSERT_EQ(view_.boxes.size(), 4u);
  EXPECT_EQ(view_.boxes[0], std::string("Conference: ") + Conference::kNeedCall);
  EXPECT_EQ(view_.boxes[1], std::string("Conference: ") + Conference::kWaitForAnswer);
  EXPECT_EQ(view_.boxes[2], std::string("Invite to Conference: ") + Conference::kInvite);
  EXPECT_EQ(view_.boxes[3], std::string("Conference: ") + Conference::kAlreadyIn);
  EXPECT_EQ(std::count_if(log_.entries.begin(), log_.entries.end(),
                          [](const auto& e) { return e.first == Conference::kStarted; }),
            1);
}

TEST_F(ConferenceTest, DiallingPausesItBlinkingAndConferenceResumesWithTheNewCall) {
  Call("201");
  Press();
  EXPECT_EQ(audio_.moves.back(), "conference");
  EXPECT_TRUE(audio_.joined[0]);
  EXPECT_EQ(controller_->CurrentLine(), PhoneController::kNoLine);
  EXPECT_EQ(Image(), ButtonImage::kConferenceRunning);
  EXPECT_EQ(view_.rows.left, "Conference 1");
  EXPECT_EQ(Call("202", false), 1);
  EXPECT_FALSE(Conf().Running());
  EXPECT_EQ(Conf().ButtonState(), 2);
  EXPECT_FALSE(lines_[0]->hold);  // a paused conference's party hears silence, not music
  std::vector<ButtonImage> blink;
  for (int i = 0; i < 4; ++i) {
    timers_.Advance(499);
    blink.push_back(Image());
    timers_.Advance(1);
    blink.push_back(Image());
  }
  using enum ButtonImage;
  EXPECT_EQ(blink, (std::vector<ButtonImage>{kConferenceRunning, kConferenceNormal, kConferenceNormal,
                                             kConferenceRunning, kConferenceRunning, kConferenceNormal,
                                             kConferenceNormal, kConferenceRunning}));
  lines_[1]->Announce(CallState::kConnected);
  Press();
  EXPECT_TRUE(Conf().Running());
  EXPECT_EQ(Conf().Members(), 3);
  EXPECT_TRUE(audio_.joined[1]);
  EXPECT_EQ(audio_.moves.back(), "conference");
  timers_.Advance(2000);
  EXPECT_EQ(Image(), ButtonImage::kConferenceRunning);
  EXPECT_EQ(events_.seen, (std::vector<std::string>{"1/1/2", "0/2/2", "1/1/3"}));
}

TEST_F(ConferenceTest, AMembersLineButtonTakesItOutToTalkAlone) {
  ThreeWay();
  controller_->LineButton(1);
  EXPECT_FALSE(Conf().IsMember(1));
  EXPECT_TRUE(Conf().IsMember(0));
  EXPECT_FALSE(audio_.joined[1]);
  EXPECT_EQ(controller_->CurrentLine(), 1);
  EXPECT_EQ(audio_.moves.back(), "line 1");
  EXPECT_EQ(Conf().ButtonState(), 2);
}

TEST_F(ConferenceTest, ACallEndingLeavesAThreeMemberConferenceGoingAndEndsATwoMemberOne) {
  ThreeWay();
  lines_[1]->Announce(CallState::kIdle);
  EXPECT_TRUE(Conf().Running());
  EXPECT_EQ(Conf().Members(), 2);
  EXPECT_FALSE(HungUp(0));
  lines_[0]->Announce(CallState::kIdle);
  EXPECT_FALSE(Conf().Exists());
  EXPECT_EQ(Image(), ButtonImage::kConferenceNormal);
  EXPECT_EQ(tones_.played.back(), texts::kBusyTone);
  EXPECT_EQ(audio_.moves.back(), "none");
}

TEST_F(ConferenceTest, HoldOnlyStopsItsAudioAndHangUpEndsEveryMember) {
  ThreeWay();
  EXPECT_TRUE(controller_->Hold());
  EXPECT_FALSE(Conf().Running());
  EXPECT_EQ(audio_.moves.back(), "none");
  EXPECT_FALSE(lines_[0]->hold || lines_[1]->hold);
  EXPECT_TRUE(controller_->HangUp());
  EXPECT_TRUE(HungUp(0) && HungUp(1));
  EXPECT_FALSE(Conf().Exists());
  EXPECT_FALSE(audio_.joined[0] || audio_.joined[1]);
  EXPECT_EQ(audio_.moves.back(), "none");
  EXPECT_FALSE(controller_->HangUp());
}

}  // namespace
}  // namespace corvina::app
