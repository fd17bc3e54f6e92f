// Handing a target to the desktop's handler: the handler runs detached with the target as its
// one argument; a missing handler, an empty target or one that looks like an option fail.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/desktop_open.h"
#include "tests/support/temp_folder.h"

namespace corvina::platform {
namespace {

TEST(DesktopOpen, TheHandlerGetsTheTargetAndBadTargetsOrHandlersFail) {
  corvina::testing::TempFolder folder("open");
  const std::filesystem::path made = folder.Path() / "made by the handler";
  // `touch` stands in for the handler: the file appears when it ran with the target.
  ASSERT_TRUE(OpenWithDesktop(made.string(), "touch"));
  bool appeared = false;
  for (int i = 0; i < 400 && !appeared; ++i) {
    appeared = std::filesystem::exists(made);
    if (!appeared) usleep(5000);
  }
  EXPECT_TRUE(appeared);
  EXPECT_FALSE(OpenWithDesktop("", "touch"));
  EXPECT_FALSE(OpenWithDesktop("--version", "touch"));
  EXPECT_FALSE(OpenWithDesktop(made.string(), "/nonexistent/corvina-handler"));
}

}  // namespace
}  // namespace corvina::platform
