// The SMTP exchange against a scripted server: every byte the client sends is compared, and
// each wait is ended by a close, by silence and by the user.
#include <gtest/gtest.h>

#include "mail/smtp_exchange.h"
#include "mail_fakes.h"

namespace corvina::mail {
namespace {

constexpr int kWait = 1000;
const std::string kNoRecipient =
    "Mail send error (RCPT TO not accepted). Your SMTP server may require a username or password. Please see Email "
    "Settings.";
const std::string kData = "Subject: x\r\n\r\n..line\r\n.\r\n";

SmtpSessionSettings Session(bool auth, bool tls = false) {
  SmtpSessionSettings s;
  s.heloName = "box";
  s.extended = auth;
  s.authenticate = auth;
  s.user = "ann";
  s.password = "p@ss";
  s.sender = "Corvina@mail.example";
  s.recipients = {"a@x.example", "b@y.example"};
  s.data = kData;
  s.tlsAvailable = tls;
  s.replyTimeoutMs = kWait;
  return s;
}

// One turn: what the server sends (TLS: "<tls ok>" / "<tls bad>" for the handshake) and the
// bytes the client must send back.
struct Turn {
  std::string server, client;
};

// Plays the turns (the server's bytes three at a time), each answered just before the wait ends.
void Play(SmtpExchange& e, std::uint32_t& now, const std::vector<Turn>& turns) {
  e.Start(now);
  for (const Turn& t : turns) {
    std::string out;
    if (t.server == "<tls ok>" || t.server == "<tls bad>") {
      out = e.OnTlsStarted(t.server == "<tls ok>", now);
    } else {
      for (std::size_t i = 0; i < t.server.size(); i += 3) out += e.OnBytes(t.server.substr(i, 3), now);
    }
    EXPECT_EQ(out, t.client) << "after the server's " << t.server;
    now += kWait - 1;
    e.OnTimeout(now);  // one millisecond early: the wait goes on
  }
}

const std::string kUser = "YW5u", kPassword = "cEBzcw==";
const std::vector<Turn> kHeloRun = {
    {"220-first\r\n220 ready\r\n", "HELO box\r\n"},
    {"250 hi\r\n", "MAIL FROM:<Corvina@mail.example>\r\n"},
    {"250 ok\r\n", "RCPT TO:<a@x.example>\r\n"},
    {"550 no\r\n", "RCPT TO:<b@y.example>\r\n"},
    {"251 forwarded\r\n", "DATA\r\n"},
    {"354 go\r\n", kData},
    {"250 queued\r\n", "QUIT\r\n"},
    {"221 bye\r\n", ""},
};

TEST(SmtpExchange, ScriptedServers) {
  const std::string kEncrypt = "Encryption required for requested Email server. Please check your Email Settings.";
  const std::string kAuthBad = "Email authentication username or password not accepted";
  const std::string kTlsBad =
      "Unable to set up an encrypted connection to the mail server: its certificate or name was not accepted";
  struct Case {
    const char* name;
    bool auth, tls;
    std::vector<Turn> turns;
    MailResult result;
    std::string error;
    std::size_t notes;  // activity-log lines about clear-text credentials
  };
  std::vector<Turn> authRun = {
      {"220 ready\r\n", "EHLO box\r\n"},
      {"250-hi\r\n250 AUTH LOGIN\r\n", "AUTH LOGIN\r\n"},
      {"334 VXNlcm5hbWU6\r\n", kUser + "\r\n"},
      {"334 UGFzc3dvcmQ6\r\n", kPassword + "\r\n"},
      {"235 ok\r\n", "MAIL FROM:<Corvina@mail.example>\r\n"}};
  authRun.insert(authRun.end(), kHeloRun.begin() + 2, kHeloRun.end());
  const Case cases[] = {
      {"HELO, 220- greeting, 550 then 251", false, false, kHeloRun, MailResult::kDone, "", 0},
      {"EHLO and AUTH LOGIN", true, false, authRun, MailResult::kDone, "", 1},
      {"503 repeats the greeting line once only", true, false,
       {{"220 ready\r\n", "EHLO box\r\n"},
        {"250 hi\r\n", "AUTH LOGIN\r\n"},
        {"503 greet first\r\n", "EHLO box\r\n"},
        {"250 hi\r\n", "AUTH LOGIN\r\n"},
        {"503 again\r\n", "MAIL FROM:<Corvina@mail.example>\r\n"}},
       MailResult::kFailed, "", 2},
      {"530", true, false, {{"220 r\r\n", "EHLO box\r\n"}, {"250 hi\r\n", "AUTH LOGIN\r\n"}, {"530 tls\r\n", ""}},
       MailResult::kFailed, kEncrypt, 1},
      {"535", true, false, {authRun[0], authRun[1], authRun[2], authRun[3], {"535 no\r\n", ""}},
       MailResult::kFailed, kAuthBad, 1},
      {"no recipient accepted", false, false,
       {kHeloRun[0], kHeloRun[1], kHeloRun[2], {"550 no\r\n", "RCPT TO:<b@y.example>\r\n"}, {"551 no\r\n", ""}},
       MailResult::kFailed,
       kNoRecipient,
       0},
      {"STARTTLS, then EHLO and AUTH inside", true, true,
       {{"220 r\r\n", "EHLO box\r\n"},
        {"250-hi\r\n250 STARTTLS\r\n", "STARTTLS\r\n"},
        {"220 go ahead\r\n", ""},
        {"<tls ok>", "EHLO box\r\n"},
        {"250 AUTH LOGIN\r\n", "AUTH LOGIN\r\n"}},
       MailResult::kFailed, "", 0},
      {"STARTTLS with a refused certificate: nothing more in clear", true, true,
       {{"220 r\r\n", "EHLO box\r\n"},
        {"250-hi\r\n250 STARTTLS\r\n", "STARTTLS\r\n"},
        {"220 go ahead\r\n250 injected\r\n", ""},
        {"<tls bad>", ""}},
       MailResult::kFailed, kTlsBad, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingProgress progress;
    SmtpExchange e(Session(c.auth, c.tls), progress);
    std::uint32_t now = 5;
    Play(e, now, c.turns);
    const bool open = c.result == MailResult::kFailed && c.error.empty();  // still talking
    EXPECT_EQ(e.Finished(), !open);
    if (!open) {
      EXPECT_EQ(e.Result(), c.result);
    }
    EXPECT_EQ(progress.errors, c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error});
    EXPECT_EQ(progress.notes.size(), c.notes);
  }
}

TEST(SmtpExchange, EveryWaitEndsOnCloseSilenceOrCancel) {
  const std::vector<std::string> stepTexts = {
      "Mail server not responding",
      "Mail host server error (HELO not accepted)",
      "Mail host server error (MAIL FROM not accepted). Please check your Email Settings.",
      kNoRecipient,
      kNoRecipient,
      "Mail host server error (DATA not accepted)",
      "Mail host server error (data terminator not accepted)",
      "Mail host server error (data terminator not accepted)",
  };
  for (std::size_t step = 0; step < kHeloRun.size(); ++step) {
    for (char ending : {'c', 's', 'x'}) {
      SCOPED_TRACE(std::to_string(step) + ending);
      RecordingProgress progress;
      SmtpExchange e(Session(false), progress);
      std::uint32_t now = 0xfffffff0u;  // the tick count wraps during the exchange
      Play(e, now, std::vector<Turn>(kHeloRun.begin(), kHeloRun.begin() + step));
      ASSERT_FALSE(e.Finished());
      if (ending == 'c') e.OnClosed();
      if (ending == 's') e.OnTimeout(e.Deadline());
      if (ending == 'x') e.Cancel();
      ASSERT_TRUE(e.Finished());
      // After the data was accepted only the QUIT reply is outstanding: the mail is sent.
      const bool delivered = step == kHeloRun.size() - 1 && ending != 'x';
      const MailResult want = ending == 'x' ? MailResult::kCancelled
                              : delivered   ? MailResult::kDone
                                            : MailResult::kFailed;
      EXPECT_EQ(e.Result(), want);
      EXPECT_EQ(progress.errors, want == MailResult::kFailed ? std::vector<std::string>{stepTexts[step]}
                                                             : std::vector<std::string>{});
    }
  }
}

TEST(SmtpReplyReader, LinesAndCodes) {
  SmtpReplyReader reader;
  EXPECT_FALSE(reader.Feed("250-a\r\n250-" + std::string(400, 'x')));
  EXPECT_EQ(reader.Feed("\r\n25"), std::nullopt);
  EXPECT_EQ(reader.Feed("0 done\r\n99\r\n"), 250);
  ASSERT_EQ(reader.Lines().size(), 3u);
  EXPECT_EQ(reader.Lines()[1].size(), SmtpReplyReader::kMaxLineChars);
  EXPECT_EQ(reader.Feed(""), 99);  // a short line ends a reply too
  EXPECT_EQ(reader.Feed("abc\n"), 0);
  // Replies queued behind a long line survive its trimming.
  EXPECT_EQ(reader.Feed("250 a\r\n" + std::string(600, 'x') + "\r\n221 b\r\n"), 250);
  EXPECT_EQ(reader.Feed(""), 0);
  EXPECT_EQ(reader.Feed(""), 221);
}

}  // namespace
}  // namespace corvina::mail
