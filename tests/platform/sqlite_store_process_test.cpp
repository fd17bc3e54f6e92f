// The SQLite store shared by processes: writers in two processes lose nothing, and a writer
// killed at any moment leaves a readable store with every write it had finished.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/settings.h"
#include "platform/sqlite_settings_store.h"
#include "tests/support/temp_folder.h"

namespace corvina::platform {
namespace {

// Runs in a forked child: opens its own store and writes `count` values, reporting each
// finished write as one byte on `progressFd` when that is not -1.
[[noreturn]] void WriteValues(const std::string& db, const std::string& prefix, int count, int progressFd) {
  SqliteSettingsStore store(db);
  Settings settings(store);
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    if (!settings.SetSettingInt("Stress", prefix + std::to_string(i), i)) ++failures;
    if (progressFd >= 0) {
      char one = 1;
      if (write(progressFd, &one, 1) != 1) _exit(3);
    }
  }
  _exit(failures == 0 ? 0 : 1);
}

TEST(SqliteStoreProcesses, TwoWritersAtOnceLoseNothing) {
  corvina::testing::TempFolder dir;
  const std::string db = dir.Sub("registry.db");
  constexpr int kEach = 150;
  pid_t a = fork();
  if (a == 0) WriteValues(db, "a", kEach, -1);
  pid_t b = fork();
  if (b == 0) WriteValues(db, "b", kEach, -1);
  int statusA = 0;
  int statusB = 0;
  ASSERT_EQ(waitpid(a, &statusA, 0), a);
  ASSERT_EQ(waitpid(b, &statusB, 0), b);
  EXPECT_TRUE(WIFEXITED(statusA) && WEXITSTATUS(statusA) == 0);
  EXPECT_TRUE(WIFEXITED(statusB) && WEXITSTATUS(statusB) == 0);

  SqliteSettingsStore store(db);
  Settings settings(store);
  for (int i = 0; i < kEach; ++i) {
    EXPECT_EQ(settings.GetSettingInt("Stress", "a" + std::to_string(i), -1), i);
    EXPECT_EQ(settings.GetSettingInt("Stress", "b" + std::to_string(i), -1), i);
  }
  EXPECT_EQ(store.ListValues(Settings::SectionPath("Stress")).size(), 2u * kEach);
}

TEST(SqliteStoreProcesses, AWriterKilledMidWriteLosesOnlyThatWrite) {
  corvina::testing::TempFolder dir;
  const std::string db = dir.Sub("registry.db");
  {
    SqliteSettingsStore store(db);
    Settings(store).SetSettingString("Settings", "Before", "kept");
  }
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  pid_t child = fork();
  if (child == 0) {
    close(pipeFds[0]);
    WriteValues(db, "v", 100000, pipeFds[1]);
  }
  close(pipeFds[1]);
  // Let it finish some writes, then kill it without warning, most likely inside a commit.
  int finished = 0;
  char byte;
  while (finished < 40 && read(pipeFds[0], &byte, 1) == 1) ++finished;
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  while (read(pipeFds[0], &byte, 1) == 1) ++finished;  // writes reported before the kill
  close(pipeFds[0]);
  ASSERT_GE(finished, 40);

  SqliteSettingsStore store(db);
  ASSERT_TRUE(store.IsOpen());
  Settings settings(store);
  EXPECT_EQ(settings.GetSettingString("Settings", "Before", ""), "kept");
  for (int i = 0; i < finished; ++i) {
    ASSERT_EQ(settings.GetSettingInt("Stress", "v" + std::to_string(i), -1), i) << "finished write " << i << " lost";
  }
  // At most the one write in flight may have landed beyond the reported ones.
  EXPECT_LE(store.ListValues(Settings::SectionPath("Stress")).size(), static_cast<std::size_t>(finished) + 1);
  // The store still takes writes.
  EXPECT_TRUE(settings.SetSettingString("Settings", "After", "ok"));
  EXPECT_EQ(settings.GetSettingString("Settings", "After", ""), "ok");
}

TEST(SqliteStoreProcesses, AnUnopenableStoreReadsDefaultsAndWritesNothing) {
  SqliteSettingsStore store("/proc/corvina-no-such-folder/registry.db");
  EXPECT_FALSE(store.IsOpen());
  Settings settings(store);
  EXPECT_FALSE(settings.SetSettingString("Settings", "X", "1"));
  EXPECT_EQ(settings.GetSettingString("Settings", "X", "default"), "default");
  EXPECT_TRUE(settings.GetSettingBool("Settings", "ShowMissedCalls", true));
}

}  // namespace
}  // namespace corvina::platform
