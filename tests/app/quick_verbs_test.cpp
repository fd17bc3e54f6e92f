// The quick lists' console verbs on a window whose phone has not started: list edits, the
// dialogs' refusals as errors with their message box, and hotkeys registered again on save.
#include "app/console/quick_verbs.h"

#include <gtest/gtest.h>

#include "app/controller/main_window.h"
#include "app/progress/fake_progress.h"
#include "platform/manual_loop.h"
#include "tests/support/temp_folder.h"

namespace corvina::app {
namespace {

struct Events : ConsoleEventSink {
  void Emit(const ConsoleEvent& e) override { lines.push_back(e.Json()); }
  std::vector<std::string> lines;
};

struct QuietView final : MainView {
  void BringToFront() override {}
  void ShowStatusWindow(bool) override {}
  void StatusWindowChanged() override {}
  void Close() override {}
};

TEST(QuickVerbs, EditTheListsAndAnswerRefusalsWithTheBoxText) {
  corvina::testing::TempFolder folder{"qv"};
  const std::filesystem::path& home = folder.Path();
  ProgramObjects program(platform::PhonePaths{(home / "registry.db").string(), (home / "Documents").string(),
                                              (home / "run").string()});
  platform::ManualUiLoop ui(program.postbox);
  QuietView view;
  MainWindow window(program, view);
  Events events;
  CommandProcessor verbs;
  platform::FakeTickClock clock;
  FakeProgressWindow progress(clock);
  RegisterQuickVerbs(verbs, ConsoleVerbContext{window, program, events, [] {}, progress});
  const std::pair<std::string, std::string> steps[] = {
      {"quick add Ann 300", "ok {\"entry\":0}"},
      {"quick add Ann 300", "error: This contact details already exists in your quick transfer list."},
      {"quick add \"\" 301", "ok {\"entry\":1}"},
      {"quick edit 1 Bo 302", "ok {\"entry\":1}"},
      {"quick remove 0", "ok"},
      {"quick list", R"(ok {"entries":[{"entry":1,"name":"Bo","number":"302"}]})"},
      {"quick menu", "error: the phone has not started"},
      {"autointercom add Desk 400", "ok {\"entry\":0}"},
      {"hotkeys set 0 131140", "error: Ctrl+D is the shortcut of the menu command \"Dial\". Please choose another key."},
      {"hotkeys set 0 116", "ok"},
      {"hotkeys list", R"(ok {"hotkeys":[{"entry":0,"key":116}],"registered":[6]})"},
      {"hotkey 1 down", "error: no hotkey 1"},
      {"hotkey 0 down", "ok"},
  };
  for (const auto& [line, answer] : steps) EXPECT_EQ(verbs.Execute(line), answer) << line;
  ASSERT_EQ(events.lines.size(), 2u);
  EXPECT_EQ(events.lines[0],
            R"({"event":"messageBox","title":"Existing Contact","text":"This contact details already exists in your quick transfer list."})");
}

}  // namespace
}  // namespace corvina::app
