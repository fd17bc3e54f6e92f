// The real program: single instance per home with hand-over, phones side by side, the
// console protocol on standard input and on the control port, clean stops, and the settings
// tool.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/console/console_phone.h"
#include "platform/fd_io.h"
#include "platform/product.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace corvina::app {
namespace {

using corvina::testing::ChildProcess;
using Clock = std::chrono::steady_clock;

class PhoneProcessTest : public ::testing::Test {
 protected:
  // A phone home whose SIP engine contacts nothing: STUN off, its own address on loopback.
  std::string Home(const char* name) const {
    std::string home = folder_.Sub(name);
    ChildProcess set({CORVINA_BINARY, "reg", "set", "SIP", "STUN", "0"}, Env(home));
    set.Wait(5000);
    ChildProcess({CORVINA_BINARY, "reg", "set", "Settings", "InstallWizRun", "1"}, Env(home)).Wait(5000);
    return home;
  }
  static std::vector<std::string> Env(const std::string& home) {
    return {"CORVINA_HOME=" + home, "CORVINA_LOCAL_ADDRESS=127.0.0.1"};
  }
  static std::unique_ptr<ChildProcess> StartPhone(const std::string& home, std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {CORVINA_BINARY, "--headless"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return std::make_unique<ChildProcess>(argv, Env(home));
  }
  // Sends a command and returns its answer line, skipping events.
  static std::string Ask(ChildProcess& phone, const std::string& command) {
    phone.Send(command);
    std::string line;
    while (phone.ReadLine(&line, 5000)) {
      if (line.rfind("event ", 0) != 0) return line;
    }
    return "(no answer)";
  }
  static bool ExitedWith(int status, int code) { return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == code; }

  corvina::testing::TempFolder folder_{"proc"};
};

// A first start without a display asks nothing: no wizard, no networking tool; it says so, and
// the next start is not a first start any more.
TEST_F(PhoneProcessTest, AHeadlessFirstStartSkipsTheWizardAndMarksItRun) {
  const std::string home = folder_.Sub("first");
  ChildProcess({CORVINA_BINARY, "reg", "set", "SIP", "STUN", "0"}, Env(home)).Wait(5000);
  auto phone = StartPhone(home);
  std::string line;
  EXPECT_TRUE(phone->WaitForLine("event {\"event\":\"wizard\",\"skipped\":true}", &line, 5000));
  EXPECT_EQ(Ask(*phone, "quit"), "ok");
  EXPECT_TRUE(ExitedWith(phone->Wait(5000), 0));
  ChildProcess get({CORVINA_BINARY, "reg", "get", "Settings", "InstallWizRun"}, Env(home));
  EXPECT_TRUE(get.ReadLine(&line, 5000));
  EXPECT_EQ(line, "1");
  get.Wait(5000);
}

TEST_F(PhoneProcessTest, ASecondStartOnTheSameHomeHandsOverAndExitsAtOnce) {
  std::string home = Home("one");
  auto first = StartPhone(home);
  ASSERT_EQ(Ask(*first, "status").rfind("ok {", 0), 0u);

  auto start = Clock::now();
  ChildProcess second({CORVINA_BINARY, "--headless"}, Env(home));
  int status = second.Wait(5000);
  auto took = Clock::now() - start;
  EXPECT_TRUE(ExitedWith(status, 0)) << status;
  // The hand-over itself takes milliseconds; the bound only catches a start that waited for a
  // time-out instead of handing over (the figure is printed for the record).
  const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
  std::printf("hand-over took %lld ms\n", static_cast<long long>(tookMs));
  EXPECT_LT(tookMs, 4000);
  std::string line;
  EXPECT_FALSE(second.ReadLine(&line, 100)) << "the second start wrote: " << line;

  // The running phone was told and came to the front.
  EXPECT_TRUE(first->WaitForLine("event {\"event\":\"front\"}", &line, 3000));
  // A start without a display that only hands a number over says nothing of starting a phone.
  ChildProcess dialler({CORVINA_BINARY, "--dial", "sip:200@127.0.0.1:9"},
                      {"CORVINA_HOME=" + home, "CORVINA_LOCAL_ADDRESS=127.0.0.1", "DISPLAY=", "WAYLAND_DISPLAY="});
  EXPECT_TRUE(ExitedWith(dialler.Wait(5000), 0));
  EXPECT_EQ(dialler.ReadAllErrors(100), "");
  EXPECT_EQ(Ask(*first, "quit"), "ok");
  EXPECT_TRUE(ExitedWith(first->Wait(5000), 0));
  EXPECT_FALSE(std::filesystem::exists(home + "/run/CorvinaStarting")) << "the start-up lock outlived the phone";

  // Its log says it ran once.
  std::ifstream log(std::filesystem::directory_iterator(std::filesystem::path(home) / "Documents/Corvina/Logs")->path());
  std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.find("Corvina Run"), text.rfind("Corvina Run"));
  EXPECT_NE(text.find("Corvina Run\r\n"), std::string::npos);
}

// The window is a separate program: the console phone maps no Qt library, even with a display.
TEST_F(PhoneProcessTest, TheConsolePhoneLoadsNoQt) {
  std::string home = Home("noqt");
  ChildProcess({CORVINA_BINARY, "reg", "set", "SIP", "UPNP", "0"}, Env(home)).Wait(5000);
  std::vector<std::string> env = Env(home);
  env.push_back("DISPLAY=:corvina-test");
  ChildProcess phone({CORVINA_BINARY, "--headless"}, env);
  ASSERT_EQ(Ask(phone, "state").rfind("ok {\"lines\":", 0), 0u);
  std::ifstream maps("/proc/" + std::to_string(phone.Pid()) + "/maps");
  std::string text((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("libc"), std::string::npos) << "the map was read";
  EXPECT_EQ(text.find("libQt6"), std::string::npos);
  EXPECT_EQ(Ask(phone, "quit"), "ok");
  EXPECT_TRUE(ExitedWith(phone.Wait(5000), 0));
}

TEST_F(PhoneProcessTest, PhonesWithDifferentHomesRunSideBySide) {
  auto a = StartPhone(Home("a"));
  auto b = StartPhone(Home("b"));
  std::string statusA = Ask(*a, "status");
  std::string statusB = Ask(*b, "status");
  EXPECT_NE(statusA.find("\"registry\":\"" + Home("a") + "/registry.db\""), std::string::npos) << statusA;
  EXPECT_NE(statusB.find("\"registry\":\"" + Home("b") + "/registry.db\""), std::string::npos) << statusB;
  EXPECT_NE(statusA.find("\"initialised\":true"), std::string::npos);
  EXPECT_NE(statusA.find("\"bridges\":0,"), std::string::npos) << statusA;
  EXPECT_EQ(Ask(*a, "quit"), "ok");
  EXPECT_EQ(Ask(*b, "quit"), "ok");
  EXPECT_TRUE(ExitedWith(a->Wait(5000), 0));
  EXPECT_TRUE(ExitedWith(b->Wait(5000), 0));
}

TEST_F(PhoneProcessTest, EndOfInputSigtermAndSigintAllStopCleanly) {
  auto eof = StartPhone(Home("eof"));
  ASSERT_EQ(Ask(*eof, "status").rfind("ok ", 0), 0u);
  eof->CloseInput();
  EXPECT_TRUE(ExitedWith(eof->Wait(5000), 0));

  for (int sig : {SIGTERM, SIGINT}) {
    auto phone = StartPhone(Home(sig == SIGTERM ? "term" : "int"));
    ASSERT_EQ(Ask(*phone, "status").rfind("ok ", 0), 0u);
    kill(phone->Pid(), sig);
    EXPECT_TRUE(ExitedWith(phone->Wait(5000), 0)) << "signal " << sig;
  }
}

TEST_F(PhoneProcessTest, QuittingDuringAContactsImportCancelsItFirst) {
  const std::string csv = folder_.Sub("many.csv");
  {
    std::ofstream out(csv, std::ios::binary);
    for (int i = 0; i < 20000; ++i) out << "First" << i << ",Last" << i << "," << i << ",\r\n";
  }
  auto phone = StartPhone(Home("import"));
  ASSERT_EQ(Ask(*phone, "status").rfind("ok ", 0), 0u);
  phone->Send("contacts import " + csv + "\nquit");
  // `quit` is answered while the import runs; the import then ends, cancelled, and answers.
  std::string line;
  std::vector<std::string> answers;
  bool cancelled = false;
  while (answers.size() < 2 && phone->ReadLine(&line, 10000)) {
    cancelled = cancelled || line.find(R"("state":"cancelled")") != std::string::npos;
    if (line.rfind("event ", 0) != 0) answers.push_back(line);
  }
  EXPECT_TRUE(cancelled);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0], "ok");
  EXPECT_EQ(answers[1].rfind("ok {\"added\":", 0), 0u) << answers[1];
  EXPECT_NE(answers[1], "ok {\"added\":20000}");
  EXPECT_TRUE(ExitedWith(phone->Wait(10000), 0));
}

// `mail` from the console: a send that fails (nothing listens on the mail host) answers with
// its result once the progress window has closed; a recording to a bad address is refused with
// its box before anything is sent.
TEST_F(PhoneProcessTest, TheConsoleSendsMailInItsProgressWindow) {
  const std::string home = Home("mail");
  for (std::vector<std::string> set : {std::vector<std::string>{"UseMAPI", "0"}, {"MailSMTPHost", "127.0.0.1:9"}}) {
    ChildProcess reg({CORVINA_BINARY, "reg", "set", "Email", set[0], set[1]}, Env(home));
    reg.Wait(5000);
  }
  auto phone = StartPhone(home);
  ASSERT_EQ(Ask(*phone, "status").rfind("ok ", 0), 0u);
  phone->Send("mail send --to a@127.0.0.1 --subject Hello");
  std::string line;
  bool windowShown = false;
  while (phone->ReadLine(&line, 15000) && line.rfind("event ", 0) == 0) {
    windowShown = windowShown || line.find("Sending Email") != std::string::npos;
  }
  EXPECT_TRUE(windowShown);
  EXPECT_EQ(line, R"(ok {"result":2,"saved":""})");
  EXPECT_EQ(Ask(*phone, "mail recording /nonexistent.wav --to not-an-address"),
            "error: Please enter a valid email address.");
  phone->Send("quit");
  EXPECT_TRUE(ExitedWith(phone->Wait(10000), 0));
}

TEST_F(PhoneProcessTest, AnUnknownVerbAndAnOverlongLineAreAnsweredAndTheSessionGoesOn) {
  auto phone = StartPhone(Home("verbs"));
  EXPECT_EQ(Ask(*phone, "dance"), "error: unknown command \"dance\"");
  EXPECT_EQ(Ask(*phone, std::string(10000, 'x')), "error: line longer than 8192 bytes");
  EXPECT_EQ(Ask(*phone, "help").rfind("ok {\"commands\":[", 0), 0u);
  EXPECT_EQ(Ask(*phone, "help quit"), "ok {\"verb\":\"quit\",\"help\":\"stops the phone\"}");
  EXPECT_EQ(Ask(*phone, "help \"status"), "error: unterminated quote");
  EXPECT_EQ(Ask(*phone, "quit"), "ok");
  EXPECT_TRUE(ExitedWith(phone->Wait(5000), 0));
}

int ConnectTcp(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Sends a command on a control connection and returns its answer line, skipping events.
std::string TcpAsk(int fd, platform::LineSplitter& lines, const std::string& command) {
  if (!platform::WriteAll(fd, command + "\n")) return "(send failed)";
  std::string line;
  while (platform::ReadLine(fd, 5000, lines, &line)) {
    if (line.rfind("event ", 0) != 0) return line;
  }
  return "(no answer)";
}

TEST_F(PhoneProcessTest, TheControlPortTakesCommandsFromLoopbackClients) {
  auto phone = StartPhone(Home("control"), {"--control", "127.0.0.1:0"});
  std::string line;
  ASSERT_TRUE(phone->WaitForLine("event {\"event\":\"control\"", &line, 5000));
  std::size_t colon = line.rfind(':');
  int port = std::stoi(line.substr(colon + 1));
  ASSERT_GT(port, 0);
  int a = ConnectTcp(port);
  int b = ConnectTcp(port);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  platform::LineSplitter linesA(ConsolePhone::kMaxLineBytes);
  platform::LineSplitter linesB(ConsolePhone::kMaxLineBytes);
  EXPECT_EQ(TcpAsk(a, linesA, "nope"), "error: unknown command \"nope\"");
  EXPECT_EQ(TcpAsk(b, linesB, "status").rfind("ok {\"phone\":\"Corvina\"", 0), 0u);
  EXPECT_EQ(TcpAsk(a, linesA, "quit"), "ok");
  EXPECT_TRUE(ExitedWith(phone->Wait(5000), 0));
  close(a);
  close(b);
}

TEST_F(PhoneProcessTest, TheControlPortRefusesAnythingButLoopback) {
  ChildProcess phone({CORVINA_BINARY, "--headless", "--control", "0.0.0.0:5999"}, Env(Home("refuse")));
  int status = phone.Wait(5000);
  EXPECT_TRUE(status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) != 0);
  EXPECT_NE(phone.ReadAllErrors(2000).find("loopback only"), std::string::npos);
}

TEST_F(PhoneProcessTest, TheSettingsToolWritesWhatThePhoneReads) {
  std::string home = Home("reg");
  {
    ChildProcess set({CORVINA_BINARY, "reg", "set", "Settings", "DoNotDisturb", "1"}, Env(home));
    EXPECT_TRUE(ExitedWith(set.Wait(5000), 0));
  }
  ChildProcess get({CORVINA_BINARY, "reg", "get", "Settings", "DoNotDisturb"}, Env(home));
  std::string line;
  ASSERT_TRUE(get.ReadLine(&line, 5000));
  EXPECT_EQ(line, "1");
  EXPECT_TRUE(ExitedWith(get.Wait(5000), 0));

  ChildProcess bad({CORVINA_BINARY, "reg", "get", "Settings"}, Env(home));
  EXPECT_TRUE(ExitedWith(bad.Wait(5000), 2));
  EXPECT_NE(bad.ReadAllErrors(2000).find("usage:"), std::string::npos);
}

TEST_F(PhoneProcessTest, UsageAndReadingTheStoreCreateNothingAndAboutNamesTheLibraries) {
  const std::string home = folder_.Sub("untouched");
  struct Case {
    std::vector<std::string> args;
    int code;
    std::vector<std::string> says;
  };
  const Case cases[] = {
      {{"--help"}, 0, {"--headless", "--control", "--dial", "--line", "sip:", "reg list", "reg get", "reg set",
                       "reg delete", "devices", "\"null\"", "wav:PATH", "CORVINA_HOME", "CORVINA_LOCAL_ADDRESS",
                       "registry.db", "Documents/Corvina"}},
      {{"reg", "get", "SIP", "STUN"}, 1, {}},
      {{"reg", "list"}, 0, {}},
      {{"reg", "delete", "SIP"}, 1, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv{CORVINA_BINARY};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ChildProcess run(argv, Env(home));
    std::string out, line;
    while (run.ReadLine(&line, 3000)) out += line + "\n";
    EXPECT_TRUE(ExitedWith(run.Wait(5000), c.code)) << c.args[0];
    for (const std::string& text : c.says) EXPECT_NE(out.find(text), std::string::npos) << text;
  }
  EXPECT_FALSE(std::filesystem::exists(home)) << "a command that only reads made the phone's folder";

  auto phone = StartPhone(Home("about"));
  const std::string about = Ask(*phone, "about");
  for (const char* text : {"Corvina " CORVINA_VERSION "\\nBuild ", "Qt ", "PortAudio ", "SQLite "}) {
    EXPECT_NE(about.find(text), std::string::npos) << text << " missing from " << about;
  }
}

TEST_F(PhoneProcessTest, AStoredStatusPaneIsShownAtStart) {
  std::string home = Home("pane");
  {
    ChildProcess set({CORVINA_BINARY, "reg", "set", "Settings", "ShowStatus", "1"}, Env(home));
    ASSERT_TRUE(ExitedWith(set.Wait(5000), 0));
  }
  auto phone = StartPhone(home);
  std::string line;
  EXPECT_TRUE(phone->WaitForLine("event {\"event\":\"statusPane\",\"visible\":true}", &line, 5000));
  EXPECT_EQ(Ask(*phone, "quit"), "ok");
  EXPECT_TRUE(ExitedWith(phone->Wait(5000), 0));
}

}  // namespace
}  // namespace corvina::app

namespace corvina::app {
namespace {

class HeadlessPhoneVerbsTest : public ::testing::Test {
 protected:
  corvina::testing::TempFolder folder_{"verbs"};
};

// The headless phone's verbs reach the controller and each change comes out as an event; the
// Do Not Disturb switch survives a restart.
TEST_F(HeadlessPhoneVerbsTest, VerbsChangeTheStateAndEachChangeIsAnEvent) {
  const std::string home = folder_.Sub("home");
  const std::vector<std::string> env = {"CORVINA_HOME=" + home, "CORVINA_LOCAL_ADDRESS=127.0.0.1"};
  ChildProcess({CORVINA_BINARY, "reg", "set", "SIP", "STUN", "0"}, env).Wait(5000);
  ChildProcess({CORVINA_BINARY, "reg", "set", "Settings", "InstallWizRun", "1"}, env).Wait(5000);
  std::string line;
  {
    ChildProcess phone({CORVINA_BINARY, "--headless"}, env);
    phone.Send("type 20");
    EXPECT_TRUE(phone.WaitForLine("event {\"event\":\"dialBox\",\"text\":\"20\"}", &line, 5000));
    phone.Send("key 1");
    EXPECT_TRUE(phone.WaitForLine("event {\"event\":\"dialBox\",\"text\":\"201\"}", &line, 5000));
    phone.Send("dnd on");
    EXPECT_TRUE(phone.WaitForLine("event {\"event\":\"button\",\"id\":119,\"image\":40,\"pressed\":true}", &line, 5000));
    phone.Send("state");
    ASSERT_TRUE(phone.WaitForLine("ok {\"lines\":", &line, 5000));
    EXPECT_NE(line.find("\"dialText\":\"201\""), std::string::npos) << line;
    EXPECT_NE(line.find("\"dnd\":true"), std::string::npos) << line;
    phone.Send("end");
    EXPECT_TRUE(phone.WaitForLine("event {\"event\":\"dialBox\",\"text\":\"\"}", &line, 5000));
    phone.Send("conference");  // no call: the box, and no conference
    EXPECT_TRUE(phone.WaitForLine("ok {\"exists\":false,\"running\":false,\"buttonState\":0,\"members\":0}", &line,
                                  5000));
    phone.Send("quit");
    EXPECT_EQ(phone.Wait(5000), 0);
  }
  ChildProcess again({CORVINA_BINARY, "--headless"}, env);
  again.Send("state");
  ASSERT_TRUE(again.WaitForLine("ok {\"lines\":", &line, 5000));
  EXPECT_NE(line.find("\"dnd\":true"), std::string::npos) << line;
  again.Send("quit");
  again.Wait(5000);
}

}  // namespace
}  // namespace corvina::app
