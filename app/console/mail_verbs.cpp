#include "app/console/mail_verbs.h"

#include "app/console/json_writer.h"
#include "app/mail_progress.h"
#include "app/mail_tool.h"
#include "app/program_objects.h"
#include "contacts/contact_rules.h"

namespace corvina::app {
namespace {

constexpr const char* kMailUsage =
    "mail send --to LIST [--subject S] [--body-file F] [--attach FILE]... | mail recording FILE --to ADDR";
constexpr const char* kInvalidAddress = "Please enter a valid email address.";
constexpr const char* kRecordingNotSent =
    "Unable to send the email, please check your settings and the address you are sending to.";

}  // namespace

void RegisterMailVerbs(CommandProcessor& verbs, const ConsoleVerbContext& context) {
  verbs.Register("mail", kMailUsage, [context](const CommandArgs& args) {
    mail::MailRequest request;
    bool recording = false;
    std::string problem;
    if (!ParseMailArguments(args.Words(), request, recording, problem)) return CommandReply::Error(problem);
    ProgramObjects& p = context.program;
    ConsoleEventSink& events = context.events;
    auto box = [&events](const char* title, const char* text) {
      events.Emit(ConsoleEvent("messageBox").Add("title", title).Add("text", text));
    };
    if (recording) {
      if (!contacts::IsValidEmail(request.recipients)) {
        box("Email", kInvalidAddress);
        return CommandReply::Error(kInvalidAddress);
      }
      p.settings.SetSettingString("Settings", "EmailTo", request.recipients);
    }
    // Settings are read here, on the loop's thread; the worker only sends.
    const mail::MailSettings settings = mail::ReadMailSettings(p.settings);
    const bool noteShown = p.settings.GetSettingString("Email", "SetViewed", "") == "1";
    const std::string dataFolder = p.paths.DataFolder();
    MailSendOutcome outcome;
    const mail::MailResult result =
        RunMailInProgress(&context.progress, &p.activityLog, [&](mail::MailProgress& progress, platform::Event* stop) {
          outcome = SendMailAsSet(request, settings, noteShown, dataFolder, progress, stop);
          return outcome.result;
        });
    if (!outcome.note.empty()) {
      box("Email", outcome.note.c_str());
      p.settings.SetSettingString("Email", "SetViewed", "1");
    }
    if (recording && result == mail::MailResult::kFailed) box("Email", kRecordingNotSent);
    return CommandReply::Ok(JsonObject()
                                .Add("result", static_cast<std::int64_t>(result))
                                .Add("saved", outcome.savedFile)
                                .Str());
  });
}

}  // namespace corvina::app
