// The window's controls report the main window's ids: keypad, call buttons, line buttons, the
// Transfer long press, Intercom press and release, sliders on release, the dial box's list,
// the menu commands; the keyboard reaches the same entries (F3/F4, Ctrl shortcuts in every
// state, DTMF only for unmodified keys in a call); the layout follows the window's shape.
#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QSlider>
#include <QtTest/QTest>

#include <cmath>
#include <string>
#include <vector>

#include "ui/qt_main_view.h"

namespace corvina::ui {
namespace {

using app::ControlId;

class RecordingInput final : public ViewInput {
 public:
  void OnCommand(int id) override { Add("command " + std::to_string(id)); }
  void OnButton(int id) override { Add("button " + std::to_string(id)); }
  void OnIntercom(bool pressed) override { Add(pressed ? "intercom down" : "intercom up"); }
  void OnSliderReleased(int id, int value) override { Add("slider " + std::to_string(id) + " " + std::to_string(value)); }
  void OnDialTextChanged(std::string_view text) override { Add("text " + std::string(text)); }
  void OnDialListOpening() override {
    Add("opening");
    if (onOpening) onOpening();
  }
  void OnCallKey() override { Add("call key"); }
  void OnEndKey() override { Add("end key"); }
  void OnBackspaceKey() override { Add("backspace"); }
  void OnSecondDigit(char digit) override { Add(std::string("digit ") + digit); }
  void OnHotkey(int id, bool down) override { Add("hotkey " + std::to_string(id) + (down ? " down" : " up")); }
  bool InNormalCall() const override { return inCall; }

  void Add(std::string event) { events.push_back(std::move(event)); }
  std::vector<std::string> Take() { return std::exchange(events, {}); }

  std::vector<std::string> events;
  bool inCall = false;
  std::function<void()> onOpening;
};

// The text a key types (none for the handheld's own keys, which QTest cannot spell).
QString TextOf(Qt::Key key, Qt::KeyboardModifiers modifiers) {
  if ((modifiers & (Qt::ControlModifier | Qt::AltModifier)) != 0) return {};
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return QString(QChar('0' + (key - Qt::Key_0)));
  if (key >= Qt::Key_A && key <= Qt::Key_Z) {
    const QChar letter('a' + (key - Qt::Key_A));
    return (modifiers & Qt::ShiftModifier) != 0 ? QString(letter.toUpper()) : QString(letter);
  }
  if (key == Qt::Key_NumberSign) return "#";
  if (key == Qt::Key_Asterisk) return "*";
  if (key == Qt::Key_Period) return ".";
  return {};
}

class WindowControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view_.SetInput(&input_);
    view_.resize(480, 720);
    view_.show();
    view_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view_));
  }
  void TearDown() override { view_.SetInput(nullptr); }

  QWidget* Widget(ControlId id) { return view_.Control(id); }
  void Click(ControlId id) { QTest::mouseClick(Widget(id), Qt::LeftButton); }
  // Waits (bounded) until the window's layout has run for its new size.
  void ResizeTo(int width, int height) {
    view_.resize(width, height);
    for (int i = 0; i < 200 && view_.centralWidget()->width() != width; ++i) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QCoreApplication::processEvents();
  }

  RecordingInput input_;
  QtMainView view_;
};

TEST_F(WindowControlsTest, ButtonsReportTheirIds) {
  std::vector<std::string> expected;
  for (int id = 103; id <= 114; ++id) {
    Click(static_cast<ControlId>(id));
    expected.push_back("button " + std::to_string(id));
  }
  for (ControlId id : {ControlId::kCall, ControlId::kHangUp, ControlId::kTransfer, ControlId::kRecord, ControlId::kDnd,
                       ControlId::kHold, ControlId::kLine1, ControlId::kLine2, ControlId::kConference}) {
    Click(id);
    expected.push_back("button " + std::to_string(static_cast<int>(id)));
  }
  QTest::mousePress(Widget(ControlId::kIntercom), Qt::LeftButton);
  QTest::mouseRelease(Widget(ControlId::kIntercom), Qt::LeftButton);
  expected.insert(expected.end(), {"intercom down", "intercom up"});
  EXPECT_EQ(input_.Take(), expected);
  // The keypad's texts match the ids' characters.
  EXPECT_EQ(static_cast<QPushButton*>(Widget(ControlId::kKey1))->text(), "1");
  EXPECT_EQ(static_cast<QPushButton*>(Widget(static_cast<ControlId>(112)))->text(), "*");
  EXPECT_EQ(static_cast<QPushButton*>(Widget(static_cast<ControlId>(113)))->text(), "0");
  EXPECT_EQ(static_cast<QPushButton*>(Widget(ControlId::kKeyHash))->text(), "#");
}

TEST_F(WindowControlsTest, ALongPressOnTransferSendsQuickTransferAndNoClick) {
  LongPressButton* transfer = view_.TransferButton();
  transfer->SetLongPressMs(0);
  QTest::mousePress(transfer, Qt::LeftButton);
  for (int i = 0; i < 200 && input_.events.empty(); ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  QTest::mouseRelease(transfer, Qt::LeftButton);
  EXPECT_EQ(input_.Take(), std::vector<std::string>{"command 7100"});
}

TEST_F(WindowControlsTest, SlidersReportOnReleaseAndTheListIsFilledAsItOpens) {
  auto* play = static_cast<QSlider*>(Widget(ControlId::kPlaySlider));
  play->setSliderDown(true);
  play->setValue(-40);
  play->setValue(-300);  // held to the range
  play->setSliderDown(false);
  view_.SetSliders(12, 13);  // the controller's values are not reported back
  input_.onOpening = [this] { view_.SetDialList({"200", "_____________________", "Zoë <201>"}); };
  view_.DialBoxControl()->showPopup();
  EXPECT_EQ(view_.DialBoxControl()->count(), 3);
  view_.DialBoxControl()->hidePopup();
  view_.SelectDialListItem(2);
  EXPECT_EQ(input_.Take(), (std::vector<std::string>{"slider 142 -127", "opening", "text Zoë <201>"}));
}

TEST_F(WindowControlsTest, EveryMenuCommandReportsItsId) {
  const int commands[] = {1001, 1018, 1007, 1005, 1006, 1002, 1008, 1009, 1015, 1017, 2001, 2050,
                          2002, 2003, 2004, 1011, 1012, 1013, 1014, 9, 9005, 9090};
  std::vector<std::string> expected;
  for (int id : commands) {
    QAction* action = view_.MenuAction(id);
    ASSERT_NE(action, nullptr) << id;
    action->trigger();
    expected.push_back("command " + std::to_string(id));
  }
  EXPECT_EQ(input_.Take(), expected);
  // The shortcut shown beside an item sends that item's command.
  int shortcuts = 0;
  for (int id : commands) {
    const QString text = view_.MenuAction(id)->text();
    const qsizetype at = text.indexOf("\tCtrl+");
    if (at < 0) continue;
    ++shortcuts;
    const auto key = static_cast<Qt::Key>(Qt::Key_A + (text.at(at + 6).unicode() - 'A'));
    view_.centralWidget()->setFocus();
    QTest::sendKeyEvent(QTest::Click, view_.centralWidget(), key, "", Qt::ControlModifier);
    EXPECT_EQ(input_.Take(), std::vector<std::string>{"command " + std::to_string(id)}) << text.toStdString();
  }
  EXPECT_EQ(shortcuts, 7);
  view_.SetMenuItem(app::MenuId::kHangUp, false, false);
  view_.SetMenuItem(app::MenuId::kDndOn, true, true);
  EXPECT_FALSE(view_.MenuAction(1007)->isEnabled());
  EXPECT_TRUE(view_.MenuAction(1008)->isChecked());
}

TEST_F(WindowControlsTest, KeysReachTheirEntriesAndOnlyUnmodifiedKeysBecomeDtmfInACall) {
  enum Focus { kDialBox, kElsewhere };
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    Focus focus;
    bool inCall;
    std::vector<std::string> expected;
  } cases[] = {
      {Qt::Key_F3, Qt::NoModifier, kDialBox, false, {"call key"}},
      {Qt::Key_Call, Qt::NoModifier, kElsewhere, true, {"call key"}},
      {Qt::Key_F4, Qt::NoModifier, kElsewhere, true, {"end key"}},
      {Qt::Key_Hangup, Qt::NoModifier, kDialBox, false, {"end key"}},
      {Qt::Key_H, Qt::ControlModifier, kElsewhere, true, {"command 1007"}},  // not DTMF 4
      {Qt::Key_A, Qt::ControlModifier, kDialBox, false, {"command 1005"}},  // not select-all
      {Qt::Key_D, Qt::ControlModifier, kDialBox, false, {"command 1001"}},
      {Qt::Key_5, Qt::NoModifier, kElsewhere, true, {"button 107"}},
      {Qt::Key_J, Qt::NoModifier, kElsewhere, true, {"button 107"}},
      {Qt::Key_S, Qt::NoModifier, kElsewhere, true, {"button 109"}},
      {Qt::Key_A, Qt::ShiftModifier, kElsewhere, true, {}},
      {Qt::Key_5, Qt::AltModifier, kElsewhere, true, {}},
      {Qt::Key_NumberSign, Qt::ShiftModifier, kElsewhere, true, {"button 114"}},
      {Qt::Key_Asterisk, Qt::KeypadModifier, kElsewhere, true, {"button 112"}},
      {Qt::Key_Return, Qt::NoModifier, kElsewhere, true, {"button 114"}},
      {Qt::Key_Escape, Qt::NoModifier, kElsewhere, true, {"button 112"}},
      {Qt::Key_Escape, Qt::NoModifier, kDialBox, false, {"command 1002"}},
      {Qt::Key_Return, Qt::NoModifier, kDialBox, false, {"command 1001"}},
      {Qt::Key_Backspace, Qt::NoModifier, kDialBox, false, {"backspace"}},
      {Qt::Key_7, Qt::NoModifier, kElsewhere, false, {"digit 7"}},
      {Qt::Key_7, Qt::NoModifier, kDialBox, false, {"text 7"}},
      {Qt::Key_Period, Qt::KeypadModifier, kDialBox, false, {"button 112"}},
      {Qt::Key_B, Qt::NoModifier, kElsewhere, false, {"text b"}},  // the dial box takes it
      {Qt::Key_Space, Qt::NoModifier, kElsewhere, true, {"intercom down", "intercom up"}},  // held Intercom
      {Qt::Key_I, Qt::ControlModifier | Qt::AltModifier, kElsewhere, true, {"hotkey 6 down", "hotkey 6 up"}},
      {Qt::Key_F9, Qt::NoModifier, kDialBox, false, {"hotkey 7 down", "hotkey 7 up"}},
      {Qt::Key_K, Qt::AltModifier, kElsewhere, false, {}},  // its hotkey was taken away
  };
  // Stored as the window system's modifier flags and virtual keys: Ctrl+Alt+I, F9, Alt+K.
  ASSERT_TRUE(view_.RegisterHotkey(6, 3, 'I') && view_.RegisterHotkey(7, 0, 0x78) && view_.RegisterHotkey(8, 1, 'K'));
  view_.UnregisterHotkey(8);
  for (const auto& c : cases) {
    const std::string what = QKeySequence(c.key | c.modifiers).toString().toStdString() + (c.inCall ? " in a call" : "");
    view_.SetDialText("");
    view_.SetDialBoxEnabled(!c.inCall);
    input_.inCall = c.inCall;
    QWidget* target = c.focus == kDialBox ? static_cast<QWidget*>(view_.DialBoxControl())
                                          : view_.centralWidget();
    target->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), target) << what;
    input_.Take();
    QTest::sendKeyEvent(QTest::Click, target, c.key, TextOf(c.key, c.modifiers), c.modifiers);
    EXPECT_EQ(input_.Take(), c.expected) << what;
  }
}

TEST_F(WindowControlsTest, TheLayoutFollowsTheWindowsShapeOnResize) {
  ResizeTo(420, 760);
  EXPECT_TRUE(view_.Portrait());
  EXPECT_GE(Widget(ControlId::kKey1)->geometry().top(), Widget(ControlId::kDialBox)->geometry().bottom());
  ResizeTo(900, 480);
  EXPECT_FALSE(view_.Portrait());
  EXPECT_GE(Widget(ControlId::kKey1)->geometry().left(), Widget(ControlId::kDialBox)->geometry().right());
  EXPECT_LT(Widget(ControlId::kKey1)->geometry().top(), Widget(ControlId::kDialBox)->geometry().bottom());
  // Nothing overlaps the keypad and every control stays inside the window.
  for (ControlId id : {ControlId::kCall, ControlId::kHangUp, ControlId::kLine1, ControlId::kLine2, ControlId::kDisplay}) {
    EXPECT_FALSE(Widget(id)->geometry().intersects(Widget(ControlId::kKey1)->geometry()));
    EXPECT_TRUE(view_.centralWidget()->rect().contains(Widget(id)->geometry()));
  }
  ResizeTo(420, 760);
  EXPECT_TRUE(view_.Portrait());
  // The status pane takes the lower part; the controls move up out of its way.
  view_.ShowStatusWindow(true);
  const QRect pane = view_.StatusWindowList()->geometry();
  EXPECT_GT(pane.height(), 0);
  for (ControlId id : {ControlId::kKeyHash, ControlId::kCall, ControlId::kRecordSlider}) {
    EXPECT_LT(Widget(id)->geometry().bottom(), pane.top());
  }
  // Registration lines arriving later push the list down; nothing scrolls sideways.
  view_.RegistrationText()->setText("Line 1: sip:100@registrar.example.net:5060 - not registered\nLine 2: -");
  QCoreApplication::processEvents();
  EXPECT_GE(view_.RegistrationText()->height(), view_.RegistrationText()->heightForWidth(pane.width()));
  EXPECT_EQ(view_.StatusWindowList()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  view_.ShowStatusWindow(false);
  EXPECT_GT(Widget(ControlId::kRecordSlider)->geometry().bottom(), pane.top());
  ResizeTo(300, 400);  // the smallest window clips no label
  for (QPushButton* b : view_.centralWidget()->findChildren<QPushButton*>()) {
    EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()) + 8, b->width()) << b->text().toStdString();
  }
}

// The dark line keys' text against their background: at least 4.5:1 in relative luminance.
TEST(ButtonLooks, DarkLineKeysTextStandsOut) {
  auto luminance = [](const char* colour) {
    const QColor c(colour);
    auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF()) + 0.05;
  };
  const ButtonLook look = LookOf(app::ButtonImage::kLineDark);
  EXPECT_GE(luminance(look.foreground) / luminance(look.background), 4.5) << look.foreground;
}

}  // namespace
}  // namespace corvina::ui
