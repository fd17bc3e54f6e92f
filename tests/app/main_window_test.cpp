// The controller's start-up behaviour, seen through a recording view: the stored status
// window applied, "Corvina Run" written, worker entries reaching a live window only, and an
// unusable settings store reported once and left alone; the microphone's level reaching the
// meters' listener while the audio path runs.
#include "app/controller/main_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <semaphore>
#include <thread>

#include "media/wav_file.h"
#include "platform/manual_loop.h"
#include "tests/support/poll_until.h"
#include "tests/support/temp_folder.h"

namespace corvina::app {
namespace {

class RecordingView final : public MainView {
 public:
  void BringToFront() override { ++fronts; }
  void ShowStatusWindow(bool visible) override { pane.push_back(visible); }
  void StatusWindowChanged() override { ++redraws; }
  void Close() override { ++closes; }
  int fronts = 0;
  int redraws = 0;
  int closes = 0;
  std::vector<bool> pane;
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = std::make_unique<ProgramObjects>(Paths());
    ui_ = std::make_unique<platform::ManualUiLoop>(program_->postbox);
  }
  void TearDown() override {
    ui_.reset();
    program_.reset();
  }
  platform::PhonePaths Paths() const {
    const std::filesystem::path& home = folder_.Path();
    return platform::PhonePaths{(home / "registry.db").string(), (home / "Documents").string(),
                                (home / "run").string()};
  }

  corvina::testing::TempFolder folder_{"mw"};
  std::unique_ptr<ProgramObjects> program_;
  RecordingView view_;
  std::unique_ptr<platform::ManualUiLoop> ui_;
};

TEST_F(MainWindowTest, InitialisationWritesCorvinaRunAndAppliesTheStoredPane) {
  program_->settings.SetSettingBool("Settings", "ShowStatus", true);
  MainWindow window(*program_, view_);
  window.Initialise();
  EXPECT_EQ(view_.pane, std::vector<bool>{true});  // applied, not inverted
  ASSERT_EQ(window.Status().Count(), 1u);
  EXPECT_EQ(window.Status().Entries()[0].message, "Corvina Run");
  EXPECT_EQ(window.Status().Entries()[0].level, 0);
  // The pane is redrawn on the user-interface thread, not on the writer's.
  EXPECT_EQ(view_.redraws, 0);
  ui_->RunPending();
  EXPECT_EQ(view_.redraws, 1);
}

TEST_F(MainWindowTest, OnlyHotkeyOneBringsTheWindowForward) {
  MainWindow window(*program_, view_);
  window.Initialise();
  window.OnHotkey(2);
  EXPECT_EQ(view_.fronts, 0);
  window.OnHotkey(1);
  EXPECT_EQ(view_.fronts, 1);
}

TEST_F(MainWindowTest, TheStatusMenuCommandInvertsAndStoresThePane) {
  MainWindow window(*program_, view_);
  window.Initialise();
  window.ToggleStatusWindow();
  EXPECT_EQ(program_->settings.GetSettingString("Settings", "ShowStatus", ""), "1");
  window.ToggleStatusWindow();
  EXPECT_EQ(program_->settings.GetSettingString("Settings", "ShowStatus", ""), "0");
  EXPECT_EQ(view_.pane, (std::vector<bool>{false, true, false}));
}

TEST_F(MainWindowTest, WorkerEntriesReachALiveWindowAndItsWaitingRedrawsGoWithIt) {
  // The worker writes an entry for each one allowed; the test waits for them, never spins.
  std::counting_semaphore<1024> allowed{0}, written{0};
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    while (allowed.try_acquire_for(std::chrono::seconds(20)) && !stop) {
      program_->activityLog.Log("from a worker", platform::kLogInfo);
      written.release();
    }
  });
  int granted = 0, seen = 0;
  auto writeMore = [&](int n, bool wait) {
    allowed.release(n);
    granted += n;
    while (wait && seen < granted && written.try_acquire_for(std::chrono::seconds(20))) ++seen;
    return seen == granted;
  };
  for (int i = 0; i < 20; ++i) {
    auto window = std::make_unique<MainWindow>(*program_, view_);
    window->Initialise();
    // An entry begun after Initialise() reaches the window (beside "Corvina Run").
    ASSERT_TRUE(writeMore(1, true));
    const auto entries = window->Status().Entries();
    auto fromWorker = [](const StatusWindow::Entry& e) { return e.message == "from a worker"; };
    ASSERT_TRUE(std::any_of(entries.begin(), entries.end(), fromWorker));
    const int before = view_.redraws;
    ui_->RunPending();
    EXPECT_GT(view_.redraws, before);
    // The next entry leaves a redraw waiting; the window goes while the worker keeps writing.
    ASSERT_TRUE(writeMore(1, true));
    ASSERT_GT(ui_->PendingCount(), 0u);
    writeMore(50, false);
    window.reset();
    EXPECT_EQ(ui_->PendingCount(), 0u);
    const int after = view_.redraws;
    ui_->RunPending();
    EXPECT_EQ(view_.redraws, after);
  }
  stop = true;
  allowed.release();
  writer.join();
}

TEST_F(MainWindowTest, TheAudioRouterServesOnePlaceAtATimeAndTheStatusNamesIt) {
  program_->settings.SetSettingString("Settings", "Record", "null");
  program_->settings.SetSettingString("Settings", "PlayDevice", "null");
  MainWindow window(*program_, view_);
  AudioRouter& router = window.Calls().Audio();
  for (AudioPlace place : {AudioPlace::Line(0), AudioPlace::Line(1), AudioPlace::Nothing(), AudioPlace::Line(1)}) {
    router.RouteTo(place);  // the device threads of the last place stop, the new ones start
    EXPECT_TRUE(router.Place() == place);
    const std::string status = window.Calls().StatusJson();
    const std::size_t at = status.find("\"current\":true");
    const int current = at == std::string::npos ? 0 : at < status.find("\"line\":2,") ? 1 : 2;
    EXPECT_EQ(current, place.kind == AudioPlace::Kind::kLine ? place.line + 1 : 0) << status;
  }
  // An intercom buffer beside the place: its speaker starts and stops with the free device.
  router.StartIntercomBuffer(0);
  router.RouteTo(AudioPlace::Nothing());
  router.StopIntercomBuffer(0);
  EXPECT_EQ(router.IntercomBufferedMs(0), 0u);
  window.EndCalls();
  EXPECT_TRUE(router.Place() == AudioPlace::Nothing());
}

// The meters follow the microphone while the path runs and fall to silence when it stops.
TEST_F(MainWindowTest, TheRouterReportsTheMicrophoneLevelAndSilenceWhenItStops) {
  media::WavWriter tone;
  ASSERT_EQ(tone.Create(folder_.Sub("tone.wav")), media::WavError::kNone);
  ASSERT_TRUE(tone.Write(std::vector<std::int32_t>(16000, 131072)) && tone.Flush());  // 2 s at 0 dB
  const std::pair<const char*, std::string> settings[] = {
      {"Record", "wav:" + folder_.Sub("tone.wav")}, {"RecordVolume", "10" /* unity */}, {"PlayDevice", "null"}};
  for (const auto& [name, value] : settings) program_->settings.SetSettingString("Settings", name, value);
  MainWindow window(*program_, view_);
  AudioRouter& router = window.Calls().Audio();
  std::vector<std::pair<int, int>> levels;
  router.SetLevelsListener([&](int play, int record) { levels.emplace_back(play, record); });
  router.RouteTo(AudioPlace::Conference());  // the mixer takes the microphone without a call
  // The wav: device delivers in real time: a bounded wait for its first blocks.
  EXPECT_TRUE(corvina::testing::PollUntil([&] { return ui_->RunPending(), !levels.empty() && levels.back().second == 0; },
                                          3000));
  router.RouteTo(AudioPlace::Nothing());
  EXPECT_EQ(levels.back(), std::make_pair(-127, -127));
  router.SetLevelsListener({});
}

TEST_F(MainWindowTest, AnUnusableSettingsFileIsKeptAndReportedOnceAtLevelOne) {
  ui_.reset();
  program_.reset();
  const std::string registry = Paths().registryFile;
  std::string garbage;
  for (int i = 0; i < 200; ++i) garbage += "not a settings database ";
  std::ofstream(registry, std::ios::binary) << garbage;
  program_ = std::make_unique<ProgramObjects>(Paths());
  ui_ = std::make_unique<platform::ManualUiLoop>(program_->postbox);
  EXPECT_FALSE(program_->store.IsOpen());
  {
    MainWindow window(*program_, view_);
    window.Initialise();
    window.ToggleStatusWindow();  // a write that has nowhere to go
    std::vector<StatusWindow::Entry> entries = window.Status().Entries();
    int reports = 0;
    for (const auto& entry : entries) {
      if (entry.message.find(registry) == std::string::npos) continue;
      ++reports;
      EXPECT_EQ(entry.level, platform::kLogError);
      EXPECT_NE(entry.message.find("default"), std::string::npos) << entry.message;
    }
    EXPECT_EQ(reports, 1);
  }
  std::ifstream in(registry, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), garbage);
}

}  // namespace
}  // namespace corvina::app
