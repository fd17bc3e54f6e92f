// The real phone in its Qt window (on the X display when there is one, e.g. xvfb-run, else
// offscreen) against real peers on loopback, driven through the window's widgets:
// - typed number, Call: "Calling ...", then "Call Answered" on "Line 1" with the timer from
//   0:00:00 and line 1 lit; Hang up sends the BYE that the SIPp UAS waits for;
// - baresip calls in: line 1 blinks and Call shows the answer image; Call answers it; a second
//   baresip call rings line 2, and answering it puts line 1 on hold (the held blink);
// - the display: each line's registration with Kamailio (a refusal before any resend, a dead
//   server after the 40 s give-up), "[Busy Here]" for 5 s, the far party and the digits typed.
// - quick lists: a long press on Transfer in a call opens the pop-up; its second item holds the
//   call and calls that item's number, and Transfer then sends the target the REFER naming
//   the first party (with Replaces); a held hotkey places the intercom call ("Answer-Mode:
//   Auto") and its release arms the call's 25 s timer.
// CORVINA_SHOTS=FOLDER saves the window's pictures there (docs/screenshots/).
// The phone runs in this process; the test steps run inside the window's loop.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QtTest/QTest>
#include <functional>
#include <set>
#include <array>

#include "app/controller/phone_controller.h"
#include "contacts/quick_lists.h"
#include "platform/local_address.h"
#include "platform/paths.h"
#include "tests/interop/baresip_peer.h"
#include "tests/interop/kamailio_registrar.h"
#include "tests/support/sipp_peer.h"
#include "tests/support/temp_folder.h"
#include "tests/ui/stepped_gui.h"
#include "ui/gui_frontend.h"

namespace corvina::ui {
namespace {

using app::ButtonImage;
using app::ControlId;
using app::LineIndicator;
using corvina::testing::FreeUdpPort;

int ImageOf(QtMainView& view, ControlId id) { return view.Control(id)->property("image").toInt(); }
void Click(QtMainView& view, ControlId id) { QTest::mouseClick(view.Control(id), Qt::LeftButton); }
// Both the lit and the dark image of a line button seen within `timeoutMs`.
bool Blinks(QtMainView& view, ControlId line, int timeoutMs) {
  std::set<int> seen;
  return LoopUntil(
      [&] {
        seen.insert(ImageOf(view, line));
        return seen.count(static_cast<int>(ButtonImage::kLineLit)) == 1 &&
               seen.count(static_cast<int>(ButtonImage::kLineDark)) == 1;
      },
      timeoutMs);
}

class WindowCallInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"/usr/bin/sipp", "/usr/bin/baresip"}) {
      if (access(tool, X_OK) != 0) GTEST_SKIP() << tool << " is missing";
    }
    // The phone contacts nothing beyond loopback: its own address, no STUN, no UPnP, no proxy.
    if (getenv("DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("CORVINA_HOME", folder_.Sub("home").c_str(), 1);
    setenv(platform::kLocalAddressVariable, "127.0.0.1", 1);
    program_ = std::make_unique<app::ProgramObjects>(platform::ResolvePhonePaths());
    sipPort_ = FreeUdpPort();
    for (const auto& [section, name, value] : std::vector<std::array<std::string, 3>>{
             {"SIP", "STUN", "0"},
             {"SIP", "UPNP", "0"},
             {"SIP", "Port", std::to_string(sipPort_)},
             {"SIP", "RTPPortBase", "31200"},
             {"DefaultLine", "UserName", "100"},
             {"DefaultLine", "Proxy", ""},
             {"Settings", "InstallWizRun", "1"}}) {
      ASSERT_TRUE(program_->settings.SetSettingString(section, name, value)) << name;
    }
  }

  // Runs the phone with its window until `steps` are done; the phone then ends its calls.
  void RunPhone(std::function<void(QtMainView&, app::MainWindow&)> steps) {
    static int argc = 1;
    static char name[] = "ui_interop_tests";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    platform::TerminationSignals none;  // not opened: no signal closes this window
    SteppedGui frontend(app, none, [&](SteppedGui& gui, app::MainWindow& window) {
      QtMainView& view = gui.Window();
      if (!LoopUntil([&] { return program_->sipEngine.Ready(); }, 10000)) {
        ADD_FAILURE() << "the SIP engine did not get ready";
        return;
      }
      steps(view, window);
    });
    EXPECT_EQ(app::RunPhone(*program_, frontend), 0);
  }

  static const std::vector<app::DisplayRow>& Lower(QtMainView& view) { return view.Display()->Rows().lower; }
  static void Shot(QtMainView& view, const char* name) {
    if (getenv("CORVINA_SHOTS") == nullptr) return;
    view.showNormal();
    view.resize(480, 800);
    QTest::qWait(300);
    EXPECT_TRUE(view.grab().save(QString(getenv("CORVINA_SHOTS")) + "/" + name)) << name;
  }

  corvina::testing::TempFolder folder_{"window-call"};
  std::unique_ptr<app::ProgramObjects> program_;
  std::uint16_t sipPort_ = 0;
};

TEST_F(WindowCallInterop, TypedNumberCallsSippUasAndHangUpSendsTheBye) {
  const std::uint16_t port = FreeUdpPort();
  auto sipp = testing::StartSippPeer(folder_.Sub("sipp-uas"), std::string(testing::kSippHead) + testing::AnsweringUas(true), port, 0);
  RunPhone([&](QtMainView& view, app::MainWindow&) {
    const std::string number = "200@127.0.0.1:" + std::to_string(port);
    QTest::keyClicks(view.DialBoxControl()->lineEdit(), QString::fromStdString(number));
    ASSERT_EQ(view.DialBoxControl()->currentText().toStdString(), number);
    Click(view, ControlId::kCall);
    EXPECT_TRUE(LoopUntil([&] { return view.Display()->Rows().title.starts_with("Calling 200"); }, 5000))
        << view.Display()->Rows().title;
    ASSERT_TRUE(LoopUntil([&] { return view.Display()->Rows().title == "Call Answered"; }, 10000))
        << view.Display()->Rows().title;
    EXPECT_EQ(view.Display()->Rows().left, "Line 1");
    EXPECT_TRUE(view.Display()->Rows().right.starts_with("0:00:0")) << view.Display()->Rows().right;
    EXPECT_EQ(ImageOf(view, ControlId::kLine1), static_cast<int>(ButtonImage::kLineLit));
    EXPECT_EQ(ImageOf(view, ControlId::kLine2), static_cast<int>(ButtonImage::kLineDark));
    for (ControlId key : {ControlId::kKey1, static_cast<ControlId>(104), ControlId::kKeyHash}) Click(view, key);
    EXPECT_EQ(Lower(view), (std::vector<app::DisplayRow>{{"200"}, {"Digits: 12#"}}));
    Shot(view, "display-call-digits.png");

    Click(view, ControlId::kHangUp);
    int exit = -1;
    EXPECT_TRUE(LoopUntil([&] { return (exit = testing::ExitOf(*sipp, 1)) != -1; }, 15000));
    EXPECT_EQ(exit, 0) << corvina::testing::ReadFile(folder_.Sub("sipp-uas") + "/msg.txt");
    EXPECT_TRUE(LoopUntil([&] { return ImageOf(view, ControlId::kLine1) == static_cast<int>(ButtonImage::kLineDark); },
                          5000));
  });
}

TEST_F(WindowCallInterop, BaresipCallsRingLineOneThenLineTwoAndAnsweringTheSecondHoldsTheFirst) {
  const std::string phone = "sip:100@127.0.0.1:" + std::to_string(sipPort_);
  RunPhone([&](QtMainView& view, app::MainWindow& window) {
    app::PhoneController& controller = *window.Phone();
    interop::Baresip first(440, "PCMU/8000/1", phone);
    ASSERT_TRUE(LoopUntil([&] { return controller.Indicators().State(0) == LineIndicator::kRinging; }, 10000))
        << first.Log();
    EXPECT_TRUE(Blinks(view, ControlId::kLine1, 3000));
    EXPECT_EQ(ImageOf(view, ControlId::kCall), static_cast<int>(ButtonImage::kCallSomethingToDo));
    Click(view, ControlId::kCall);
    ASSERT_TRUE(LoopUntil([&] { return view.Display()->Rows().title == "Call Answered"; }, 10000))
        << view.Display()->Rows().title << first.Log();
    EXPECT_EQ(ImageOf(view, ControlId::kLine1), static_cast<int>(ButtonImage::kLineLit));

    interop::Baresip second(660, "PCMU/8000/1", phone);
    ASSERT_TRUE(LoopUntil([&] { return controller.Indicators().State(1) == LineIndicator::kRinging; }, 10000))
        << second.Log();
    EXPECT_TRUE(Blinks(view, ControlId::kLine2, 3000));
    EXPECT_EQ(controller.Indicators().State(0), LineIndicator::kActive);
    Click(view, ControlId::kCall);
    ASSERT_TRUE(LoopUntil([&] { return controller.Indicators().State(1) == LineIndicator::kActive; }, 10000))
        << second.Log();
    EXPECT_EQ(controller.Indicators().State(0), LineIndicator::kHeld);
    EXPECT_EQ(view.Display()->Rows().left, "Line 2");
    EXPECT_TRUE(Blinks(view, ControlId::kLine1, 2000));
    EXPECT_EQ(ImageOf(view, ControlId::kLine2), static_cast<int>(ButtonImage::kLineLit));
  });
}

TEST_F(WindowCallInterop, IdleDisplayShowsEachRegistration) {
  const std::uint16_t port = FreeUdpPort();
  const std::string domain = "127.0.0.1:" + std::to_string(port);
  interop::KamailioRegistrar kamailio(folder_.Sub("k"), port, "100", "right");  // short: its socket path
  kamailio.AddUser("101", "right");
  ASSERT_TRUE(kamailio.Start()) << kamailio.Log();
  for (auto [section, name, value] :
       {std::tuple{"DefaultLine", "Proxy", domain}, {"DefaultLine", "ProxyPassword", "right"}, {"Line2", "Proxy", domain},
        {"Line2", "ProxyPassword", "wrong"}, {"Line2", "UseDefault", "0"}, {"Line2", "UserName", "101"}}) {
    program_->settings.SetSettingString(section, name, value);
  }
  RunPhone([&](QtMainView& view, app::MainWindow&) {
    const std::string refused = "Line 2: 101@" + domain + " refused: wrong password";
    const std::vector<app::DisplayRow> expected = {{"Line 1: 100@" + domain + " registered"}, {refused, true}};
    EXPECT_TRUE(LoopUntil([&] { return Lower(view) == expected; }, sip::RegistrationList::kRetryMs));
    EXPECT_EQ(view.Control(ControlId::kLine2)->toolTip().toStdString(), refused + " (server " + domain + ")");
    Shot(view, "display-registered-refused.png");
  });
}

TEST_F(WindowCallInterop, ADeadServerShowsNotAnsweringAfterTheFortySecondGiveUp) {
  const std::string domain = "127.0.0.1:" + std::to_string(FreeUdpPort());
  program_->settings.SetSettingString("DefaultLine", "Proxy", domain);
  RunPhone([&](QtMainView& view, app::MainWindow&) {
    const auto start = std::chrono::steady_clock::now();
    const std::string line = "Line 1: 100@" + domain;
    EXPECT_EQ(Lower(view).at(0), (app::DisplayRow{line + " registering"}));
    EXPECT_TRUE(LoopUntil([&] { return Lower(view).at(0) == app::DisplayRow{line + " server not answering", true}; }, 50000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(39));
  });
}

TEST_F(WindowCallInterop, ABusyCalleesReasonStaysFiveSeconds) {
  const std::uint16_t port = FreeUdpPort();
  const std::string busy = std::string(testing::kSippHead) + "<recv request=\"INVITE\"/>" +
                           testing::UasReply("486 Busy Here", true) + "<recv request=\"ACK\"/></scenario>";
  auto sipp = testing::StartSippPeer(folder_.Sub("sipp"), busy, port, 0);
  RunPhone([&](QtMainView& view, app::MainWindow&) {
    QTest::qWait(300);  // SIPp binds its port
    QTest::keyClicks(view.DialBoxControl()->lineEdit(), QString::fromStdString("200@127.0.0.1:" + std::to_string(port)));
    Click(view, ControlId::kCall);
    ASSERT_TRUE(LoopUntil([&] { return view.Display()->Rows().note == "[Busy Here]"; }, 5000));
    const auto shown = std::chrono::steady_clock::now();
    Shot(view, "display-busy.png");
    EXPECT_TRUE(LoopUntil([&] { return view.Display()->Rows().note.empty(); }, 7000));
    EXPECT_NEAR(std::chrono::duration<double>(std::chrono::steady_clock::now() - shown).count(), 5.0, 0.5);
    EXPECT_EQ(testing::ExitOf(*sipp, 5000), 0);
  });
}

// The first request `method` SIPp received in `dir`'s trace.
testing::SippMessage Received(const std::string& dir, const std::string& method) {
  const auto found = testing::SippMessagesLike(testing::ReadSippTrace(dir + "/msg.txt"), false, method + " ");
  return found.empty() ? testing::SippMessage{} : found[0];
}

TEST_F(WindowCallInterop, TheTransferPopUpsItemCallsItsNumberAndTransferRefersItToTheFirstParty) {
  const std::uint16_t port = FreeUdpPort(), target = FreeUdpPort();
  const std::string targetNumber = "301@127.0.0.1:" + std::to_string(target);
  contacts::NamedNumberList quick(program_->settings, contacts::kQuickTransferList);
  ASSERT_FALSE(quick.Save(std::nullopt, "Ann", "300@127.0.0.1:5999"));
  ASSERT_FALSE(quick.Save(std::nullopt, "", targetNumber));
  // The first party's call is held while the target is called; the target, once answered,
  // is referred to the first party in place of the phone.
  const std::string held = "<recv request=\"INVITE\"/>\n" + testing::UasSdpReply(false) + "<recv request=\"ACK\"/>\n";
  auto sipp = testing::StartSippPeer(folder_.Sub("sipp"),
                                     testing::kSippHead + testing::UasAnswers(false) + held + testing::kSippTakesBye +
                                         "</scenario>\n", port, 0);
  const std::string takesRefer = "<recv request=\"REFER\"/>\n" + testing::UasReply("202 Accepted", false);
  auto targetSipp = testing::StartSippPeer(folder_.Sub("target"), testing::kSippHead + testing::UasAnswers(false) +
                                               takesRefer + "</scenario>\n", target, 0);
  RunPhone([&](QtMainView& view, app::MainWindow& window) {
    QTest::keyClicks(view.DialBoxControl()->lineEdit(), QString::fromStdString("200@127.0.0.1:" + std::to_string(port)));
    Click(view, ControlId::kCall);
    ASSERT_TRUE(LoopUntil([&] { return view.Display()->Rows().title == "Call Answered"; }, 10000));
    view.TransferButton()->SetLongPressMs(50);
    QTest::mousePress(view.TransferButton(), Qt::LeftButton);
    ASSERT_TRUE(LoopUntil([&] { return view.TransferPopup() != nullptr && view.TransferPopup()->isVisible(); }, 3000));
    QTest::mouseRelease(view.TransferButton(), Qt::LeftButton);
    QStringList items;
    for (QAction* a : view.TransferPopup()->actions()) {
      items << (a->isSeparator() ? "-" : a->text()) + (a->isEnabled() ? "" : " (off)");
    }
    EXPECT_EQ(items, (QStringList{"Ann <300@127.0.0.1:5999>", QString::fromStdString(targetNumber), "-",
                                  "Manage Quick Transfer List... (off)"}));
    QMenu* popup = view.TransferPopup();
    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(popup->actions().at(1)).center());
    EXPECT_FALSE(popup->isVisible());
    // The target is called on line 2 with line 1 held; Transfer then hands line 1 over.
    ASSERT_TRUE(LoopUntil([&] { return window.Phone()->Indicators().State(1) == LineIndicator::kActive; }, 10000));
    Click(view, ControlId::kTransfer);
    EXPECT_TRUE(LoopUntil([&] { return testing::ExitOf(*targetSipp, 1) != -1; }, 10000));
  });
  const std::string trace = corvina::testing::ReadFile(folder_.Sub("target") + "/msg.txt");
  EXPECT_EQ(Received(folder_.Sub("target"), "INVITE").firstLine, "INVITE sip:" + targetNumber + " SIP/2.0") << trace;
  const std::string referTo = Received(folder_.Sub("target"), "REFER").Header("Refer-To");
  EXPECT_TRUE(referTo.starts_with("<sip:200@127.0.0.1:" + std::to_string(port) + "?Replaces=")) << trace;
}

TEST_F(WindowCallInterop, AHeldHotkeyPlacesTheIntercomCallAndItsReleaseArmsTheTimer) {
  const std::uint16_t port = FreeUdpPort();
  ASSERT_FALSE(contacts::NamedNumberList(program_->settings, contacts::kAutoIntercomList)
                   .Save(std::nullopt, "Desk", "201@127.0.0.1:" + std::to_string(port)));
  ASSERT_FALSE(contacts::HotkeyList(program_->settings).Set(0, 3 * 65536 + 'I'));  // Ctrl+Alt+I
  auto sipp = testing::StartSippPeer(folder_.Sub("sipp"), std::string(testing::kSippHead) + testing::AnsweringUas(false),
                                     port, 0);
  RunPhone([&](QtMainView& view, app::MainWindow& window) {
    app::PhoneController& controller = *window.Phone();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    view.centralWidget()->setFocus();
    QTest::keyPress(view.centralWidget(), Qt::Key_I, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_TRUE(LoopUntil([&] { return controller.Indicators().State(0) == LineIndicator::kActive; }, 10000));
    EXPECT_FALSE(controller.Line(0).privateTimerArmed);  // waits while the key is held
    QTest::keyRelease(view.centralWidget(), Qt::Key_I, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(controller.Line(0).privateTimerArmed);
    EXPECT_NEAR(controller.Line(0).privateTimerDeadline - program_->tickClock.NowMs(), 25000.0, 500.0);
  });
  EXPECT_EQ(testing::ExitOf(*sipp, 5000), 0);
  EXPECT_EQ(Received(folder_.Sub("sipp"), "INVITE").Header("Answer-Mode"), "Auto");
}

}  // namespace
}  // namespace corvina::ui
