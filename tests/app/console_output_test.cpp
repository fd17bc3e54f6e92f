// The console's output: a reader that falls behind loses its oldest events and is told once
// how many, answers are never lost, and a control client that stops reading does not hold up
// standard output. And the phone's tear-down: workers stop before the loop detaches.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/console/console_outbox.h"
#include "app/console/console_phone.h"
#include "app/phone_entry.h"
#include "platform/fd_io.h"
#include "platform/worker_thread.h"
#include "tests/support/temp_folder.h"

namespace corvina::app {
namespace {

// Everything the outbox gives out, as if the reader took it all now.
std::string Drain(ConsoleOutbox& box) {
  std::string out;
  while (!box.Empty()) {
    std::string_view front = box.Front();
    out.append(front);
    box.Consume(front.size());
  }
  return out;
}

TEST(ConsoleOutbox, DropsTheOldestEventsKeepsAnswersAndSaysHowManyOnce) {
  ConsoleOutbox box(3);
  box.PushEvent("e1");
  box.Consume(1);  // "e" went out; the rest of the line must follow
  box.PushAnswer("ok");
  for (const char* e : {"e2", "e3", "e4", "e5"}) box.PushEvent(e);
  EXPECT_EQ(box.DroppedEvents(), 2u);
  EXPECT_EQ(Drain(box), "1\nok\nevent {\"event\":\"overflow\",\"dropped\":2}\ne4\ne5\n");

  // Once a notice is on its way, later losses get a notice of their own.
  for (const char* e : {"f1", "f2", "f3", "f4"}) box.PushEvent(e);
  std::string_view notice = box.Front();
  box.Consume(notice.size() - 1);
  for (const char* e : {"f5", "f6"}) box.PushEvent(e);
  EXPECT_EQ(Drain(box), "\nevent {\"event\":\"overflow\",\"dropped\":2}\nf4\nf5\nf6\n");
  EXPECT_EQ(box.DroppedEvents(), 5u);
}

class ConsolePhoneOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path& home = folder_.Path();
    // The phone's SIP engine contacts nothing: its own address on loopback, STUN off.
    setenv("CORVINA_LOCAL_ADDRESS", "127.0.0.1", 1);
    program_ = std::make_unique<ProgramObjects>(platform::PhonePaths{
        (home / "registry.db").string(), (home / "Documents").string(), (home / "run").string()});
    program_->settings.SetSettingString("SIP", "STUN", "0");
    program_->settings.SetSettingString("Settings", "InstallWizRun", "1");
    ASSERT_EQ(pipe(input_), 0);
    ASSERT_EQ(pipe(output_), 0);
  }
  void TearDown() override {
    for (int fd : {input_[0], input_[1], output_[0], output_[1]}) {
      if (fd >= 0) close(fd);
    }
  }
  // Starts the phone on its own thread with a control port; returns the port.
  int StartPhoneWithControlPort() {
    phoneThread_ = std::thread([this] {
      ConsolePhone phone(input_[0], output_[1], nullptr);
      phone.SetControlAddress("127.0.0.1:0");
      phone_.store(&phone);
      RunPhone(*program_, phone);
      phone_.store(nullptr);
    });
    std::string line;
    if (!NextLine(&line) || line.rfind("event {\"event\":\"control\",\"address\":\"127.0.0.1:", 0) != 0) return -1;
    const int port = std::stoi(line.substr(line.rfind(':') + 1));
    std::string pane;  // the window's start-up event comes before the test's
    if (!NextLine(&pane) || pane.rfind("event {\"event\":\"statusPane\"", 0) != 0) return -1;
    // The phone's own start-up events (buttons, menus, display) end before this answer; the SIP
    // engine's (its address, the two lines' registrations) go out before any client connects,
    // so a client's count holds the test's own events only.
    if (!platform::WriteAll(input_[1], "help help\n")) return -1;
    bool answered = false;
    int sipEvents = 0;
    while ((!answered || sipEvents < 3) && NextLine(&line)) {
      if (line.rfind("event {\"event\":\"address\"", 0) == 0 ||
          line.rfind("event {\"event\":\"registration\"", 0) == 0) {
        ++sipEvents;
      } else if (line.rfind("ok ", 0) == 0) {
        answered = true;
      }
    }
    return sipEvents == 3 ? port : -1;
  }
  void QuitPhone() {
    platform::WriteAll(input_[1], "quit\n");
    if (phoneThread_.joinable()) phoneThread_.join();
  }
  // A loopback client with small socket buffers, so that what it does not read piles up in the phone.
  static int ConnectSmall(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int smallBuffer = 16 * 1024;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &smallBuffer, sizeof smallBuffer);
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &smallBuffer, sizeof smallBuffer);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }
  // The next line of the phone's standard output; false after a generous deadline.
  bool NextLine(std::string* line) { return platform::ReadLine(output_[0], 20000, stdoutLines_, line); }
  // The next line that is not one of the SIP engine's events, which come at their own pace.
  bool NextNonSipLine(std::string* line) {
    while (NextLine(line)) {
      if (line->rfind("event {\"event\":\"address\"", 0) != 0 &&
          line->rfind("event {\"event\":\"registration\"", 0) != 0) {
        return true;
      }
    }
    return false;
  }

  corvina::testing::TempFolder folder_{"console"};
  std::unique_ptr<ProgramObjects> program_;
  int input_[2] = {-1, -1};
  int output_[2] = {-1, -1};
  platform::LineSplitter stdoutLines_{1 << 20};
  std::atomic<ConsolePhone*> phone_{nullptr};
  std::thread phoneThread_;
};

TEST_F(ConsolePhoneOutputTest, AStalledControlClientDoesNotHoldUpStandardOutput) {
  const int port = StartPhoneWithControlPort();
  ASSERT_GT(port, 0);
  std::string line;
  int client = ConnectSmall(port);
  ASSERT_GE(client, 0);
  // The client proves it is connected, then stops reading.
  ASSERT_TRUE(platform::WriteAll(client, "help\n"));
  platform::LineSplitter clientLines(1 << 20);
  std::string answer;
  ASSERT_TRUE(platform::ReadLine(client, 20000, clientLines, &answer));
  ASSERT_EQ(answer.rfind("ok {\"commands\"", 0), 0u);

  // Far more than any socket buffer holds, in rounds that standard output's reader keeps up with.
  const std::string padding(200, 'p');
  auto tick = [&padding](int n) { return ConsoleEvent("tick").Add("n", n).Add("pad", padding); };
  constexpr int kRounds = 40;
  constexpr int kPerRound = 500;
  bool stdoutComplete = true;
  for (int round = 0; round < kRounds && stdoutComplete; ++round) {
    program_->postbox.Post([this, round, &tick] {
      for (int i = 0; i < kPerRound; ++i) phone_.load()->Emit(tick(round * kPerRound + i));
    });
    for (int i = 0; i < kPerRound && stdoutComplete; ++i) {
      const std::string expected = tick(round * kPerRound + i).Text();
      stdoutComplete = NextNonSipLine(&line) && line == expected;
    }
  }
  EXPECT_TRUE(stdoutComplete) << "standard output stopped at: " << line.substr(0, 60);

  // The client reads again: it lost its oldest events, each counted in exactly one notice
  // (a notice the kernel took in part while the client stalled keeps its count; later
  // losses get the next one), and gets the newest.
  int received = 0;
  int notices = 0;
  long dropped = 0;
  const std::string last = tick(kRounds * kPerRound - 1).Text();
  while (platform::ReadLine(client, 20000, clientLines, &line)) {
    if (line.rfind("event {\"event\":\"overflow\",\"dropped\":", 0) == 0) {
      ++notices;
      const long count = std::stol(line.substr(line.rfind(':') + 1));
      EXPECT_GT(count, 0);
      dropped += count;
      continue;
    }
    ++received;
    if (line == last) break;
  }
  EXPECT_EQ(line, last);
  EXPECT_GE(notices, 1);
  EXPECT_EQ(received + dropped, kRounds * kPerRound);

  QuitPhone();
  close(client);
}

TEST_F(ConsolePhoneOutputTest, AClientThatDoesNotReadItsAnswersIsNotReadFromButLosesNone) {
  const int port = StartPhoneWithControlPort();
  ASSERT_GT(port, 0);
  int client = ConnectSmall(port);
  ASSERT_GE(client, 0);
  // Commands go in until the phone stops taking them: the client's buffer stays full for a
  // second. A phone that read on would take them all.
  const std::string command = "nope\n";
  std::string block;
  for (int i = 0; i < 800; ++i) block += command;
  long sent = 0;
  constexpr long kLimit = 1L << 18;
  while (sent < kLimit * static_cast<long>(command.size())) {
    const std::size_t offset = static_cast<std::size_t>(sent) % block.size();
    ssize_t n = send(client, block.data() + offset, block.size() - offset, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && errno == EAGAIN) {
      pollfd room{client, POLLOUT, 0};
      if (poll(&room, 1, 1000) == 1) continue;
      break;
    }
    ASSERT_GT(n, 0);
    sent += n;
  }
  const long commands = sent / static_cast<long>(command.size());  // a part line is no command
  EXPECT_LT(commands, kLimit) << "the phone kept reading a client that read nothing";
  // Standard input is served meanwhile.
  ASSERT_TRUE(platform::WriteAll(input_[1], "help quit\n"));
  std::string line;
  ASSERT_TRUE(NextLine(&line));
  EXPECT_EQ(line.rfind("ok {\"verb\":\"quit\"", 0), 0u) << line;
  // Every command gets its answer once the client reads.
  platform::LineSplitter lines(1 << 20);
  long answers = 0;
  while (answers < commands && platform::ReadLine(client, 20000, lines, &line)) {
    if (line != "error: unknown command \"nope\"") break;
    ++answers;
  }
  EXPECT_EQ(answers, commands) << line;
  QuitPhone();
  close(client);
}

// A worker that keeps posting to the user-interface thread until it is stopped.
class PostingWorker final : public platform::WorkerThread {
 public:
  PostingWorker(platform::UiQueue& ui, std::atomic<bool>& ended) : WorkerThread("poster"), ui_(ui), ended_(ended) {}
  ~PostingWorker() override { StopAndJoin(); }

 protected:
  void Run() override {
    while (Sleep(1)) ui_.Post([] {});
    ended_ = true;
  }

 private:
  platform::UiQueue& ui_;
  std::atomic<bool>& ended_;
};

TEST_F(ConsolePhoneOutputTest, EveryWorkerHasStoppedBeforeThePhoneTearsDownItsLoop) {
  std::atomic<bool> ended{false};
  auto worker = std::make_unique<PostingWorker>(program_->postbox, ended);
  ASSERT_TRUE(worker->Start());
  program_->workers.Add(std::move(worker));
  bool endedBeforeReturn = false;
  bool attachedAtReturn = true;
  std::thread phoneThread([&] {
    ConsolePhone phone(input_[0], output_[1], nullptr);
    RunPhone(*program_, phone);
    endedBeforeReturn = ended;
    attachedAtReturn = program_->postbox.IsAttached();
  });
  ASSERT_TRUE(platform::WriteAll(input_[1], "quit\n"));
  phoneThread.join();
  EXPECT_TRUE(endedBeforeReturn);
  EXPECT_FALSE(attachedAtReturn);
}

}  // namespace
}  // namespace corvina::app
