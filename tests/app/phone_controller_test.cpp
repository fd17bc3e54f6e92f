// The phone controller on fake lines, a recording view and hand-driven clocks:
// - dialling picks the free line, holds a current call first, refuses with "Busy" when full;
// - hold, retrieve and transfer across two lines, and where the local audio goes meanwhile;
// - the hold the far end applied: the console's hold event, the state answer, the Hold button;
// - the Transfer button's blind transfer to new dial-box text, and transfer outcome events;
// - the hang-up button's fall-backs; keys as DTMF in a call, into the dial box otherwise;
// - missed calls, outside dialling range checks, the volume mapping and the phone-log times.
#include "tests/app/phone_controller_fixture.h"

namespace corvina::app {
namespace {

TEST_F(PhoneControllerTest, DialChoosesTheFreeLineHoldsTheCurrentCallAndRefusesWhenBothAreBusy) {
  EXPECT_EQ(engineStarts_, 1);
  Type("Ann <Bob> <sip:201@127.0.0.1>");
  controller_->Dial(false);
  EXPECT_EQ(lines_[0]->ops, (std::vector<std::string>{"call sip:201@127.0.0.1"}));
  EXPECT_EQ(controller_->CurrentLine(), 0);
  EXPECT_EQ(controller_->CallingLine(), 0);
  EXPECT_EQ(view_.rows.title, "Calling sip:201@127.0.0.1");
  EXPECT_EQ(tones_.played, (std::vector<std::string>{"Calling"}));
  EXPECT_TRUE(view_.lineLit[0]);
  EXPECT_FALSE(view_.dialEnabled);
  Advance(5000);
  EXPECT_EQ(tones_.played.size(), 2u);  // "Calling" repeats while ringing out
  lines_[0]->Announce(CallState::kConnected);
  EXPECT_EQ(controller_->CallingLine(), PhoneController::kNoLine);
  EXPECT_EQ(view_.rows.title, "Call Answered");
  // The call's audio takes over: the calling tone stops and does not come back.
  EXPECT_EQ(tones_.played, (std::vector<std::string>{"Calling", "Calling", "stop"}));
  Advance(5000);
  EXPECT_EQ(tones_.played.size(), 3u);

  // A second call puts the first on hold (fast blink) and goes out on line 1.
  controller_->OnDialTextChanged("202");
  controller_->Dial(false);
  EXPECT_TRUE(lines_[0]->hold);
  EXPECT_EQ(controller_->Indicators().State(0), LineIndicator::kHeld);
  EXPECT_EQ(lines_[1]->ops, (std::vector<std::string>{"call 202"}));
  EXPECT_EQ(controller_->CurrentLine(), 1);
  Advance(500);
  EXPECT_FALSE(view_.lineLit[0]);
  Advance(500);
  EXPECT_TRUE(view_.lineLit[0]);

  // Both busy, neither intercom: "Busy" and nothing else.
  lines_[1]->Announce(CallState::kConnected);
  tones_.played.clear();
  controller_->OnDialTextChanged("203");
  controller_->Dial(false);
  EXPECT_EQ(tones_.played, (std::vector<std::string>{"Busy"}));
  EXPECT_EQ(lines_[0]->ops.back(), "hold");
  EXPECT_EQ(lines_[1]->ops.back(), "hold");  // the current call was held first
  EXPECT_EQ(lines_[1]->ops.size(), 2u);
}

TEST_F(PhoneControllerTest, EmergencyNumbersKeepTheChosenLineWhenTheEmergencyLineIsUnusable) {
  settings_.SetSettingString("Settings", "EnableEmergencyMap", "1");
  settings_.SetSettingString("Settings", "EmergencyMap", "5555");
  settings_.SetSettingString("Settings", "EmergencyLine", "7");
  Type(" 112 ");
  controller_->Dial(false);
  EXPECT_EQ(lines_[0]->ops, (std::vector<std::string>{"call 5555"}));
  controller_->HangUp();
  lines_[0]->Announce(CallState::kIdle);
  settings_.SetSettingString("Settings", "EmergencyLine", "1");
  Type("1120");
  controller_->Dial(false);
  EXPECT_EQ(lines_[0]->ops.back(), "call 1120");
  EXPECT_TRUE(lines_[1]->ops.empty());
}

TEST_F(PhoneControllerTest, HoldRetrieveAndTransferAcrossTwoLines) {
  int first = Connect("201");
  EXPECT_EQ(audio_.Place(), AudioPlace::Line(first));
  audio_.journal = &lines_[first]->ops;
  const std::string n = std::to_string(first);
  controller_->OnButton(ControlId::kHold);
  // The local audio stops before the music starts and the hold is asked for: the held party
  // hears nothing of ours; retrieving undoes it in reverse (one sender on the line at a time).
  EXPECT_EQ(std::vector<std::string>(lines_[first]->ops.end() - 3, lines_[first]->ops.end()),
            (std::vector<std::string>{"audio none", "music " + n, "hold"}));
  EXPECT_EQ(audio_.Place(), AudioPlace::Nothing());
  EXPECT_EQ(controller_->CurrentLine(), PhoneController::kNoLine);
  EXPECT_EQ(log_.entries.back(), (std::pair<std::string, int>{"Call put on hold", 0}));
  EXPECT_NE(PhoneStateJson(*controller_).find("\"holdSource\":\"file\""), std::string::npos);
  controller_->OnButton(ControlId::kHold);  // nothing to hold: retrieves
  EXPECT_EQ(std::vector<std::string>(lines_[first]->ops.end() - 3, lines_[first]->ops.end()),
            (std::vector<std::string>{"unhold", "music off " + n, "audio line " + n}));
  EXPECT_EQ(controller_->CurrentLine(), first);
  EXPECT_EQ(audio_.Place(), AudioPlace::Line(first));
  EXPECT_EQ(PhoneStateJson(*controller_).find("\"holdSource\":\"file\""), std::string::npos);
  audio_.journal = nullptr;

  controller_->OnButton(ControlId::kTransfer);
  EXPECT_EQ(controller_->TransferSource(), first);
  EXPECT_TRUE(view_.buttons[117].second);
  EXPECT_TRUE(lines_[first]->hold);
  int second = Connect("202");
  EXPECT_NE(second, first);
  EXPECT_EQ(view_.rows.title, "Call Answered");
  controller_->UpdateStatusForTest();
  EXPECT_EQ(view_.rows.title, "Transfer");
  EXPECT_EQ(controller_->HangUpImage(), ButtonImage::kHangUpTransfer);
  controller_->OnButton(ControlId::kTransfer);
  EXPECT_EQ(lines_[second]->ops.back(), "join");
  EXPECT_EQ(audio_.Place(), AudioPlace::Nothing());
  EXPECT_EQ(controller_->CurrentLine(), PhoneController::kNoLine);
  EXPECT_EQ(controller_->TransferSource(), PhoneController::kNoLine);
  EXPECT_FALSE(view_.buttons[117].second);

  // Transfer pressed again without a second call retrieves the held one.
  lines_[second]->Announce(CallState::kIdle);
  lines_[first]->Announce(CallState::kIdle);
  int third = Connect("203");
  controller_->Transfer();
  controller_->Transfer();
  EXPECT_EQ(controller_->CurrentLine(), third);
  EXPECT_FALSE(lines_[third]->hold);
}

TEST_F(PhoneControllerTest, TheLocalAudioGoesOnlyWhereTheCurrentLineIs) {
  struct Step {
    const char* what;
    std::function<void()> act;
    AudioPlace place;
  };
  const Step steps[] = {
      {"a call connects on line 1", [&] { Connect("201"); }, AudioPlace::Line(0)},
      {"an allowed intercom call on line 2 answers itself",
       [&] {
         lines_[1]->snapshot.intercomRequested = true;
         Ring(1, 1, "300", "Desk");
         lines_[1]->Announce(CallState::kConnected);
       },
       AudioPlace::Line(0)},
      {"line 2's button holds line 1 and takes the audio", [&] { controller_->LineButton(1); }, AudioPlace::Line(1)},
      {"line 1's button holds line 2 and brings it back", [&] { controller_->LineButton(0); }, AudioPlace::Line(0)},
      {"line 1's call ends", [&] { lines_[0]->Announce(CallState::kIdle); }, AudioPlace::Nothing()},
      {"line 2 is retrieved", [&] { controller_->Retrieve(); }, AudioPlace::Line(1)},
      {"a dial holds line 2 and waits for the answer", [&] { Type("202"), controller_->Dial(false); },
       AudioPlace::Nothing()},
      {"the dialled call connects", [&] { lines_[0]->Announce(CallState::kConnected); }, AudioPlace::Line(0)},
      {"hang-up", [&] { controller_->HangUp(); }, AudioPlace::Nothing()},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(audio_.Place(), step.place) << step.what;
    if (step.place.kind == AudioPlace::Kind::kLine) {
      EXPECT_FALSE(lines_[step.place.line]->hold) << step.what;
    }
    // A held call hears the music, and only a held one; a call that ends stops it.
    for (int i : {0, 1}) {
      EXPECT_EQ(audio_.HoldSourceOf(i) != media::HoldSourceKind::kNone, lines_[i]->hold) << step.what << i;
    }
  }
  // Every start was for the current line and came after a stop; nothing moved on its own.
  EXPECT_EQ(audio_.moves, (std::vector<std::string>{"line 0", "none", "line 1", "none", "line 0", "none", "line 1",
                                                    "none", "line 0", "none"}));
}

TEST_F(PhoneControllerTest, TheHoldTheFarEndAppliedReachesTheConsoleTheStateAndTheHoldButton) {
  int n = 0;
  const std::string events = ConsoleEvents("hold", [&] {
    n = Connect("201");
    // Announcements of the applied hold, each followed by the Hold button's look and the state.
    const std::pair<bool, bool> applied[] = {{true, true}, {true, true}, {false, false}, {true, true}};
    for (auto [held, pressed] : applied) {
      lines_[n]->snapshot.holdApplied = held;
      lines_[n]->Announce(CallState::kConnected);
      EXPECT_EQ(view_.buttons[static_cast<int>(ControlId::kHold)].second, pressed);
      EXPECT_NE(PhoneStateJson(*controller_).find(std::string("\"holdApplied\":") + (held ? "true" : "false")),
                std::string::npos);
    }
    lines_[n]->Announce(CallState::kIdle);  // a held call that ends was not resumed
    EXPECT_FALSE(view_.buttons[static_cast<int>(ControlId::kHold)].second);
  });
  const std::string held = "event {\"event\":\"hold\",\"line\":" + std::to_string(n + 1) + ",\"held\":";
  EXPECT_EQ(events, held + "true}\n" + held + "false}\n" + held + "true}\n");
}

TEST_F(PhoneControllerTest, TransferButtonTransfersBlindToNewDialBoxTextElseStartsTheAttendedTransfer) {
  // The dial-box text once the call is in `state` (null: the dialled number stays), the line's
  // last operation and the transfer source after Transfer. Either way the line blinks held,
  // nothing is current, the local audio has stopped and the dial box is empty.
  const std::tuple<const char*, CallState, const char*, int> cases[] = {
      {nullptr, CallState::kConnected, "hold", 0},
      {"300", CallState::kRemoteRinging, "hold", 0},
      {"Bob <sip:300@host>", CallState::kConnected, "transfer sip:300@host", PhoneController::kNoLine}};
  for (auto [text, state, op, source] : cases) {
    SCOPED_TRACE(text != nullptr ? text : "dialled number");
    Build(nullptr);
    Connect("201");
    lines_[0]->Announce(state);
    if (text != nullptr) controller_->EnterDialText(text);
    controller_->OnButton(ControlId::kTransfer);
    EXPECT_EQ(lines_[0]->ops.back(), op);
    EXPECT_EQ(controller_->TransferSource(), source);
    EXPECT_EQ(controller_->Indicators().State(0), LineIndicator::kHeld);
    EXPECT_EQ(controller_->CurrentLine(), PhoneController::kNoLine);
    EXPECT_EQ(audio_.Place(), AudioPlace::Nothing());
    EXPECT_EQ(controller_->DialText(), "");
  }
  // The call layer refused that target and the call goes on: its line button takes it back.
  controller_->LineButton(0);
  EXPECT_EQ(controller_->CurrentLine(), 0);
  EXPECT_EQ(audio_.Place(), AudioPlace::Line(0));
  EXPECT_FALSE(controller_->BlindTransfer("  "));
  lines_[0]->Announce(CallState::kDialling);
  EXPECT_FALSE(controller_->BlindTransfer("300")) << "only a connected call";
}

TEST_F(PhoneControllerTest, TransferOutcomesReachTheConsoleOncePerAnnouncement) {
  using Kind = call::TransferKind;
  using Outcome = call::TransferOutcome;
  // A line's announcements, the last of each call ending it; one without an outcome tells none.
  const std::tuple<Kind, Outcome, CallState> announced[] = {
      {Kind::kTransferee, Outcome::kFailed, CallState::kConnected},
      {Kind::kNone, Outcome::kNone, CallState::kConnected},
      {Kind::kTransferee, Outcome::kReplaced, CallState::kConnected},
      {Kind::kBlind, Outcome::kReferred, CallState::kIdle},
      {Kind::kBlind, Outcome::kFailed, CallState::kIdle},
      {Kind::kAttended, Outcome::kBridged, CallState::kIdle}};
  const std::string events = ConsoleEvents("transfer", [&] {
    for (auto [kind, outcome, state] : announced) {
      if (lines_[0]->snapshot.state == CallState::kIdle) Connect("201");
      std::tie(lines_[0]->snapshot.transferKind, lines_[0]->snapshot.transferOutcome) = std::pair(kind, outcome);
      lines_[0]->Announce(state);
    }
  });
  const std::string event = "event {\"event\":\"transfer\",\"line\":1,\"kind\":";
  EXPECT_EQ(events, event + "\"transferee\",\"result\":\"failed\"}\n" + event +
                        "\"transferee\",\"result\":\"replaced\"}\n" + event +
                        "\"blind\",\"result\":\"referred\"}\n" + event + "\"blind\",\"result\":\"failed\"}\n" + event +
                        "\"attended\",\"result\":\"bridged\"}\n");
}

TEST_F(PhoneControllerTest, HangUpButtonHangsUpElseRejectsElseClearsTheDialBox) {
  Ring(1, 1);
  Type("55");
  controller_->OnButton(ControlId::kHangUp);
  EXPECT_EQ(lines_[1]->ops, (std::vector<std::string>{"hangup"}));
  EXPECT_EQ(controller_->DialText(), "55");
  lines_[1]->Announce(CallState::kIdle);
  controller_->OnButton(ControlId::kHangUp);
  EXPECT_EQ(controller_->DialText(), "");
  EXPECT_EQ(view_.dialText, "");

  int n = Connect("201");
  controller_->OnButton(ControlId::kHangUp);
  EXPECT_EQ(lines_[n]->ops.back(), "hangup");
  EXPECT_EQ(controller_->CurrentLine(), PhoneController::kNoLine);
  EXPECT_FALSE(controller_->HangUp());  // nothing left
}

TEST_F(PhoneControllerTest, KeysAreDtmfInACallAndDialBoxTextOtherwise) {
  settings_.SetSettingString("Settings", "EnableKeyTone", "1");
  controller_->OnButton(ControlId::kKey1);
  controller_->OnButton(ControlId::kKeyHash);
  EXPECT_EQ(controller_->DialText(), "1#");
  EXPECT_EQ(tones_.played, (std::vector<std::string>{"click", "click"}));
  EXPECT_EQ(controller_->CallImage(), ButtonImage::kCallSomethingToDo);
  for (MenuId id : {MenuId::kDial, MenuId::kAddToAddressBook, MenuId::kAddQuickTransfer}) {
    EXPECT_TRUE(view_.menus[static_cast<int>(id)].first) << static_cast<int>(id);  // the dial box has text
  }
  controller_->Backspace();
  EXPECT_EQ(controller_->DialText(), "1");

  int n = Connect("201");
  for (char c : std::string("5sZ*")) controller_->OnTypedChar(c);
  controller_->OnButton(static_cast<ControlId>(113));  // "0"
  EXPECT_EQ(std::vector<std::string>(lines_[n]->ops.begin() + 1, lines_[n]->ops.end()),
            (std::vector<std::string>{"digits 5", "digits 7", "digits 9", "digits *", "digits 0"}));
  EXPECT_EQ(controller_->DialText(), "201");
  EXPECT_TRUE(view_.menus[static_cast<int>(MenuId::kHangUp)].first);
}

TEST_F(PhoneControllerTest, RingingAnsweringAndMissedCalls) {
  Ring(0, 1, "201", "Ann");
  EXPECT_EQ(view_.fronts, 1);
  EXPECT_EQ(tones_.played, (std::vector<std::string>{"Ringing ring"}));
  EXPECT_EQ(view_.rows.title, "Ringing 201");
  EXPECT_EQ(controller_->Indicators().State(0), LineIndicator::kRinging);
  EXPECT_TRUE(view_.menus[static_cast<int>(MenuId::kAnswer)].first);
  Ring(0, 2, "201", "Ann");
  EXPECT_EQ(view_.fronts, 1);
  EXPECT_EQ(view_.attention, 1);
  EXPECT_EQ(tones_.played.size(), 2u);
  lines_[0]->Announce(CallState::kIdle);  // cancelled while ringing
  EXPECT_EQ(controller_->Missed().Count(), 1);
  ASSERT_EQ(view_.tray.size(), 1u);
  EXPECT_EQ(view_.tray[0].rfind("You have 1 missed call(s).\r\nAnn <201> at ", 0), 0u) << view_.tray[0];
  EXPECT_EQ(controller_->Indicators().State(0), LineIndicator::kIdle);

  // An answered call is no missed call; dialling out clears the missed calls.
  Ring(0, 1, "202", "Bob");
  EXPECT_TRUE(controller_->Answer());
  EXPECT_EQ(lines_[0]->ops.back(), "answer");
  lines_[0]->Announce(CallState::kConnected);
  EXPECT_EQ(controller_->CurrentLine(), 0);
  lines_[0]->Announce(CallState::kIdle);
  EXPECT_EQ(controller_->Missed().Count(), 1);
  Connect("203");
  EXPECT_EQ(controller_->Missed().Count(), 0);
}

TEST_F(PhoneControllerTest, AnsweringASecondCallHoldsTheFirst) {
  int first = Connect("201");
  tones_.played.clear();
  Ring(1, 1, "202", "Bob");
  EXPECT_TRUE(tones_.played.empty());  // no ringing over a call
  EXPECT_EQ(view_.rows.title, "Calling 201");
  controller_->LineButton(1);
  EXPECT_TRUE(lines_[first]->hold);
  EXPECT_EQ(lines_[1]->ops, (std::vector<std::string>{"answer"}));
  lines_[1]->Announce(CallState::kConnected);
  EXPECT_EQ(controller_->CurrentLine(), 1);
  EXPECT_EQ(controller_->Indicators().State(first), LineIndicator::kHeld);
  EXPECT_EQ(controller_->Indicators().State(1), LineIndicator::kActive);
  EXPECT_FALSE(controller_->Answer());  // nothing rings any more
  EXPECT_EQ(lines_[1]->ops.size(), 1u);
}

TEST_F(PhoneControllerTest, OutsideDialAndListPicksAreRangeChecked) {
  EXPECT_FALSE(controller_->DialFromOutside("201", 3));
  EXPECT_FALSE(controller_->DialFromOutside("201", -1));
  EXPECT_TRUE(lines_[0]->ops.empty());
  EXPECT_TRUE(controller_->DialFromOutside("201", 2));
  EXPECT_EQ(lines_[1]->ops, (std::vector<std::string>{"call 201"}));
  controller_->OnDialListOpening();
  EXPECT_EQ(view_.list, (std::vector<std::string>{"201"}));
  EXPECT_FALSE(controller_->PickListItem(0));  // no address-book items
  EXPECT_FALSE(controller_->PickListItem(-1));
  // The address book joins the list, read afresh each time it opens.
  contacts::IniContactStore book(folder_ + "/contacts.ini");
  book.Add({"Ann", "", "300", ""});
  contacts_ = &book;
  Build(nullptr);
  book.Add({"", "Lee", "sip:lee@x.org", ""});
  controller_->OnDialListOpening();
  EXPECT_EQ(std::vector<std::string>(view_.list.end() - 2, view_.list.end()),
            (std::vector<std::string>{"Ann  <300>", " Lee <sip:lee@x.org>"}));
  EXPECT_TRUE(controller_->PickListItem(1));
  controller_.reset();
}

TEST_F(PhoneControllerTest, PlayVolumeMapsToTheOutputAndIsStored) {
  const std::pair<int, int> cases[] = {{-127, 0}, {-36, 0}, {-35, 1424}, {0, 51264}, {10, 65504}, {11, 65535},
                                       {127, 65535}};
  for (auto [value, volume] : cases) EXPECT_EQ(PhoneController::OutputVolume(value), volume) << value;
  controller_->OnSliderReleased(ControlId::kPlaySlider, 300);
  EXPECT_EQ(settings_.GetSettingString("Settings", "PlayVolume", ""), "127");
  EXPECT_EQ(outputVolume_, 65535);
}

std::string ReadUtf16Ascii(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) out.push_back(bytes[i]);
  return out;
}

TEST_F(PhoneControllerTest, PhoneLogCountsHoldAndForgetsTheLastCallsTimes) {
  int n = Connect("201");
  wall_.Advance(21);
  controller_->Hold();
  wall_.Advance(20);
  controller_->Retrieve();
  wall_.Advance(20);
  lines_[n]->Announce(CallState::kIdle);
  // A call that never connects on the same line.
  Type("202");
  controller_->Dial(false);
  lines_[n]->Announce(CallState::kDialling);
  wall_.Advance(30);
  lines_[n]->Announce(CallState::kIdle);
  std::tm start = wall_.LocalTime(1'700'000'000);
  std::string rows = ReadUtf16Ascii(PhoneLog(folder_, wall_).FilePath(start));
  EXPECT_NE(rows.find("01:01, 00:41, 00:20, \"201\",\"201\"\r\n"), std::string::npos) << rows;
  EXPECT_NE(rows.find("00:00, 00:00, 00:00, \"202\",\"202\"\r\n"), std::string::npos) << rows;
}

TEST_F(PhoneControllerTest, ADialThatDropsAnIntercomCallWaitsForThatLineToGoIdle) {
  // Line 0 carries an allowed intercom call, line 1 a normal call.
  Ring(0, 1, "300", "Desk");
  lines_[0]->snapshot.intercomRequested = true;
  lines_[0]->Announce(CallState::kIncomingRinging, 1);
  ASSERT_TRUE(controller_->Line(0).intercom);
  lines_[0]->Announce(CallState::kConnected);
  Ring(1, 1);
  controller_->Answer();
  lines_[1]->Announce(CallState::kConnected);
  Type("400");
  controller_->Dial(false);
  EXPECT_EQ(lines_[0]->ops.back(), "hangup");
  EXPECT_EQ(std::count(lines_[0]->ops.begin(), lines_[0]->ops.end(), "call 400"), 0);
  lines_[0]->Announce(CallState::kIdle);
  EXPECT_EQ(lines_[0]->ops.back(), "call 400");
  EXPECT_EQ(controller_->CurrentLine(), 0);

  // When the line never goes idle, the wait ends and nothing is placed later.
  lines_[0]->Announce(CallState::kConnected);
  lines_[0]->Announce(CallState::kIdle);
  lines_[0]->snapshot.intercomRequested = true;
  lines_[0]->Announce(CallState::kIncomingRinging, 1);
  lines_[0]->Announce(CallState::kConnected);
  Type("500");
  controller_->Dial(false);
  EXPECT_EQ(lines_[0]->ops.back(), "hangup");
  std::size_t before = lines_[0]->ops.size();
  Advance(PhoneController::kPendingDialMs);
  lines_[0]->Announce(CallState::kIdle);
  EXPECT_EQ(std::count(lines_[0]->ops.begin() + static_cast<long>(before), lines_[0]->ops.end(), "call 500"), 0);
}

TEST_F(PhoneControllerTest, SettingsTakeEffectOnlyWhenNoLineHasACall) {
  int n = Connect("201");
  controller_->ApplySettings();
  EXPECT_EQ(linesMade_, 2);
  Advance(PhoneController::kApplySettingsMs);
  EXPECT_EQ(linesMade_, 2);  // still in the call: tries again later
  lines_[n]->Announce(CallState::kIdle);
  Advance(PhoneController::kApplySettingsMs);
  EXPECT_EQ(linesMade_, 4);
  EXPECT_EQ(log_.entries.back().first, "Restarting so settings take effect.");
  Type("202");
  controller_->Dial(false);
  EXPECT_EQ(lines_[0]->ops, (std::vector<std::string>{"call 202"}));
}

}  // namespace
}  // namespace corvina::app
