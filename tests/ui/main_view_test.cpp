// The Qt main window, on Qt's offscreen platform.
#include <gtest/gtest.h>
#include <QApplication>
#include <QMenuBar>
#include <unistd.h>

#include <filesystem>

#include "tests/support/temp_folder.h"
#include "platform/manual_loop.h"
#include "ui/qt_main_view.h"

namespace corvina::ui {
namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
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
  }
  void TearDown() override { program_.reset(); }
  corvina::testing::TempFolder folder_{"ui"};
  std::unique_ptr<app::ProgramObjects> program_;
  platform::ManualUiQueue ui_;
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
  app::MainWindow window(*program_, view, ui_);
  view.Attach(&window);
  window.Initialise();
  program_->activityLog.Log("Registration failed", platform::kLogError);
  window.ToggleStatusWindow();  // shows the pane
  view.show();
  ui_.RunPending();
  ASSERT_EQ(view.StatusPane()->count(), 2);
  EXPECT_TRUE(view.StatusPane()->item(0)->text().endsWith("Corvina Run"));
  EXPECT_EQ(view.StatusPane()->item(1)->foreground().color(), QColor(0xF6, 0x28, 0x50));
  EXPECT_EQ(view.StatusPane()->item(0)->foreground().color(), QColor(0xF0, 0xF0, 0xF0));
  window.ToggleStatusWindow();
  EXPECT_FALSE(view.StatusPane()->isVisible());
  EXPECT_FALSE(program_->settings.GetSettingBool("Settings", "ShowStatus", true));
  view.Attach(nullptr);
}

}  // namespace
}  // namespace corvina::ui
