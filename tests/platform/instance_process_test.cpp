// The start-up lock and the hand-over channel between two starts of one phone.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/fd_io.h"
#include "platform/instance_channel.h"
#include "platform/startup_lock.h"
#include "tests/support/blocked_in.h"
#include "tests/support/temp_folder.h"

namespace corvina::platform {
namespace {

using namespace std::chrono_literals;

// Each test's phone home, in a folder of its own.
struct HomeFolder : ::testing::Test {
  corvina::testing::TempFolder folder;
  const std::string dir = folder.Sub("home");
};
using StartupLockTest = HomeFolder;
using InstanceChannelTest = HomeFolder;

TEST_F(StartupLockTest, ASecondHolderWaitsForTheFirstToRelease) {
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

TEST_F(StartupLockTest, ACrashedHolderDoesNotBlockTheNextStartAndReleaseRemovesTheFile) {
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
  next.Release();
  EXPECT_FALSE(std::filesystem::exists(dir + "/" + StartupLock::kName));
}

TEST_F(InstanceChannelTest, HandOverReachesTheRunningInstance) {
  std::atomic<int> hotkey{0};
  InstanceServer server(dir, "Corvina 4.01", [&](int id) { hotkey = id; });
  ASSERT_TRUE(server.Listen());
  EXPECT_TRUE(HandOverToRunningInstance(dir, 2000));
  for (int i = 0; i < 200 && hotkey == 0; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(hotkey.load(), 1);
  server.StopAndJoin();
}

TEST_F(InstanceChannelTest, ADialRequestReachesTheRunningInstanceAndABadLineIsRefused) {
  std::mutex lock;
  std::vector<DialRequest> dialled;
  InstanceServer server(dir, "Corvina 4.01", [](int) {});
  server.SetDialHandler([&](const DialRequest& request) {
    std::lock_guard<std::mutex> hold(lock);
    dialled.push_back(request);
  });
  ASSERT_TRUE(server.Listen());
  const struct {
    DialRequest request;
    HandOverResult result;
  } cases[] = {
      {{"sip:200@127.0.0.1", 0}, HandOverResult::kTaken},
      {{"Zoë <201>", 2}, HandOverResult::kTaken},
      {{"", 1}, HandOverResult::kTaken},
      {{"202", 3}, HandOverResult::kRefused},
      {{"202", -1}, HandOverResult::kRefused},
      {{"202\ndial 1 203", 0}, HandOverResult::kRefused},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HandDialToRunningInstance(dir, c.request, 2000), c.result) << c.request.text << " " << c.request.line;
  }
  // A client that skips the check reaches the server's own: the line is range-checked there.
  for (const char* raw : {"dial 7 204", "dial x 204", "dial 1"}) {
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string name = InstanceSocketName(dir);  // may be abstract (leading NUL)
    std::memcpy(addr.sun_path, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
    ASSERT_EQ(connect(fd.Get(), reinterpret_cast<sockaddr*>(&addr), length), 0);
    ASSERT_TRUE(WriteAll(fd.Get(), std::string(raw) + "\n"));
    LineSplitter lines(2048);
    std::string title, reply;
    ASSERT_TRUE(ReadLine(fd.Get(), 2000, lines, &title));
    ASSERT_TRUE(ReadLine(fd.Get(), 2000, lines, &reply));
    EXPECT_EQ(reply.rfind("error:", 0), 0u) << raw;
  }
  const std::vector<DialRequest> expected = {{"sip:200@127.0.0.1", 0}, {"Zoë <201>", 2}, {"", 1}};
  for (int i = 0; i < 400; ++i) {
    {
      std::lock_guard<std::mutex> hold(lock);
      if (dialled.size() >= expected.size()) break;
    }
    std::this_thread::sleep_for(5ms);
  }
  server.StopAndJoin();
  EXPECT_EQ(dialled, expected);
}

TEST_F(InstanceChannelTest, NoInstanceMeansNoHandOver) {
  EXPECT_FALSE(HandOverToRunningInstance(dir, 500));
  EXPECT_EQ(HandDialToRunningInstance(dir, {"200", 1}, 500), HandOverResult::kNoInstance);
}

TEST_F(InstanceChannelTest, AnythingNotTitledCorvinaIsNotAnInstance) {
  std::atomic<int> hotkey{0};
  InstanceServer other(dir, "Some other Corvina-like program", [&](int id) { hotkey = id; });
  ASSERT_TRUE(other.Listen());
  EXPECT_FALSE(HandOverToRunningInstance(dir, 1000));
  EXPECT_EQ(hotkey.load(), 0);
  other.StopAndJoin();
}

TEST_F(InstanceChannelTest, AStaleSocketOfADeadInstanceIsTakenOver) {
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

TEST(InstanceSocketName, LongFoldersUseAnAbstractNameThatSeparatesHomes) {
  std::string longA = "/tmp/" + std::string(200, 'a');
  std::string longB = "/tmp/" + std::string(200, 'b');
  EXPECT_EQ(InstanceSocketName(longA)[0], '\0');
  EXPECT_NE(InstanceSocketName(longA), InstanceSocketName(longB));
  EXPECT_EQ(InstanceSocketName("/tmp/x"), "/tmp/x/instance.sock");
}

}  // namespace
}  // namespace corvina::platform
