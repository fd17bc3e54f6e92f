#include "app/mail_tool.h"

#include <fstream>
#include <iterator>

#include "app/mail_progress.h"
#include "contacts/contact_rules.h"
#include "mail/smtp_client.h"
#include "platform/settings.h"

namespace corvina::app {
namespace {

constexpr int kBadArguments = 2;

// The console's view of a send: every text once, on its own line.
class ConsoleMailProgress final : public mail::MailProgress {
 public:
  ConsoleMailProgress(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
  void SetText(std::string_view text, int) override { out_ << text << "\n"; }
  void SetFraction(double) override {}
  void ReportError(std::string_view text) override { err_ << "error: " << text << "\n"; }
  void LogNote(std::string_view text) override { err_ << "note: " << text << "\n"; }

 private:
  std::ostream& out_;
  std::ostream& err_;
};

int Usage(std::ostream& err, std::string_view problem) {
  err << "error: " << problem << "\nusage:\n" CORVINA_MAIL_USAGE;
  return kBadArguments;
}

mail::MailResult Send(const mail::MailRequest& request, platform::Settings& settings,
                      const platform::PhonePaths& paths, mail::MailProgress& progress, std::ostream& out) {
  const bool noteShown = settings.GetSettingString("Email", "SetViewed", "") == "1";
  const MailSendOutcome outcome =
      SendMailAsSet(request, mail::ReadMailSettings(settings), noteShown, paths.DataFolder(), progress, nullptr);
  if (!outcome.savedFile.empty()) out << "Saved as " << outcome.savedFile << "\n";
  if (!outcome.note.empty()) {
    out << outcome.note << "\n";
    settings.SetSettingString("Email", "SetViewed", "1");
  }
  return outcome.result;
}

}  // namespace

bool ParseMailArguments(const std::vector<std::string>& args, mail::MailRequest& request, bool& recording,
                        std::string& problem) {
  if (args.empty() || (args[0] != "send" && args[0] != "recording")) {
    problem = "send or recording expected";
    return false;
  }
  recording = args[0] == "recording";
  std::size_t i = 1;
  if (recording) {
    if (args.size() < 2) {
      problem = "the recording's file is missing";
      return false;
    }
    request.attachments.push_back(args[1]);
    request.subject = "Corvina Attachment";
    request.body = "Please see the attachment sent by Corvina.";
    i = 2;
  }
  for (; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (i + 1 >= args.size()) {
      problem = option + " needs a value";
      return false;
    }
    const std::string& value = args[++i];
    if (option == "--to") {
      request.recipients = value;
    } else if (!recording && option == "--subject") {
      request.subject = value;
    } else if (!recording && option == "--attach") {
      request.attachments.push_back(value);
    } else if (!recording && option == "--body-file") {
      std::ifstream in(value, std::ios::binary);
      if (!in) {
        problem = "cannot read " + value;
        return false;
      }
      request.body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
      problem = "unknown option " + option;
      return false;
    }
  }
  return true;
}

int RunMailTool(const std::vector<std::string>& args, platform::SettingsStore& store,
                const platform::PhonePaths& paths, std::ostream& out, std::ostream& err) {
  mail::MailRequest request;
  bool recording = false;
  std::string problem;
  if (!ParseMailArguments(args, request, recording, problem)) return Usage(err, problem);
  platform::Settings settings(store);
  ConsoleMailProgress progress(out, err);
  if (recording) {
    if (!contacts::IsValidEmail(request.recipients)) {
      err << "error: Please enter a valid email address.\n";
      return static_cast<int>(mail::MailResult::kFailed);
    }
    settings.SetSettingString("Settings", "EmailTo", request.recipients);
  }
  const mail::MailResult result = Send(request, settings, paths, progress, out);
  if (recording && result == mail::MailResult::kFailed) {
    err << "error: Unable to send the email, please check your settings and the address you are sending to.\n";
  }
  return static_cast<int>(result);
}

}  // namespace corvina::app
