// The first start and the wizard commands: while InstallWizRun is missing, empty or "0" the
// value becomes "1" and, once the loop runs, the first-run wizard opens; Finish runs the
// networking tool and then the engine, Cancel only the engine; a view without wizards (the
// console) skips both with a "wizard" event; later starts go straight to the engine. Commands
// 1012 and 1013 open the audio wizard and the networking tool.
#include "tests/app/phone_controller_fixture.h"

namespace corvina::app {
namespace {

TEST_F(PhoneControllerTest, AFirstStartRunsTheWizardThenTheToolAndStartsTheEngineOnce) {
  struct Case {
    const char* stored;  // nullptr: missing
    int close;           // 1 Finish, 0 Cancel, -1 no wizard shown
    std::vector<std::string> opened;
  };
  const Case cases[] = {{nullptr, 1, {"first-run wizard", "network tool"}},
                        {"", 0, {"first-run wizard"}},
                        {"0", 1, {"first-run wizard", "network tool"}},
                        {"1", -1, {}}};
  for (const Case& c : cases) {
    store_.DeleteValue(platform::Settings::SectionPath("Settings"), "InstallWizRun");
    if (c.stored) settings_.SetSettingString("Settings", "InstallWizRun", c.stored);
    view_.opened.clear();
    engineStarts_ = 0;
    Build(nullptr);
    EXPECT_EQ(settings_.GetSettingString("Settings", "InstallWizRun", ""), "1");
    EXPECT_EQ(engineStarts_, c.close < 0 ? 1 : 0) << c.stored;  // the wizard waits for the loop
    Advance(0);
    if (c.close >= 0) {
      EXPECT_EQ(engineStarts_, 0) << "the engine waits for the wizard";
      view_.wizardDone(c.close == 1);
    }
    EXPECT_EQ(view_.opened, c.opened) << c.stored;
    EXPECT_EQ(engineStarts_, 1) << c.stored;
  }

  view_.hasWizards = false;
  settings_.SetSettingString("Settings", "InstallWizRun", "0");
  engineStarts_ = 0;
  int started = -1;
  EXPECT_EQ(ConsoleEvents("wizard",
                          [&] {
                            Advance(0);
                            started = engineStarts_;
                          }),
            "event {\"event\":\"wizard\",\"skipped\":true}\n");
  EXPECT_EQ(started, 1);
  EXPECT_EQ(settings_.GetSettingString("Settings", "InstallWizRun", ""), "1");
}

TEST_F(PhoneControllerTest, WizardCommandsOpenTheAudioWizardAndTheNetworkingTool) {
  CommandProcessor verbs;
  RegisterPhoneVerbs(verbs, [this] { return controller_.get(); });
  view_.opened.clear();
  EXPECT_EQ(verbs.Execute("command 1012"), "ok");
  EXPECT_EQ(verbs.Execute("command 1013"), "ok");
  EXPECT_EQ(view_.opened, (std::vector<std::string>{"audio wizard", "network tool"}));
  view_.wizardDone(true);
  view_.hasWizards = false;
  EXPECT_EQ(verbs.Execute("command 1012"), "error: not built yet");
  EXPECT_EQ(verbs.Execute("command 1013"), "error: not built yet");
  EXPECT_EQ(engineStarts_, 1);  // neither restarts the engine
}

}  // namespace
}  // namespace corvina::app
