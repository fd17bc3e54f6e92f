// The SMTP exchange with one server, as a core fed the server's bytes and the clock: it says
// what to send, when its current wait ends, and how the exchange ended. The shell that owns the
// socket (smtp_client.h) carries the bytes; tests drive the core with a scripted server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::mail {

// The result codes of a send: done, cancelled by the user, failed (the text already reported).
enum class MailResult : int { kDone = 0, kCancelled = 1, kFailed = 2 };

// What the user sees of a send, and where its activity-log lines go.
class MailProgress {
 public:
  virtual ~MailProgress() = default;
  virtual void SetText(std::string_view text, int line) = 0;
  virtual void SetFraction(double fraction) = 0;
  // Once per failed send.
  virtual void ReportError(std::string_view text) = 0;
  virtual void LogNote(std::string_view text) = 0;
};

// Collects one reply: lines of at most 258 characters are kept; a line whose fourth character is
// "-" continues it; any other line ends it and its leading number is the reply code.
class SmtpReplyReader {
 public:
  static constexpr std::size_t kMaxLineChars = 258;
  // Takes in bytes; the code once a reply is complete (bytes after it wait for the next reply).
  std::optional<int> Feed(std::string_view bytes);
  // The lines of the last complete reply.
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::optional<int> NextReply();

  std::string pending_;             // bytes not yet part of a complete line
  std::vector<std::string> current_;  // the lines of the reply being read
  std::vector<std::string> lines_;  // the last complete reply
};

struct SmtpSessionSettings {
  std::string heloName;  // this machine's host name
  bool extended = false;  // EHLO (a user name is set) rather than HELO
  bool authenticate = false;
  std::string user;
  std::string password;
  std::string sender;
  std::vector<std::string> recipients;
  std::string data;  // the message as SmtpDataText gives it, terminator included
  bool hasAttachments = false;
  bool tlsAvailable = false;  // the shell can start TLS on this connection
  int replyTimeoutMs = 300000;
};

class SmtpExchange {
 public:
  enum class Step { kGreeting, kHello, kStartTls, kAuth, kAuthUser, kAuthPassword, kMailFrom, kRecipient, kData,
                    kDataEnd, kQuit, kFinished };

  SmtpExchange(SmtpSessionSettings settings, MailProgress& progress);

  // The connection is up: shows the log-on step and starts waiting for the greeting.
  void Start(std::uint32_t now);
  // The server's bytes; returns what to send.
  std::string OnBytes(std::string_view bytes, std::uint32_t now);
  // The server closed the connection or the socket failed.
  void OnClosed();
  // A send did not complete.
  void OnSendFailed();
  // Ends a wait that has reached Deadline(): the step's failure.
  void OnTimeout(std::uint32_t now);
  void Cancel();
  // After the shell started TLS (when WantsTls()): true = handshake done, so greet again.
  std::string OnTlsStarted(bool ok, std::uint32_t now);

  bool WantsTls() const { return wantsTls_; }
  bool Finished() const { return step_ == Step::kFinished; }
  MailResult Result() const { return result_; }
  Step CurrentStep() const { return step_; }
  std::uint32_t Deadline() const { return deadline_; }

 private:
  std::string Handle(int code, std::uint32_t now);
  std::string Hello(std::uint32_t now);
  std::string Expect(Step step, std::string text, std::uint32_t now);
  std::string NextRecipient(std::uint32_t now);
  std::string Quit(std::uint32_t now);
  void Fail(std::string_view text);
  std::string_view StepFailure() const;

  SmtpSessionSettings settings_;
  MailProgress& progress_;
  SmtpReplyReader reader_;
  Step step_ = Step::kGreeting;
  MailResult result_ = MailResult::kFailed;
  std::uint32_t deadline_ = 0;
  std::size_t nextRecipient_ = 0;
  bool anyRecipient_ = false;
  bool repeatedHello_ = false;  // the greeting line was repeated after a 503 to AUTH LOGIN
  bool tlsStarted_ = false;
  bool wantsTls_ = false;
};

}  // namespace corvina::mail
