// The Options dialog over the page objects: every refusal keeps it open on the refusing tab
// with its box; the Lines chooser saves the entry it leaves; the advanced button turns bold
// once the advanced dialog changes a choice, and that dialog stays open on its own refusal;
// a clean OK closes and the phone controller restarts for the new settings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

#include "app/controller/phone_texts.h"
#include "app/options/options_texts.h"
#include "platform/manual_loop.h"
#include "platform/memory_settings_store.h"
#include "tests/app/phone_fakes.h"
#include "tests/app/recording_log.h"
#include "ui/options_dialog.h"

namespace corvina::ui {
namespace {

namespace t = app::options_texts;

class OptionsDialogTest : public ::testing::Test {
 protected:
  OptionsDialogTest() {
    env_.runTest = [](std::string_view, const std::function<bool(platform::Event*)>&) {
      return app::WaitResult::kFailed;
    };
    env_.folderWritable = [](const std::string&) { return true; };
    env_.recordingsFolder = "/data";
    phone_.Initialise();
    OptionsDialogHooks hooks;
    hooks.applied = [this] { phone_.ApplySettings(); };
    hooks.runAudioWizard = [this] { ++wizards_; };
    hooks.runNetworkTool = [this] { ++tools_; };
    dialog_ = std::make_unique<OptionsDialog>(settings_, env_, std::move(hooks), 0, nullptr);
    dialog_->show();
  }
  template <typename W>
  W* Control(const char* page, const char* key) {
    return qobject_cast<W*>(dialog_->Control(page, key));
  }
  platform::MemorySettingsStore store_;
  platform::Settings settings_{store_};
  // Lines of the log saying the phone restarts for new settings.
  int Restarts() const {
    return static_cast<int>(std::count_if(log_.entries.begin(), log_.entries.end(),
                                          [](const auto& e) { return e.first == app::texts::kRestartingForSettings; }));
  }
  app::OptionsEnvironment env_;
  testing::RecordingLog log_;
  platform::FakeWallClock wall_{1'700'000'000};
  platform::FakeTickClock tick_;
  platform::ManualTimerHost timers_;
  testing::RecordingView view_;
  testing::RecordingTones tones_;
  app::PhoneController phone_{{settings_, log_, wall_, tick_, timers_, view_, tones_,
                               [](int) { return std::make_unique<testing::FakeLine>(); }, "/nonexistent"}};
  int wizards_ = 0;
  int tools_ = 0;
  std::unique_ptr<OptionsDialog> dialog_;
};

TEST_F(OptionsDialogTest, AudioAndNet1RunTheirOwnWizards) {
  for (QPushButton* button : dialog_->findChildren<QPushButton*>()) {
    if (button->text() == "Run Audio Setup Wizard" || button->text() == "Run Network Setup Wizard") button->click();
  }
  EXPECT_EQ(wizards_, 1);
  EXPECT_EQ(tools_, 1);
}

TEST_F(OptionsDialogTest, EachRefusalKeepsTheDialogOpenOnItsTabAndACleanOkApplies) {
  struct Case {
    std::function<void()> enter;
    int tab;
    std::string_view text;
  } cases[] = {
      {[&] { Control<QLineEdit>("lines", "DisplayName")->setText("a\nb"); }, 1, ""},
      {[&] { Control<QLineEdit>("lines", "DisplayName")->setText("Desk"); Control<QSpinBox>("net1", "RTPPortBase")->setValue(9001); },
       2, t::kOddRtp},
      {[&] { Control<QLineEdit>("net2", "STUNServer1")->clear(); }, 3, ""},
      {[&] { Control<QLineEdit>("net2", "STUNServer1")->setText("stun.example.org");
             Control<QLineEdit>("record", "Folder")->clear(); },
       4, t::kInvalidFolder},
  };
  for (const Case& c : cases) {
    c.enter();
    dialog_->accept();
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_EQ(dialog_->Tabs()->currentIndex(), c.tab);
    if (!c.text.empty()) {
      EXPECT_EQ(dialog_->LastMessage().text, c.text);
    }
  }
  EXPECT_EQ(Control<QSpinBox>("net1", "RTPPortBase")->value(), 9000);  // corrected downwards
  EXPECT_EQ(Restarts(), 0);
  Control<QLineEdit>("record", "Folder")->setText("/data");
  dialog_->accept();
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(Restarts(), 1);
  EXPECT_EQ(settings_.GetSettingString("SIP", "RTPPortBase", ""), "9000");
  EXPECT_EQ(settings_.GetSettingString("Line1", "DisplayName", ""), "Desk");
}

TEST_F(OptionsDialogTest, LinesChooserSavesTheEntryItLeavesAndAdvancedTurnsTheButtonBold) {
  Control<QLineEdit>("lines", "UserName")->setText(" 101 ");
  dialog_->LineChooser()->setCurrentIndex(0);
  EXPECT_EQ(settings_.GetSettingString("Line1", "UserName", ""), "101");
  EXPECT_FALSE(Control<QCheckBox>("lines", "UseDefault")->isVisible());
  EXPECT_FALSE(dialog_->AdvancedButton()->font().bold());
  dialog_->AdvancedButton()->click();
  QDialog* advanced = dialog_->AdvancedDialog();
  ASSERT_NE(advanced, nullptr);
  auto radios = advanced->findChildren<QRadioButton*>();
  ASSERT_EQ(radios.size(), 5);
  radios[1]->setChecked(true);  // a different outbound server, left empty
  QPushButton* ok = advanced->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
  ok->click();
  EXPECT_TRUE(advanced->isVisible());
  EXPECT_EQ(dialog_->LastMessage().title, t::kInvalidOutboundTitle);
  advanced->findChildren<QLineEdit*>()[0]->setText("proxy.example.org");
  ok->click();
  EXPECT_EQ(settings_.GetSettingString("DefaultLine", "UseOutboundServer", ""), "1");
  EXPECT_TRUE(dialog_->AdvancedButton()->font().bold());
  EXPECT_EQ(dialog_->AdvancedButton()->text().toStdString(), t::kAdvancedModified);
}

}  // namespace
}  // namespace corvina::ui
