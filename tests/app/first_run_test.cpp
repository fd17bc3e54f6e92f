// The first start: while InstallWizRun is missing, empty or "0" it becomes "1" and, once the
// loop runs, the first-run wizard opens; Finish runs the networking tool, then the engine;
// Cancel only the engine; a view without wizards (the console) skips both with a "wizard"
// event. Commands 1012 and 1013 open the audio wizard and the networking tool.
#include "tests/app/phone_controller_fixture.h"

namespace corvina::app {
namespace {

TEST_F(PhoneControllerTest, AFirstStartRunsTheWizardThenTheToolAndStartsTheEngineOnce) {
  const std::pair<const char*, int> cases[] = {{nullptr, 1}, {"", 0}, {"0", 1}, {"1", -1}};  // 1 Finish, 0 Cancel
  for (auto [stored, close] : cases) {
    store_.DeleteValue(platform::Settings::SectionPath("Settings"), "InstallWizRun");
    if (stored) settings_.SetSettingString("Settings", "InstallWizRun", stored);
    view_.opened.clear();
    engineStarts_ = 0;
    Build(nullptr);
    EXPECT_EQ(settings_.GetSettingString("Settings", "InstallWizRun", ""), "1");
    Advance(0);
    EXPECT_EQ(engineStarts_, close < 0 ? 1 : 0) << "the engine waits for the wizard";
    if (close >= 0) view_.wizardDone(close == 1);
    std::vector<std::string> opened;
    if (close >= 0) opened.push_back("first-run wizard");
    if (close == 1) opened.push_back("network tool");
    EXPECT_EQ(view_.opened, opened) << (stored ? stored : "missing");
    EXPECT_EQ(engineStarts_, 1);
  }
  view_.hasWizards = false;
  settings_.SetSettingString("Settings", "InstallWizRun", "0");
  engineStarts_ = 0;
  int started = -1;
  EXPECT_EQ(ConsoleEvents("wizard", [&] { Advance(0), started = engineStarts_; }),
            "event {\"event\":\"wizard\",\"skipped\":true}\n");
  EXPECT_EQ(started, 1);
}

TEST_F(PhoneControllerTest, WizardCommandsOpenTheAudioWizardAndTheNetworkingTool) {
  CommandProcessor verbs;
  RegisterPhoneVerbs(verbs, [this] { return controller_.get(); });
  view_.opened.clear();
  EXPECT_EQ(verbs.Execute("command 1012"), "ok");
  EXPECT_EQ(verbs.Execute("command 1013"), "ok");
  EXPECT_EQ(view_.opened, (std::vector<std::string>{"audio wizard", "network tool"}));
  view_.hasWizards = false;
  EXPECT_EQ(verbs.Execute("command 1012"), "error: not built yet");
  EXPECT_EQ(engineStarts_, 1);  // neither restarts the engine
}

}  // namespace
}  // namespace corvina::app
