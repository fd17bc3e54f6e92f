// A writer process killed (SIGKILL) in the middle of rewriting a profile file leaves the file's
// old bytes, and its lock dies with it: the store in this process writes the file at once.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "contacts/profile_file.h"
#include "tests/support/poll_until.h"
#include "tests/support/temp_folder.h"

namespace corvina::contacts {
namespace {

// A temporary file of a write in progress beside `name` (not the lock file).
bool WriteInProgress(const std::filesystem::path& folder, const std::string& name) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string file = entry.path().filename().string();
    if (file.starts_with(name + ".") && file != name + ".lock") return true;
  }
  return false;
}

TEST(ProfileFileProcess, WriterKilledMidWriteLeavesTheOldBytes) {
  testing::TempFolder dir;
  const std::string path = dir.Sub("contacts.ini");
  ASSERT_TRUE(profile::WriteString(path, "contacts", "entrycount", "0"));
  bool killedMidWrite = false;
  // A child that was too quick or too slow for the kill is tried again with a new one.
  for (int attempt = 0; attempt < 20 && !killedMidWrite; ++attempt) {
    const std::string old = testing::ReadFile(path);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // About 5 MB, so the write lasts long enough to be seen.
      profile::Edit(path, [&](ProfileData& d) {
        for (int i = 0; i < 20000; ++i) {
          SetProfileValue(d, "contacts", "k" + std::to_string(i), std::string(250, static_cast<char>('a' + attempt)));
        }
      });
      ::_exit(0);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    siginfo_t ended{};
    while (!WriteInProgress(dir.Path(), "contacts.ini") && std::chrono::steady_clock::now() < deadline) {
      // Ended (not reaped yet, so its PID stays ours to signal).
      if (::waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid == child) {
        break;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (!WriteInProgress(dir.Path(), "contacts.ini")) continue;
    killedMidWrite = true;
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(testing::ReadFile(path), old);
    EXPECT_TRUE(profile::WriteString(path, "contacts", "entrycount", "1"));  // the lock is free
  }
  EXPECT_TRUE(killedMidWrite);
}

}  // namespace
}  // namespace corvina::contacts
