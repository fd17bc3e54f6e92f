// The phone controller through its console verbs and what it shows:
// - the verbs drive the same entries as the buttons and refuse bad arguments with a usage text;
// - Record toggles the current call's recording, Auto starts it on connect, call end stops it;
// - attended transfer, answer and hang-up by line from the console;
// - the idle display's row and the line tip for each registration state; during a call the far
//   party and the digits typed; why a call ended, kept 5 s as the note.
#include "tests/app/phone_controller_fixture.h"

namespace corvina::app {
namespace {

TEST_F(PhoneControllerTest, ConsoleVerbsDriveTheSameEntries) {
  CommandProcessor verbs;
  RegisterPhoneVerbs(verbs, [this] { return controller_.get(); });
  const std::pair<const char*, const char*> refused[] = {
      {"line 3", "error: usage: line 1|2"},          {"key 12a", "error: usage: key DIGITS (0-9 * #)"},
      {"volume play 200", "error: usage: volume play|record N (-127 … 127)"},
      {"pick 0", "error: no list entry 0"},          {"record", "error: no call to record"},
      {"command 2001", "error: not built yet"},      {"command 7003", "error: command 7003 is not available now"},
      {"command 4242", "error: unknown command 4242"}, {"answer", "error: no call is ringing"},
      {"dnd maybe", "error: usage: dnd on|off|toggle"}, {"type", "error: usage: type TEXT"},
      {"transfer blind 300", "error: no connected call to transfer"},
      {"transfer 300", "error: usage: transfer [blind TEXT | attended]"},
      {"transfer attended", "error: both lines need a connected call"},
  };
  for (auto [line, answer] : refused) EXPECT_EQ(verbs.Execute(line), answer) << line;
  EXPECT_TRUE(lines_[0]->ops.empty());
  // Lines opens Options as the line choice left it; the menu's Options first resets it.
  settings_.SetSettingString("Settings", "LineConfigure", "1");
  for (auto [command, lineConfigure] : {std::pair{"command 1030", "1"}, std::pair{"command 1886545254", "-1"}}) {
    EXPECT_EQ(verbs.Execute(command), "ok");
    EXPECT_EQ(settings_.GetSettingString("Settings", "LineConfigure", ""), lineConfigure) << command;
  }
  EXPECT_EQ(view_.opened, (std::vector<std::string>{"options 1", "options 0"}));

  EXPECT_EQ(verbs.Execute("key 20"), "ok");
  EXPECT_EQ(verbs.Execute("call"), "ok");
  EXPECT_EQ(lines_[0]->ops, (std::vector<std::string>{"call 20"}));
  lines_[0]->Announce(CallState::kConnected);
  EXPECT_EQ(verbs.Execute("type 1a#"), "ok");
  EXPECT_EQ(lines_[0]->ops.back(), "digits #");
  EXPECT_EQ(verbs.Execute("dnd toggle"), "ok {\"dnd\":true}");
  EXPECT_EQ(settings_.GetSettingString("Settings", "DoNotDisturb", ""), "1");
  EXPECT_EQ(verbs.Execute("hold"), "ok");
  EXPECT_TRUE(lines_[0]->hold);
  EXPECT_EQ(audio_.Place(), AudioPlace::Nothing());
  EXPECT_EQ(verbs.Execute("line 1"), "ok");
  EXPECT_FALSE(lines_[0]->hold);
  EXPECT_EQ(audio_.Place(), AudioPlace::Line(0));
  EXPECT_EQ(verbs.Execute("end"), "ok");
  EXPECT_EQ(lines_[0]->ops.back(), "hangup");
  lines_[0]->Announce(CallState::kIdle);
  std::string state = verbs.Execute("state");
  EXPECT_NE(state.find("\"currentLine\":0"), std::string::npos) << state;
  EXPECT_NE(state.find("\"dnd\":true"), std::string::npos) << state;
  EXPECT_EQ(verbs.Execute("list"), "ok {\"items\":[\"20\"]}");
  EXPECT_EQ(verbs.Execute("redial"), "ok");
  EXPECT_EQ(lines_[0]->ops.back(), "call 20");
  lines_[0]->Announce(CallState::kConnected);
  EXPECT_EQ(verbs.Execute("transfer blind"), "error: usage: transfer [blind TEXT | attended]");
  EXPECT_EQ(verbs.Execute("transfer blind  \"Bob\" <sip:300@host>"), "ok {\"line\":1}");
  EXPECT_EQ(lines_[0]->ops.back(), "transfer sip:300@host");
  EXPECT_EQ(audio_.Place(), AudioPlace::Nothing());
}

TEST_F(PhoneControllerTest, RecordTogglesTheCurrentCallAndTheCallsEndStopsIt) {
  CommandProcessor verbs;
  RegisterPhoneVerbs(verbs, [this] { return controller_.get(); });
  const int record = static_cast<int>(ControlId::kRecord);
  EXPECT_TRUE(view_.enabled[record]) << "the Record button is not greyed";
  EXPECT_FALSE(controller_->Record());
  Ring(0, 1, "555-1234", "Alice");
  controller_->Answer();
  lines_[0]->Announce(CallState::kConnected);
  EXPECT_EQ(verbs.Execute("record"), "ok {\"line\":1,\"recording\":true,\"path\":\"/rec/1.wav\"}");
  EXPECT_EQ(view_.buttons[record], std::make_pair(ButtonImage::kRecordOn, true));
  std::string state = verbs.Execute("state");
  EXPECT_NE(state.find("\"recording\":true,\"recordingPath\":\"/rec/1.wav\""), std::string::npos) << state;
  controller_->OnButton(ControlId::kRecord);
  EXPECT_EQ(view_.buttons[record], std::make_pair(ButtonImage::kRecordOff, false));
  controller_->OnButton(ControlId::kRecord);
  lines_[0]->Announce(CallState::kIdle);  // the far end hangs up
  EXPECT_EQ(recording_.ops, (std::vector<std::string>{"start 0 \"Alice\" 555-1234", "stop 0",
                                                       "start 0 \"Alice\" 555-1234", "stop 0"}));
  EXPECT_EQ(view_.buttons[record], std::make_pair(ButtonImage::kRecordOff, false));
  std::vector<std::string> said;  // each start and stop logged once
  for (const auto& [text, level] : log_.entries) if (text.starts_with("Recording ")) said.push_back(text);
  EXPECT_EQ(said, (std::vector<std::string>{"Recording Started", "Recording Stopped", "Recording Started",
                                            "Recording Stopped"}));
  EXPECT_EQ(controller_->OnCommand(2003), CommandResult::kDone);
  EXPECT_EQ(view_.opened, (std::vector<std::string>{"/rec"}));
}

TEST_F(PhoneControllerTest, HelpAndWebPageCommandsOpenTheManualsSectionsOrNothingWithoutIt) {
  const std::pair<int, std::string> pages[] = {{9, ""},
                                               {9005, "#welcome"},
                                               {1014, "#invite"},
                                               {6028, "#accounts"},
                                               {6099, "#troubleshooting"}};
  for (const auto& [command, section] : pages) {
    EXPECT_EQ(controller_->OnCommand(command), CommandResult::kUnavailable) << command;
  }
  EXPECT_TRUE(view_.opened.empty());
  manual_ = "/doc/manual.html";
  Build(nullptr);
  for (const auto& [command, section] : pages) {
    EXPECT_EQ(controller_->OnCommand(command), CommandResult::kDone) << command;
    EXPECT_EQ(view_.opened.back(), "file:///doc/manual.html" + section) << command;
  }
}

TEST_F(PhoneControllerTest, AutoRecordsEveryCallFromConnectWhenSetAndNotZero) {
  for (auto [value, records] : {std::pair{"", false}, {"0", false}, {"1", true}, {"yes", true}}) {
    settings_.SetSettingString("Recorder", "Auto", value);
    recording_.ops.clear();
    int n = Connect("201");
    EXPECT_EQ(controller_->Line(n).recording, records) << value;
    controller_->HangUp();
    lines_[n]->Announce(CallState::kIdle);
    const std::vector<std::string> expected = {"start 0 \"201\" 201", "stop 0"};
    EXPECT_EQ(recording_.ops, records ? expected : std::vector<std::string>{}) << value;
  }
}

TEST_F(PhoneControllerTest, ConsoleAttendedTransferJoinsTheCurrentCallOnlyWhenBothAreConnected) {
  CommandProcessor verbs;
  RegisterPhoneVerbs(verbs, [this] { return controller_.get(); });
  Connect("201");
  controller_->OnButton(ControlId::kHold);
  Type("202");
  controller_->Dial(false);  // line 2 dials: not yet connected
  EXPECT_EQ(verbs.Execute("transfer attended"), "error: both lines need a connected call");
  lines_[1]->Announce(CallState::kConnected);
  EXPECT_EQ(verbs.Execute("transfer attended"), "ok {\"line\":2}");
  EXPECT_EQ(lines_[1]->ops.back(), "join");
  EXPECT_EQ(audio_.Place(), AudioPlace::Nothing());
}

TEST_F(PhoneControllerTest, ConsoleAnswerAndHangUpTakeALineNumber) {
  CommandProcessor verbs;
  RegisterPhoneVerbs(verbs, [this] { return controller_.get(); });
  EXPECT_EQ(verbs.Execute("hangup"), "error: no call to hang up");
  EXPECT_EQ(verbs.Execute("answer 3"), "error: usage: answer [1|2]");
  EXPECT_EQ(verbs.Execute("hangup x"), "error: usage: hangup [1|2]");
  Ring(1, 1);
  EXPECT_EQ(verbs.Execute("answer 1"), "error: no call is ringing");
  EXPECT_EQ(verbs.Execute("hangup 1"), "error: no call to hang up");
  EXPECT_EQ(verbs.Execute("hangup 2"), "ok {\"line\":2}");  // rejects the ringing call
  EXPECT_EQ(lines_[1]->ops, (std::vector<std::string>{"hangup"}));
  lines_[1]->Announce(CallState::kIdle);
  Ring(0, 1);
  EXPECT_EQ(verbs.Execute("hangup"), "ok {\"line\":1}");  // no current call: the ringing one
  EXPECT_EQ(lines_[0]->ops, (std::vector<std::string>{"hangup"}));
  lines_[0]->Announce(CallState::kIdle);
  Ring(1, 1);
  EXPECT_EQ(verbs.Execute("answer 2"), "ok {\"line\":2}");
  EXPECT_EQ(lines_[1]->ops.back(), "answer");
  lines_[1]->Announce(CallState::kConnected);
  EXPECT_EQ(verbs.Execute("hangup 2"), "ok {\"line\":2}");
  EXPECT_EQ(lines_[1]->ops.back(), "hangup");
}

TEST_F(PhoneControllerTest, IdleDisplayRowsAndLineTipsShowEachRegistrationState) {
  using P = sip::RegistrationPhase;
  const std::tuple<P, int, const char*, std::string, bool> cases[] = {
      {P::kRegistering, 0, "", "registering", false},
      {P::kRegistered, 0, "", "registered", false},
      {P::kNoPassword, 401, "Unauthorized", "refused: no password", true},
      {P::kRefused, 407, "Proxy Authentication Required", "refused: wrong password", true},
      {P::kNoAnswer, 0, "", "server not answering", true},
      {P::kRejected, 403, "Forbidden", "rejected: 403 Forbidden", true}};
  for (const auto& [phase, status, reason, words, warning] : cases) {
    controller_->OnRegistration({1, "sip:100@pbx", "proxy:5080", true, false, 0, phase, status, reason});
    EXPECT_EQ(view_.rows.lower, (std::vector<DisplayRow>{{"Line 1: 100@pbx " + words, warning}}));
    EXPECT_EQ(view_.tips[0], "Line 1: 100@pbx " + words + " (server proxy:5080)");
  }
  controller_->OnRegistration({2, "sip:101@", "", false, true, 0, P::kPeerToPeer, 0, ""});
  EXPECT_EQ(view_.rows.lower.back(), (DisplayRow{"Line 2: 101 peer to peer (no server)"}));
  Connect("201");  // a call's own rows take their place
  EXPECT_EQ(view_.rows.lower, (std::vector<DisplayRow>{{"201"}}));
}

TEST_F(PhoneControllerTest, ACallShowsItsPartyAndDigitsAndAnEndedCallItsReasonForFiveSeconds) {
  Ring(0, 1, "201", "Ann");
  controller_->Answer();
  lines_[0]->Announce(CallState::kConnected);
  for (char c : std::string("1#")) controller_->OnTypedChar(c);
  EXPECT_EQ(view_.rows.lower, (std::vector<DisplayRow>{{"Ann <201>"}, {"Digits: 1#"}}));
  for (std::string reason : {"Busy Here", "Decline", "Not Found", "Server not replying", "Authorization failed",
                             "No common codec", "Other side hung up", ""}) {
    lines_[0]->snapshot.endReason = reason;
    lines_[0]->Announce(CallState::kIdle);
    EXPECT_EQ(view_.rows.note, reason.empty() ? "" : "[" + reason + "]");
    Advance(4999);
    EXPECT_EQ(view_.rows.note, reason.empty() ? "" : "[" + reason + "]");
    Advance(1);
    EXPECT_EQ(view_.rows.note, "") << reason;
    Connect("202");
    EXPECT_EQ(view_.rows.lower, (std::vector<DisplayRow>{{"202"}})) << "no digits of the last call";
  }
}

}  // namespace
}  // namespace corvina::app
