// The real program with its Qt window, on Qt's offscreen platform.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace corvina::ui {
namespace {

TEST(GuiPhoneProcess, ASecondStartHandsOverToTheRunningWindowAndSigtermClosesIt) {
  corvina::testing::TempFolder folder("gui");
  const std::string home = folder.Sub("home");
  std::vector<std::string> env = {"CORVINA_HOME=" + home, "QT_QPA_PLATFORM=offscreen", "DISPLAY=:corvina-test",
                                  "CORVINA_LOCAL_ADDRESS=127.0.0.1"};
  // The SIP engine contacts nothing: STUN off.
  testing::ChildProcess({CORVINA_BINARY, "reg", "set", "SIP", "STUN", "0"}, env).Wait(5000);
  testing::ChildProcess first({CORVINA_BINARY}, env);
  // The window exists once the log says the phone runs.
  auto logs = std::filesystem::path(home) / "Documents/Corvina/Logs";
  bool running = false;
  for (int i = 0; i < 400 && !running; ++i) {
    usleep(25000);
    std::error_code ec;
    // The start-up lock keeps the second start waiting until the first listens for it.
    running = std::filesystem::exists(logs, ec) && !std::filesystem::is_empty(logs, ec);
  }
  ASSERT_TRUE(running);
  testing::ChildProcess second({CORVINA_BINARY}, env);
  int status = second.Wait(5000);
  EXPECT_TRUE(status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(first.Wait(200), -1) << "the first phone must keep running";
  kill(first.Pid(), SIGTERM);
  status = first.Wait(10000);
  EXPECT_TRUE(status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace corvina::ui
