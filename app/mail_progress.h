// E-mail sends inside the progress window. The send itself blocks on its socket, so it runs on a
// worker thread; its texts, fraction, error and notes travel through a small queue to the
// user-interface thread, which shows them in the window "Sending Email" and writes the notes to
// the activity log. Closing the window sets the send's stop event and waits for it to end.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "app/progress/progress_sink.h"
#include "mail/smtp_client.h"
#include "platform/log_sink.h"

namespace corvina::app {

inline constexpr std::string_view kSendingEmailTitle = "Sending Email";

// Forwards a send's progress to a progress sink on the same thread; notes (such as a login sent
// in clear) go to `log` at level 1.
class ProgressMailSink final : public mail::MailProgress {
 public:
  ProgressMailSink(ProgressSink& sink, platform::LogSink* log) : sink_(sink), log_(log) {}
  void SetText(std::string_view text, int line) override { sink_.SetText(text, line); }
  void SetFraction(double fraction) override { sink_.SetFraction(fraction); }
  void ReportError(std::string_view text) override { sink_.ReportError(text); }
  void LogNote(std::string_view text) override {
    if (log_) log_->Log(text, platform::kLogError);
  }

 private:
  ProgressSink& sink_;
  platform::LogSink* log_;
};

struct MailSendOutcome {
  mail::MailResult result = mail::MailResult::kFailed;
  std::string savedFile;  // the .eml kept when there is no local mail system
  std::string note;       // the first-use note of the local mail system, when due
};

// One send as the `Email` settings say: the local mail system or the SMTP client. Touches no
// settings (the caller reads them and stores `SetViewed` after a note), so any thread may run it.
MailSendOutcome SendMailAsSet(const mail::MailRequest& request, const mail::MailSettings& settings, bool noteShown,
                              const std::string& dataFolder, mail::MailProgress& progress, platform::Event* stop);

// The send: reports through `progress` and ends early once `stop` is set.
using MailSendFunction = std::function<mail::MailResult(mail::MailProgress& progress, platform::Event* stop)>;

// Runs `send` in `window` titled "Sending Email" (on this thread through a plain adapter when
// `window` is null). kCancelled when the user closed the window.
mail::MailResult RunMailInProgress(ProgressWindow* window, platform::LogSink* log, const MailSendFunction& send);

}  // namespace corvina::app
