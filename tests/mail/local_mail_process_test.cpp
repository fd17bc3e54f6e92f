// The hand-over to the local mail system: a fake sendmail records its arguments and input;
// without one the message lands in the outbox, and the first-use note comes only once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "mail/local_mail.h"
#include "mail_fakes.h"
#include "platform/clock.h"

namespace corvina::mail {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

TEST(LocalMail, SendmailOrOutbox) {
  const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "corvina-local-mail";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string fake = (dir / "sendmail").string();
  std::ofstream(fake) << "#!/bin/sh\necho \"$#:$*\" > " << (dir / "args").string() << "\ncat > "
                      << (dir / "input").string() << "\nexit ${FAKE_EXIT:-0}\n";
  std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
  platform::FakeWallClock wall(1796706000);
  const MailRequest request{"a@b.example", "Hi; rm -rf x", ".\r\nend", {}};

  struct Case {
    std::string sendmail;
    bool noteShown;
    MailResult result;
    bool savedFile, note;
  };
  const Case cases[] = {
      {fake, false, MailResult::kDone, false, true},
      {fake, true, MailResult::kDone, false, false},
      {(dir / "none").string(), false, MailResult::kDone, true, true},
      {(dir / "none").string(), true, MailResult::kDone, true, false},
  };
  for (const Case& c : cases) {
    RecordingProgress progress;
    const LocalMailOutcome out =
        SendByLocalMail(request, {}, progress, {c.sendmail, (dir / "Outbox").string(), &wall, "box", 5000, c.noteShown});
    EXPECT_EQ(std::tuple(out.result, !out.savedFile.empty(), !out.note.empty(), progress.errors.size()),
              std::tuple(c.result, c.savedFile, c.note, 0u));
  }
  // No user text on the command line; the message with LF line ends, the "." line as it is.
  EXPECT_EQ(ReadFile(dir / "args"), "2:-t -i\n");
  const std::string input = ReadFile(dir / "input");
  EXPECT_NE(input.find("From: Corvina@box\nTo: a@b.example\nSubject: Hi; rm -rf x\n"), std::string::npos);
  EXPECT_NE(input.find("\n\n.\nend"), std::string::npos);
  EXPECT_EQ(input.find('\r'), std::string::npos);
  std::size_t emls = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "Outbox")) {
    emls += entry.path().extension() == ".eml" && ReadFile(entry.path()).find("Subject: Hi; rm -rf x\r\n") != std::string::npos;
  }
  EXPECT_EQ(emls, 2u);
  // A mail system that refuses fails once, with its path.
  setenv("FAKE_EXIT", "75", 1);
  RecordingProgress progress;
  EXPECT_EQ(SendByLocalMail(request, {}, progress, {fake, "", &wall, "box", 5000, true}).result, MailResult::kFailed);
  unsetenv("FAKE_EXIT");
  EXPECT_EQ(progress.errors, std::vector<std::string>{"The local mail system (" + fake + ") did not take the message"});
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace corvina::mail
