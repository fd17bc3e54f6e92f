#include "mail/local_mail.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "platform/clock.h"
#include "platform/feed_program.h"
#include "platform/paths.h"

namespace corvina::mail {
namespace {

// Writes `text` to a temporary name and renames it, so a reader never sees a half file.
bool WriteEml(const std::string& folder, const std::string& name, const std::string& text) {
  const std::string path = folder + "/" + name;
  const std::string temp = folder + "/." + name + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::string DefaultSendmailPath() {
  const char* chosen = std::getenv("CORVINA_SENDMAIL");
  return chosen != nullptr && *chosen != '\0' ? chosen : "/usr/sbin/sendmail";
}

std::string OutboxFolder(const std::string& dataFolder) { return dataFolder + "/Outbox"; }

LocalMailOutcome SendByLocalMail(const MailRequest& request, const MailSettings& settings, MailProgress& progress,
                                 const LocalMailContext& context) {
  LocalMailOutcome outcome;
  PreparedMail mail = PrepareMail(request, settings);
  if (!mail.error.empty()) {
    progress.ReportError(mail.error);
    return outcome;
  }
  progress.SetText("Sending Email to " + request.recipients, 0);
  const std::string sender = settings.replyTo.empty() ? "Corvina@" + context.hostName : settings.replyTo;
  const std::optional<std::string> text = ComposeMessage(
      {sender, JoinRecipients(mail.recipients), request.subject, request.body, mail.attachments}, MailDateNow(*context.wall));
  if (!text) {
    progress.ReportError("Unable to compose the message");
    return outcome;
  }
  if (platform::IsExecutableFile(context.sendmailPath)) {
    progress.SetText("Handing the message to the local mail system", 1);
    // The addresses come from the message's own headers (-t); a line "." is text (-i).
    const std::optional<int> status =
        platform::FeedProgram(context.sendmailPath, {"-t", "-i"}, UnixLineEnds(*text), context.timeoutMs);
    if (status != 0) {
      progress.ReportError("The local mail system (" + context.sendmailPath + ") did not take the message");
      return outcome;
    }
    outcome.note = "The message was handed to the local mail system (" + context.sendmailPath +
                   "), which sends it. Later messages go the same way without this note.";
  } else {
    progress.SetText("Saving the message in the outbox", 1);
    static std::atomic<unsigned> serial{0};
    const std::time_t now = context.wall->Now();
    const std::tm local = context.wall->LocalTime(now);
    char name[80];
    std::snprintf(name, sizeof name, "Corvina-%04d%02d%02d-%02d%02d%02d-%u.eml", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, serial++);
    if (!platform::EnsureFolder(context.outboxFolder) || !WriteEml(context.outboxFolder, name, *text)) {
      progress.ReportError("Unable to save the message in \"" + context.outboxFolder + "\"");
      return outcome;
    }
    outcome.savedFile = context.outboxFolder + "/" + name;
    outcome.note = "No local mail system was found (" + context.sendmailPath + "), so the message was saved as \"" +
                   outcome.savedFile + "\". Open it with any mail program to send it.";
  }
  if (context.noteShown) outcome.note.clear();
  outcome.result = MailResult::kDone;
  return outcome;
}

}  // namespace corvina::mail
