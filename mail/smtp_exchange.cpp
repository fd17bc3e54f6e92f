#include "mail/smtp_exchange.h"

#include <utility>

#include "platform/base64.h"

namespace corvina::mail {
namespace {

constexpr std::string_view kNotResponding = "Mail server not responding";
constexpr std::string_view kHelloRefused = "Mail host server error (HELO not accepted)";
constexpr std::string_view kEncryptionRequired =
    "Encryption required for requested Email server. Please check your Email Settings.";
constexpr std::string_view kAuthRefused = "Email authentication username or password not accepted";
constexpr std::string_view kSenderRefused =
    "Mail host server error (MAIL FROM not accepted). Please check your Email Settings.";
constexpr std::string_view kNoRecipient =
    "Mail send error (RCPT TO not accepted). Your SMTP server may require a username or password. Please see Email "
    "Settings.";
constexpr std::string_view kDataRefused = "Mail host server error (DATA not accepted)";
constexpr std::string_view kTerminatorRefused = "Mail host server error (data terminator not accepted)";
constexpr std::string_view kTlsRefused = "The mail server did not start an encrypted connection (STARTTLS refused)";
constexpr std::string_view kTlsFailed =
    "Unable to set up an encrypted connection to the mail server: its certificate or name was not accepted";

int ReplyCode(std::string_view line) {
  int code = 0;
  for (std::size_t i = 0; i < 3 && i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
    code = code * 10 + (line[i] - '0');
  }
  return code;
}

bool Offers(const std::vector<std::string>& lines, std::string_view keyword) {
  for (const std::string& line : lines) {
    if (line.size() < 4 + keyword.size()) continue;
    std::string_view word = std::string_view(line).substr(4, keyword.size());
    bool same = true;
    for (std::size_t i = 0; i < keyword.size() && same; ++i) same = (word[i] & ~0x20) == keyword[i];
    const std::size_t after = 4 + keyword.size();
    if (same && (line.size() == after || line[after] == ' ')) return true;
  }
  return false;
}

}  // namespace

std::optional<int> SmtpReplyReader::Feed(std::string_view bytes) {
  pending_.append(bytes);
  return NextReply();
}

std::optional<int> SmtpReplyReader::NextReply() {
  std::size_t start = 0;
  std::optional<int> code;
  while (!code) {
    const std::size_t end = pending_.find('\n', start);
    if (end == std::string::npos) break;
    std::string line = pending_.substr(start, std::min(end - start, kMaxLineChars + 1));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kMaxLineChars) line.resize(kMaxLineChars);
    start = end + 1;
    const bool more = line.size() >= 4 && line[3] == '-';
    current_.push_back(std::move(line));
    if (!more) {
      code = ReplyCode(current_.back());
      lines_ = std::move(current_);
      current_.clear();
    }
  }
  pending_.erase(0, start);
  // An endless line is kept only as far as it can count.
  if (pending_.size() > 2 * kMaxLineChars && pending_.find('\n') == std::string::npos) {
    pending_.erase(kMaxLineChars, pending_.size() - kMaxLineChars - 1);
  }
  return code;
}

SmtpExchange::SmtpExchange(SmtpSessionSettings settings, MailProgress& progress)
    : settings_(std::move(settings)), progress_(progress) {}

void SmtpExchange::Start(std::uint32_t now) {
  progress_.SetFraction(0.2);
  progress_.SetText("Logon to server", 1);
  step_ = Step::kGreeting;
  deadline_ = now + static_cast<std::uint32_t>(settings_.replyTimeoutMs);
}

std::string SmtpExchange::OnBytes(std::string_view bytes, std::uint32_t now) {
  std::string out;
  std::optional<int> code = reader_.Feed(bytes);
  while (code && !Finished() && !wantsTls_) {
    out += Handle(*code, now);
    code = reader_.Feed({});
  }
  // Nothing the server sent before the handshake may count as sent inside it.
  if (wantsTls_) reader_ = SmtpReplyReader();
  return out;
}

void SmtpExchange::OnClosed() {
  if (Finished()) return;
  if (step_ == Step::kQuit) {
    step_ = Step::kFinished;
    result_ = MailResult::kDone;
    return;
  }
  Fail(StepFailure());
}

void SmtpExchange::OnSendFailed() { OnClosed(); }

void SmtpExchange::OnTimeout(std::uint32_t now) {
  if (!Finished() && static_cast<std::int32_t>(now - deadline_) >= 0) OnClosed();
}

void SmtpExchange::Cancel() {
  if (Finished()) return;
  step_ = Step::kFinished;
  result_ = MailResult::kCancelled;
}

std::string SmtpExchange::OnTlsStarted(bool ok, std::uint32_t now) {
  if (!wantsTls_ || Finished()) return {};
  wantsTls_ = false;
  if (!ok) {
    Fail(kTlsFailed);
    return {};
  }
  tlsStarted_ = true;
  return Hello(now);
}

std::string SmtpExchange::Expect(Step step, std::string text, std::uint32_t now) {
  step_ = step;
  deadline_ = now + static_cast<std::uint32_t>(settings_.replyTimeoutMs);
  return text;
}

std::string SmtpExchange::Hello(std::uint32_t now) {
  return Expect(Step::kHello, (settings_.extended ? "EHLO " : "HELO ") + settings_.heloName + "\r\n", now);
}

std::string SmtpExchange::Handle(int code, std::uint32_t now) {
  switch (step_) {
    case Step::kGreeting:
      if (code == 220) return Hello(now);
      Fail(kNotResponding);
      return {};
    case Step::kHello:
      if (code != 250) {
        Fail(kHelloRefused);
        return {};
      }
      if (settings_.extended && settings_.tlsAvailable && !tlsStarted_ && Offers(reader_.Lines(), "STARTTLS")) {
        return Expect(Step::kStartTls, "STARTTLS\r\n", now);
      }
      if (settings_.authenticate && !settings_.user.empty()) {
        if (!tlsStarted_) progress_.LogNote("E-mail: user name and password sent to the mail server unencrypted");
        return Expect(Step::kAuth, "AUTH LOGIN\r\n", now);
      }
      return Expect(Step::kMailFrom, "MAIL FROM:<" + settings_.sender + ">\r\n", now);
    case Step::kStartTls:
      if (code != 220) {
        Fail(kTlsRefused);
        return {};
      }
      wantsTls_ = true;
      deadline_ = now + static_cast<std::uint32_t>(settings_.replyTimeoutMs);
      return {};
    case Step::kAuth:
      if (code == 503 && !repeatedHello_) {
        repeatedHello_ = true;
        return Hello(now);
      }
      if (code == 530) {
        Fail(kEncryptionRequired);
        return {};
      }
      if (code == 334) return Expect(Step::kAuthUser, platform::Base64Encode(settings_.user) + "\r\n", now);
      return Expect(Step::kMailFrom, "MAIL FROM:<" + settings_.sender + ">\r\n", now);
    case Step::kAuthUser:
      if (code == 334) return Expect(Step::kAuthPassword, platform::Base64Encode(settings_.password) + "\r\n", now);
      Fail(kAuthRefused);
      return {};
    case Step::kAuthPassword:
      if (code == 235) return Expect(Step::kMailFrom, "MAIL FROM:<" + settings_.sender + ">\r\n", now);
      Fail(kAuthRefused);
      return {};
    case Step::kMailFrom:
      if (code == 250) return NextRecipient(now);
      Fail(kSenderRefused);
      return {};
    case Step::kRecipient:
      if (code == 250 || code == 251) anyRecipient_ = true;
      return NextRecipient(now);
    case Step::kData:
      if (code != 354) {
        Fail(kDataRefused);
        return {};
      }
      progress_.SetText("Sending Message Text", 1);
      if (settings_.hasAttachments) progress_.SetText("Sending Message Attachment(s)", 1);
      return Expect(Step::kDataEnd, settings_.data, now);
    case Step::kDataEnd:
      if (code == 250) return Quit(now);
      Fail(kTerminatorRefused);
      return {};
    case Step::kQuit:
      step_ = Step::kFinished;
      result_ = MailResult::kDone;
      return {};
    case Step::kFinished:
      return {};
  }
  return {};
}

std::string SmtpExchange::NextRecipient(std::uint32_t now) {
  if (nextRecipient_ < settings_.recipients.size()) {
    return Expect(Step::kRecipient, "RCPT TO:<" + settings_.recipients[nextRecipient_++] + ">\r\n", now);
  }
  if (!anyRecipient_) {
    Fail(kNoRecipient);
    return {};
  }
  return Expect(Step::kData, "DATA\r\n", now);
}

std::string SmtpExchange::Quit(std::uint32_t now) {
  progress_.SetFraction(0.9);
  progress_.SetText("Quit", 1);
  return Expect(Step::kQuit, "QUIT\r\n", now);
}

void SmtpExchange::Fail(std::string_view text) {
  step_ = Step::kFinished;
  result_ = MailResult::kFailed;
  wantsTls_ = false;
  progress_.ReportError(text);
}

std::string_view SmtpExchange::StepFailure() const {
  switch (step_) {
    case Step::kGreeting: return kNotResponding;
    case Step::kHello: return kHelloRefused;
    case Step::kStartTls: return wantsTls_ ? kTlsFailed : kTlsRefused;
    case Step::kAuth:
    case Step::kAuthUser:
    case Step::kAuthPassword: return kAuthRefused;
    case Step::kMailFrom: return kSenderRefused;
    case Step::kRecipient: return kNoRecipient;
    case Step::kData: return kDataRefused;
    case Step::kDataEnd:
    case Step::kQuit:
    case Step::kFinished: return kTerminatorRefused;
  }
  return kNotResponding;
}

}  // namespace corvina::mail
