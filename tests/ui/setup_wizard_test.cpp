// The first start of the real phone with its window, on a fresh home (loopback only: STUN from a
// stund on 127.0.0.1, no UPnP, its own address 127.0.0.1), walked through the first-run wizard:
// - the microphone page's meter moves with a wav: capture device playing a tone;
// - the output page plays Test.wav into the wav: play device it names;
// - SIP Setup's Next and links follow the choice; SIP Details keeps its page with "User name
//   required" until a user name is given;
// - Finish runs the networking tool, which finds STUN working, and then the SIP engine; the
//   next start shows no wizard and starts the engine at once; the menu's audio wizard has the
//   three sound pages.
// CORVINA_SHOTS=FOLDER saves a picture of every page there (docs/screenshots/).
#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest/QTest>

#include <cmath>
#include <filesystem>
#include <vector>

#include "app/controller/audio_route.h"
#include "app/phone_entry.h"
#include "media/wav_file.h"
#include "platform/termination_signals.h"
#include "platform/udp_socket.h"
#include "tests/support/stund_server.h"
#include "tests/support/temp_folder.h"
#include "tests/ui/stepped_gui.h"

namespace corvina::ui {
namespace {

std::uintmax_t FileSize(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  return ec ? 0 : size;
}

class SetupWizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("CORVINA_LOCAL_ADDRESS", "127.0.0.1", 1);
    // Ten seconds of a loud 440 Hz tone for the microphone.
    media::WavWriter tone;
    ASSERT_EQ(tone.Create(folder_.Sub("tone.wav")), media::WavError::kNone);
    std::vector<std::int32_t> samples(80000);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int32_t>(200000 * std::sin(i * 0.3456));
    ASSERT_TRUE(tone.Write(samples));
  }
  void RunPhone(SteppedGui::Steps steps) {
    const std::filesystem::path home = folder_.Sub("home");
    app::ProgramObjects program(
        platform::PhonePaths{(home / "registry.db").string(), (home / "Documents").string(), (home / "run").string()});
    for (const auto& [section, name, value] : std::vector<std::array<std::string, 3>>{
             {"SIP", "STUN", "0"},
             {"SIP", "UPNP", "0"},
             {"SIP", "Port", std::to_string(sipPort_)},
             {"SIP", "RTPPortBase", std::to_string(sipPort_ + 2)},
             {"Settings", "Record", "wav:" + folder_.Sub("tone.wav")},
             {"Settings", "PlayDevice", "wav:" + folder_.Sub("played.wav")}}) {
      if (program.settings.GetSettingString(section, name, "").empty()) program.settings.SetSettingString(section, name, value);
    }
    program_ = &program;
    platform::TerminationSignals none;
    SteppedGui frontend(*static_cast<QApplication*>(QCoreApplication::instance()), none, std::move(steps));
    EXPECT_EQ(app::RunPhone(program, frontend), 0);
    program_ = nullptr;
  }
  static void Shot(QWidget& page, const char* name) {
    if (getenv("CORVINA_SHOTS") == nullptr) return;
    QTest::qWait(100);
    EXPECT_TRUE(page.window()->grab().save(QString(getenv("CORVINA_SHOTS")) + "/" + name)) << name;
  }
  static void Press(SetupWizard& wizard, QWizard::WizardButton button) {
    QTest::mouseClick(wizard.button(button), Qt::LeftButton);
  }

  corvina::testing::TempFolder folder_{"wizard"};
  std::uint16_t sipPort_ = [] {  // free a moment ago
    platform::UdpSocket probe;
    return probe.Bind({0x7F000001, 0}).Ok() ? probe.Local()->port : std::uint16_t{0};
  }();
  app::ProgramObjects* program_ = nullptr;
};

TEST_F(SetupWizardTest, AFreshHomeWalksTheFirstRunWizardOnceAndThenStartsTheEngine) {
  if (!corvina::testing::StundServer::Installed()) GTEST_SKIP() << "stund is not installed (package stun-server)";
  corvina::testing::StundServer stund;
  ASSERT_TRUE(stund.Ready());
  const std::string stunServer = "127.0.0.1:" + std::to_string(stund.Port());
  setenv("CORVINA_STUN_SERVERS", stunServer.c_str(), 1);
  int toolRuns = 0;
  RunPhone([&](SteppedGui& gui, app::MainWindow& window) {
    // The real tool, counted: against the loopback stund it finds STUN working.
    gui.Window().SetNetworkTool([&] {
      ++toolRuns;
      window.RunNetworkTool();
      return true;
    });
    ASSERT_TRUE(LoopUntil([&] { return gui.Wizard() != nullptr; }, 5000));
    SetupWizard& wizard = *gui.Wizard();
    wizard.resize(520, 440);
    EXPECT_FALSE(program_->sipEngine.Ready()) << "the engine waits for the wizard";
    EXPECT_EQ(wizard.currentPage()->title(), "Mode & Audio Quality");
    EXPECT_EQ(wizard.Control("mode", "TalkMode")->property("text").toString(),
              "Use microphone and speaker (echo cancellation on)");
    Shot(*wizard.currentPage(), "wizard-mode.png");
    Press(wizard, QWizard::NextButton);

    EXPECT_EQ(wizard.currentPage()->title(), "Microphone & Record Volume");
    EXPECT_TRUE(LoopUntil([&] { return wizard.Meter()->value() > app::kMeterFloorDb + 20; }, 5000))
        << wizard.Meter()->value();
    Shot(*wizard.currentPage(), "wizard-microphone.png");
    Press(wizard, QWizard::NextButton);

    EXPECT_EQ(wizard.currentPage()->title(), "Sound Output & Volume");
    // The test sound (0.7 s, 16-bit samples) arrives in the play device's file.
    const std::string played = folder_.Sub("played.wav");
    EXPECT_TRUE(LoopUntil([&] { return FileSize(played) >= 44 + 2 * 5600; }, 5000)) << FileSize(played);
    Shot(*wizard.currentPage(), "wizard-output.png");
    Press(wizard, QWizard::NextButton);

    EXPECT_EQ(wizard.currentPage()->title(), "SIP Setup");
    EXPECT_FALSE(wizard.button(QWizard::NextButton)->isEnabled());
    for (int choice : {1, 2, 0}) {
      auto* radio = wizard.currentPage()->findChildren<QRadioButton*>().at(choice);
      radio->click();
      EXPECT_TRUE(wizard.button(QWizard::NextButton)->isEnabled()) << choice;
      EXPECT_EQ(wizard.Link(1)->isEnabled(), choice == 1) << choice;
      EXPECT_EQ(wizard.Link(2)->isEnabled(), choice == 2) << choice;
    }
    Shot(*wizard.currentPage(), "wizard-sip-setup.png");
    Press(wizard, QWizard::NextButton);

    EXPECT_EQ(wizard.currentPage()->title(), "SIP Details");
    auto* user = static_cast<QLineEdit*>(wizard.Control("sipdetails", "UserName"));
    EXPECT_EQ(user->placeholderText(), "<Number from SIP provider>");
    Shot(*wizard.currentPage(), "wizard-sip-details.png");
    Press(wizard, QWizard::FinishButton);
    EXPECT_EQ(wizard.LastMessage().title, "User name required");
    EXPECT_EQ(wizard.currentPage()->title(), "SIP Details");
    for (QMessageBox* box : wizard.findChildren<QMessageBox*>()) box->close();
    QTest::keyClicks(user, " 100 ");
    static_cast<QLineEdit*>(wizard.Control("sipdetails", "Proxy"))->setText("127.0.0.1:" + QString::number(sipPort_));
    Press(wizard, QWizard::FinishButton);
    EXPECT_TRUE(LoopUntil([&] { return program_->sipEngine.Ready(); }, 10000));
    EXPECT_EQ(toolRuns, 1);
    EXPECT_EQ(program_->settings.GetSettingString("DefaultLine", "UserName", ""), "100");
    EXPECT_EQ(program_->settings.GetSettingString("SIP", "STUN", ""), "1");
    EXPECT_EQ(program_->settings.GetSettingString("SIP", "STUNServer1", ""), stunServer);
    EXPECT_EQ(program_->settings.GetSettingString("SIP", "Port", ""), std::to_string(sipPort_));
  });
  ASSERT_EQ(toolRuns, 1);

  RunPhone([&](SteppedGui& gui, app::MainWindow& window) {
    EXPECT_TRUE(LoopUntil([&] { return program_->sipEngine.Ready(); }, 10000));
    QTest::qWait(200);
    EXPECT_EQ(gui.Wizard(), nullptr);
    // The menu's audio wizard: the sound pages only, the first with its own subtitle.
    EXPECT_EQ(window.Phone()->OnCommand(1012), app::CommandResult::kDone);
    ASSERT_NE(gui.Wizard(), nullptr);
    EXPECT_EQ(gui.Wizard()->windowTitle(), "Audio Setup Wizard");
    EXPECT_EQ(gui.Wizard()->pageIds().size(), 3);
    EXPECT_EQ(gui.Wizard()->currentPage()->subTitle(), "Select your video camera and quality settings.");
    gui.Wizard()->resize(520, 440);
    Shot(*gui.Wizard()->currentPage(), "audio-wizard-mode.png");
    gui.Wizard()->reject();
  });
  EXPECT_EQ(toolRuns, 1);
}

}  // namespace
}  // namespace corvina::ui
