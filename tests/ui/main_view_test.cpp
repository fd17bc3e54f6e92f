// The Qt main window, on the X display (Xvfb) or else Qt's offscreen platform.
#include <gtest/gtest.h>
#include <QApplication>
#include <QMenuBar>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "tests/support/temp_folder.h"
#include "platform/manual_loop.h"
#include "ui/qt_loop.h"
#include "ui/qt_main_view.h"

namespace corvina::ui {
namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // On the X display when there is one (the tests run under Xvfb when it is installed).
    if (getenv("DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
  }
  void TearDown() override { delete app_; }

 private:
  QApplication* app_ = nullptr;
};
const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

class QtMainViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path& home_ = folder_.Path();
    platform::PhonePaths paths{(home_ / "registry.db").string(), (home_ / "Documents").string(),
                               (home_ / "run").string()};
    program_ = std::make_unique<app::ProgramObjects>(paths);
    ui_ = std::make_unique<platform::ManualUiLoop>(program_->postbox);
  }
  void TearDown() override {
    ui_.reset();
    program_.reset();
  }
  corvina::testing::TempFolder folder_{"ui"};
  std::unique_ptr<app::ProgramObjects> program_;
  std::unique_ptr<platform::ManualUiLoop> ui_;
};

TEST_F(QtMainViewTest, TheWindowIsTitledCorvinaAndComesForward) {
  QtMainView view;
  EXPECT_EQ(view.windowTitle().toStdString(), "Corvina");
  EXPECT_FALSE(view.isVisible());
  view.BringToFront();
  EXPECT_TRUE(view.isVisible());
  EXPECT_TRUE(view.isMaximized());
}

TEST_F(QtMainViewTest, TheStatusPaneShowsEntriesWithErrorsInTheWarningColour) {
  QtMainView view;
  app::MainWindow window(*program_, view);
  view.Attach(&window);
  window.Initialise();
  program_->activityLog.Log("Registration failed", platform::kLogError);
  window.ToggleStatusWindow();  // shows the pane
  view.show();
  ui_->RunPending();
  ASSERT_EQ(view.StatusWindowList()->count(), 2);
  EXPECT_TRUE(view.StatusWindowList()->item(0)->text().endsWith("Corvina Run"));
  EXPECT_EQ(view.StatusWindowList()->item(1)->foreground().color(), QColor(0xF6, 0x28, 0x50));
  EXPECT_EQ(view.StatusWindowList()->item(0)->foreground().color(), QColor(0xF0, 0xF0, 0xF0));
  window.ToggleStatusWindow();
  EXPECT_FALSE(view.StatusWindowList()->isVisible());
  EXPECT_FALSE(program_->settings.GetSettingBool("Settings", "ShowStatus", true));
  view.Attach(nullptr);
}

TEST(QtUiLoop, RunsPostedTasksOnTheQtThreadAndNoneOnceDetached) {
  platform::UiPostbox postbox;
  auto loop = std::make_unique<QtUiLoop>();
  ASSERT_TRUE(loop->Attach(postbox));
  std::atomic<int> ran{0};
  std::thread worker([&] {
    for (int i = 0; i < 10; ++i) postbox.Post([&ran, step = std::make_unique<int>(1)] { ran += *step; });
  });
  worker.join();
  EXPECT_EQ(ran, 0);  // not on the worker's thread
  for (int i = 0; i < 1000 && ran < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(ran, 10);
  postbox.Post([&] { ++ran; });  // queued, then the loop goes before Qt comes round to it
  loop.reset();
  EXPECT_FALSE(postbox.Post([&] { ++ran; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(ran, 10);
}

}  // namespace
}  // namespace corvina::ui
