// The real program with its Qt window, on Qt's offscreen platform.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace corvina::ui {
namespace {

TEST(GuiPhoneProcess, ASecondStartHandsOverItsNumberOrComesForwardAndSigtermCloses) {
  corvina::testing::TempFolder folder("gui");
  const std::string home = folder.Sub("home");
  std::vector<std::string> env = {"CORVINA_HOME=" + home, "QT_QPA_PLATFORM=offscreen", "DISPLAY=:corvina-test",
                                  "CORVINA_LOCAL_ADDRESS=127.0.0.1"};
  // The phone looks for no public address: it contacts nothing beyond this machine; it shows no
  // first-run wizard.
  for (auto [section, key, value] : {std::array{"SIP", "STUN", "0"}, std::array{"SIP", "UPNP", "0"},
                                     std::array{"Settings", "InstallWizRun", "1"}}) {
    testing::ChildProcess set({CORVINA_BINARY, "reg", "set", section, key, value}, env);
    const int status = set.Wait(5000);
    ASSERT_TRUE(status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << key;
  }
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
  // A number to dial is handed over the same way; bad lines and secure links never get there.
  const struct {
    std::vector<std::string> args;
    int exitCode;
  } starts[] = {
      {{CORVINA_BINARY, "--dial", "200", "--line", "2"}, 0},
      {{CORVINA_BINARY, "sip:200@127.0.0.1"}, 0},
      {{CORVINA_BINARY, "--dial", "200", "--line", "3"}, 2},
      {{CORVINA_BINARY, "sips:200@127.0.0.1"}, 2},
  };
  for (const auto& start : starts) {
    testing::ChildProcess dialler(start.args, env);
    status = dialler.Wait(5000);
    EXPECT_TRUE(status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == start.exitCode) << start.args.back();
  }
  EXPECT_EQ(first.Wait(200), -1) << "the first phone must keep running";
  kill(first.Pid(), SIGTERM);
  status = first.Wait(10000);
  EXPECT_TRUE(status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace corvina::ui
