// Any bytes as what a mail server sends back, cut at every few bytes: the reply reader keeps its
// lines within bounds and its codes within three digits, and the exchange (plain and with
// authentication and STARTTLS on offer) ends in a known state without sending more than it has.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "mail/smtp_exchange.h"

namespace {

struct QuietProgress : corvina::mail::MailProgress {
  void SetText(std::string_view, int) override {}
  void SetFraction(double) override {}
  void ReportError(std::string_view) override { ++errors; }
  void LogNote(std::string_view) override {}
  int errors = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvina::mail;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::size_t step = size == 0 ? 1 : 1 + data[0] % 7;

  SmtpReplyReader reader;
  for (std::size_t i = 0; i < size; i += step) {
    const std::optional<int> code = reader.Feed(text.substr(i, step));
    if (code && (*code < 0 || *code > 999)) std::abort();
    for (const std::string& line : reader.Lines()) {
      if (line.size() > SmtpReplyReader::kMaxLineChars) std::abort();
    }
  }

  for (bool auth : {false, true}) {
    QuietProgress progress;
    SmtpSessionSettings settings;
    settings.heloName = "h";
    settings.extended = settings.authenticate = settings.tlsAvailable = auth;
    settings.user = "u";
    settings.recipients = {"a@b"};
    settings.data = ".\r\n";
    settings.replyTimeoutMs = 100;
    SmtpExchange exchange(settings, progress);
    std::uint32_t now = 0;
    exchange.Start(now);
    std::size_t sent = 0;
    for (std::size_t i = 0; i < size && !exchange.Finished(); i += step) {
      sent += exchange.OnBytes(text.substr(i, step), ++now).size();
      if (exchange.WantsTls()) sent += exchange.OnTlsStarted((data[i] & 1) != 0, now).size();
    }
    // Each reply draws at most one command, and no command is longer than the message.
    if (sent > (size + 1) * 64) std::abort();
    exchange.OnClosed();
    if (!exchange.Finished() || progress.errors > 1) std::abort();
    if ((progress.errors == 1) != (exchange.Result() == MailResult::kFailed)) std::abort();
  }
  return 0;
}
