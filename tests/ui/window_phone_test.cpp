// The window wired to the real phone controller on fake lines: keypad clicks fill the dial
// box, Call places the call, keys typed during the call go out as DTMF and never reach the dial
// box, Ctrl+H hangs up in the call, and the display and line button follow; the Hold button is
// pressed in while the far end holds the call; a paused conference's button alternates its two
// images every 500 ms; the Intercom button (mouse or Space) holds and lets go of the intercom.
#include <gtest/gtest.h>
#include <QApplication>
#include <QMessageBox>
#include <QtTest/QTest>

#include <filesystem>

#include "platform/log_sink.h"
#include "platform/manual_loop.h"
#include "platform/memory_settings_store.h"
#include "tests/app/phone_fakes.h"
#include "tests/support/temp_folder.h"
#include "ui/controller_input.h"
#include "ui/qt_main_view.h"

namespace corvina::ui {
namespace {

using app::ButtonImage;
using app::ControlId;
using call::CallState;

class RecordingTonesOnly final : public app::PhoneTones {
 public:
  void Tone(std::string_view, bool, bool) override {}
  void StopTone() override {}
  void KeyClick() override {}
};

class WindowPhoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path& home = folder_.Path();
    program_ = std::make_unique<app::ProgramObjects>(platform::PhonePaths{
        (home / "registry.db").string(), (home / "Documents").string(), (home / "run").string()});
    settings_.SetSettingString("Settings", "InstallWizRun", "1");
    window_ = std::make_unique<app::MainWindow>(*program_, view_);
    phone_ = std::make_unique<app::PhoneController>(app::PhoneControllerParts{
        settings_, log_, wall_, tick_, timers_, view_, tones_,
        [this](int i) {
          auto line = std::make_unique<testing::FakeLine>();
          line->index = i;
          lines_[i] = line.get();
          return line;
        },
        (home / "logs").string()});
    input_ = std::make_unique<ControllerInput>(*window_, phone_.get());
    view_.SetInput(input_.get());
    phone_->Initialise();
    view_.show();
    view_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view_));
  }
  void TearDown() override {
    view_.SetInput(nullptr);
    phone_.reset();
    window_.reset();
  }
  void Click(int id) { QTest::mouseClick(view_.Control(static_cast<ControlId>(id)), Qt::LeftButton); }
  int ImageOf(ControlId id) { return view_.Control(id)->property("image").toInt(); }

  corvina::testing::TempFolder folder_{"window-phone"};
  std::unique_ptr<app::ProgramObjects> program_;
  platform::MemorySettingsStore store_;
  platform::Settings settings_{store_};
  platform::NullLogSink log_;
  platform::FakeWallClock wall_{1'700'000'000};
  platform::FakeTickClock tick_;
  platform::ManualTimerHost timers_;
  RecordingTonesOnly tones_;
  testing::FakeLine* lines_[2] = {nullptr, nullptr};
  QtMainView view_;
  std::unique_ptr<app::MainWindow> window_;
  std::unique_ptr<app::PhoneController> phone_;
  std::unique_ptr<ControllerInput> input_;
};

TEST_F(WindowPhoneTest, TheKeypadDialsAndKeysInTheCallBecomeDtmf) {
  EXPECT_EQ(ImageOf(ControlId::kCall), static_cast<int>(ButtonImage::kCallNothingToDo));
  for (int id : {104, 113, 113}) Click(id);  // "2", "0", "0"
  EXPECT_EQ(view_.DialBoxControl()->currentText(), "200");
  EXPECT_EQ(ImageOf(ControlId::kCall), static_cast<int>(ButtonImage::kCallSomethingToDo));

  Click(static_cast<int>(ControlId::kCall));
  ASSERT_EQ(lines_[0]->ops, std::vector<std::string>{"call 200"});
  lines_[0]->Announce(CallState::kConnected);
  EXPECT_EQ(view_.Display()->Rows().title, "Call Answered");
  EXPECT_EQ(view_.Display()->Rows().left, "Line 1");
  EXPECT_EQ(ImageOf(ControlId::kLine1), static_cast<int>(ButtonImage::kLineLit));
  EXPECT_FALSE(view_.DialBoxControl()->isEnabled());

  QWidget* focus = QApplication::focusWidget();
  ASSERT_NE(focus, nullptr);
  const std::string before = view_.DialBoxControl()->currentText().toStdString();
  QTest::sendKeyEvent(QTest::Click, focus, Qt::Key_5, "5", Qt::NoModifier);
  QTest::sendKeyEvent(QTest::Click, focus, Qt::Key_P, "p", Qt::NoModifier);
  QTest::sendKeyEvent(QTest::Click, focus, Qt::Key_NumberSign, "#", Qt::ShiftModifier);
  EXPECT_EQ(view_.DialBoxControl()->currentText().toStdString(), before);  // DTMF only
  QTest::sendKeyEvent(QTest::Click, focus, Qt::Key_H, "", Qt::ControlModifier);
  EXPECT_EQ(lines_[0]->ops, (std::vector<std::string>{"call 200", "digits 5", "digits 7", "digits #", "hangup"}));
}

TEST_F(WindowPhoneTest, TheHoldButtonIsPressedInWhileTheFarEndHasTheCallOnHold) {
  phone_->EnterDialText("200");
  Click(static_cast<int>(ControlId::kCall));
  for (bool held : {false, true, false}) {
    lines_[0]->snapshot.holdApplied = held;
    lines_[0]->Announce(CallState::kConnected);
    EXPECT_EQ(view_.Control(ControlId::kHold)->property("pressedIn").toBool(), held);
  }
}

TEST_F(WindowPhoneTest, APausedConferencesButtonAlternatesItsImagesEvery500Ms) {
  auto call = [&](const char* number, int n) {
    phone_->EnterDialText(number);
    Click(static_cast<int>(ControlId::kCall));
    lines_[n]->Announce(CallState::kConnected);
  };
  auto pressConference = [&] {
    Click(static_cast<int>(ControlId::kConference));
    for (QWidget* box : view_.findChildren<QMessageBox*>()) box->close();  // window-modal
  };
  call("201", 0);
  pressConference();
  EXPECT_EQ(ImageOf(ControlId::kConference), static_cast<int>(ButtonImage::kConferenceRunning));
  phone_->EnterDialText("202");
  Click(static_cast<int>(ControlId::kCall));  // pauses the conference
  std::vector<int> images;
  for (int i = 0; i < 4; ++i) {
    timers_.Advance(500);
    images.push_back(ImageOf(ControlId::kConference));
  }
  EXPECT_EQ(images, (std::vector<int>{29, 50, 29, 50}));
  lines_[1]->Announce(CallState::kConnected);
  pressConference();  // resumes with the new call: lit and steady
  timers_.Advance(1500);
  EXPECT_EQ(ImageOf(ControlId::kConference), static_cast<int>(ButtonImage::kConferenceRunning));
  EXPECT_EQ(phone_->CurrentConference().Members(), 3);
}

TEST_F(WindowPhoneTest, TheIntercomButtonAndSpaceHoldAndLetGoOfTheIntercom) {
  phone_->EnterDialText("300");
  QWidget* intercom = view_.Control(ControlId::kIntercom);
  QTest::mousePress(intercom, Qt::LeftButton);
  ASSERT_EQ(lines_[0]->ops, std::vector<std::string>{"call 300"});
  EXPECT_TRUE(phone_->IntercomHeld());
  lines_[0]->Announce(CallState::kConnected);
  QTest::mouseRelease(intercom, Qt::LeftButton);
  EXPECT_FALSE(phone_->IntercomHeld());
  EXPECT_EQ(phone_->CurrentLine(), app::PhoneController::kNoLine);
  EXPECT_EQ(phone_->PrivateTimerLeftMs(0), app::PhoneController::kPrivateTimerMs);

  timers_.Advance(20000);
  view_.centralWidget()->setFocus();
  QTest::keyPress(view_.centralWidget(), Qt::Key_Space);  // the same call, talked on again
  EXPECT_TRUE(phone_->IntercomHeld());
  EXPECT_EQ(phone_->CurrentLine(), 0);
  QTest::keyRelease(view_.centralWidget(), Qt::Key_Space);
  EXPECT_FALSE(phone_->IntercomHeld());
  timers_.Advance(app::PhoneController::kPrivateTimerMs);
  EXPECT_EQ(lines_[0]->ops, (std::vector<std::string>{"call 300", "hangup"}));
}

}  // namespace
}  // namespace corvina::ui
