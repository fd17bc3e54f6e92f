// The controller's start-up behaviour, seen through a recording view.
#include "app/main_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "platform/manual_loop.h"
#include "tests/support/temp_folder.h"

namespace corvina::app {
namespace {

class RecordingView final : public MainView {
 public:
  void BringToFront() override { ++fronts; }
  void ShowStatusPane(bool visible) override { pane.push_back(visible); }
  void StatusEntriesChanged() override { ++redraws; }
  void Close() override { ++closes; }
  int fronts = 0;
  int redraws = 0;
  int closes = 0;
  std::vector<bool> pane;
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path& home_ = folder_.Path();
    platform::PhonePaths paths;
    paths.registryFile = (home_ / "registry.db").string();
    paths.documentsFolder = (home_ / "Documents").string();
    paths.runtimeFolder = (home_ / "run").string();
    program_ = std::make_unique<ProgramObjects>(paths);
  }
  void TearDown() override { program_.reset(); }

  corvina::testing::TempFolder folder_{"mw"};
  std::unique_ptr<ProgramObjects> program_;
  RecordingView view_;
  platform::ManualUiQueue ui_;
};

TEST_F(MainWindowTest, InitialisationWritesCorvinaRunAndAppliesTheStoredPane) {
  program_->settings.SetSettingBool("Settings", "ShowStatus", true);
  MainWindow window(*program_, view_, ui_);
  window.Initialise();
  EXPECT_EQ(view_.pane, std::vector<bool>{true});  // applied, not inverted
  ASSERT_EQ(window.Status().Count(), 1u);
  EXPECT_EQ(window.Status().Entries()[0].message, "Corvina Run");
  EXPECT_EQ(window.Status().Entries()[0].level, 0);
  // The pane is redrawn on the user-interface thread, not on the writer's.
  EXPECT_EQ(view_.redraws, 0);
  ui_.RunPending();
  EXPECT_EQ(view_.redraws, 1);
}

TEST_F(MainWindowTest, OnlyHotkeyOneBringsTheWindowForward) {
  MainWindow window(*program_, view_, ui_);
  window.Initialise();
  window.OnHotkey(2);
  EXPECT_EQ(view_.fronts, 0);
  window.OnHotkey(1);
  EXPECT_EQ(view_.fronts, 1);
}

TEST_F(MainWindowTest, TheStatusMenuCommandInvertsAndStoresThePane) {
  MainWindow window(*program_, view_, ui_);
  window.Initialise();
  window.ToggleStatusWindow();
  EXPECT_EQ(program_->settings.GetSettingString("Settings", "ShowStatus", ""), "1");
  window.ToggleStatusWindow();
  EXPECT_EQ(program_->settings.GetSettingString("Settings", "ShowStatus", ""), "0");
  EXPECT_EQ(view_.pane, (std::vector<bool>{false, true, false}));
}

TEST_F(MainWindowTest, EntriesFromWorkersStopReachingADestroyedWindow) {
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    while (!stop) program_->activityLog.Log("from a worker", platform::kLogInfo);
  });
  for (int i = 0; i < 20; ++i) {
    auto window = std::make_unique<MainWindow>(*program_, view_, ui_);
    window->Initialise();
    window.reset();  // detaches while the worker keeps writing
  }
  stop = true;
  writer.join();
  // Tasks posted by windows that are gone refer only to the view, which still exists.
  ui_.RunPending(10000000);
  int redraws = view_.redraws;
  EXPECT_GT(redraws, 0);
  program_->activityLog.Log("after the last window", platform::kLogInfo);
  EXPECT_EQ(ui_.PendingCount(), 0u);
  ui_.RunPending();
  EXPECT_EQ(view_.redraws, redraws);
}

}  // namespace
}  // namespace corvina::app
