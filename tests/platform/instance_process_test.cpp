// The start-up lock and the hand-over channel between two starts of one phone.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/instance_channel.h"
#include "platform/startup_lock.h"
#include "tests/support/blocked_in.h"
#include "tests/support/temp_folder.h"

namespace corvina::platform {
namespace {

using namespace std::chrono_literals;

TEST(StartupLock, ASecondHolderWaitsForTheFirstToRelease) {
  corvina::testing::TempFolder folder;
  const std::string dir = folder.Sub("home");
  StartupLock first(dir);
  ASSERT_TRUE(first.Acquire(1000));
  // Another process cannot take it while it is held...
  pid_t child = fork();
  if (child == 0) {
    StartupLock second(dir);
    _exit(second.Acquire(200) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the lock was taken twice";
  // ...and gets it once it is released: the child is seen retrying (asleep between attempts,
  // by the kernel's account) and still running while the lock is held.
  child = fork();
  if (child == 0) {
    StartupLock second(dir);
    _exit(second.Acquire(20000) ? 0 : 1);
  }
  const bool retrying = corvina::testing::WaitUntilBlockedIn(child, child, corvina::testing::kSleepCalls);
  EXPECT_TRUE(retrying) << "the child never waited";
  EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "the child finished while the lock was held";
  first.Release();
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(StartupLock, ACrashedHolderDoesNotBlockTheNextStart) {
  corvina::testing::TempFolder folder;
  const std::string dir = folder.Sub("home");
  pid_t child = fork();
  if (child == 0) {
    StartupLock held(dir);
    held.Acquire(1000);
    _exit(0);  // no Release: the kernel drops the lock with the process
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  StartupLock next(dir);
  EXPECT_TRUE(next.Acquire(1000));
}

TEST(InstanceChannel, HandOverReachesTheRunningInstance) {
  corvina::testing::TempFolder folder;
  const std::string dir = folder.Sub("home");
  std::atomic<int> hotkey{0};
  InstanceServer server(dir, "Corvina 4.01", [&](int id) { hotkey = id; });
  ASSERT_TRUE(server.Listen());
  EXPECT_TRUE(HandOverToRunningInstance(dir, 2000));
  for (int i = 0; i < 200 && hotkey == 0; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(hotkey.load(), 1);
  server.StopAndJoin();
}

TEST(InstanceChannel, NoInstanceMeansNoHandOver) {
  corvina::testing::TempFolder folder;
  const std::string dir = folder.Sub("home");
  EXPECT_FALSE(HandOverToRunningInstance(dir, 500));
}

TEST(InstanceChannel, AnythingNotTitledCorvinaIsNotAnInstance) {
  corvina::testing::TempFolder folder;
  const std::string dir = folder.Sub("home");
  std::atomic<int> hotkey{0};
  InstanceServer other(dir, "Some other Corvina-like program", [&](int id) { hotkey = id; });
  ASSERT_TRUE(other.Listen());
  EXPECT_FALSE(HandOverToRunningInstance(dir, 1000));
  EXPECT_EQ(hotkey.load(), 0);
  other.StopAndJoin();
}

TEST(InstanceChannel, AStaleSocketOfADeadInstanceIsTakenOver) {
  corvina::testing::TempFolder folder;
  const std::string dir = folder.Sub("home");
  pid_t child = fork();
  if (child == 0) {
    auto* leaked = new InstanceServer(dir, "Corvina", [](int) {});
    _exit(leaked->Listen() ? 0 : 1);  // dies without removing its socket
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  ASSERT_TRUE(std::filesystem::exists(InstanceSocketName(dir)));
  InstanceServer server(dir, "Corvina", [](int) {});
  EXPECT_TRUE(server.Listen());
  EXPECT_TRUE(HandOverToRunningInstance(dir, 2000));
  server.StopAndJoin();
}

TEST(InstanceChannel, LongFoldersUseAnAbstractNameThatSeparatesHomes) {
  std::string longA = "/tmp/" + std::string(200, 'a');
  std::string longB = "/tmp/" + std::string(200, 'b');
  EXPECT_EQ(InstanceSocketName(longA)[0], '\0');
  EXPECT_NE(InstanceSocketName(longA), InstanceSocketName(longB));
  EXPECT_EQ(InstanceSocketName("/tmp/x"), "/tmp/x/instance.sock");
}

}  // namespace
}  // namespace corvina::platform
