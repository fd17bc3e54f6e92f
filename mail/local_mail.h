// Handing a message to the local mail system: the same MIME message, with LF line ends, goes to
// `sendmail -t -i` (every Unix mail transfer agent's submission interface, which queues it and
// sends it later); without one the message is kept as a .eml file in the outbox folder, which
// any mail program opens.
#pragma once

#include <string>

#include "mail/smtp_client.h"

namespace corvina::mail {

struct LocalMailContext {
  std::string sendmailPath;  // CORVINA_SENDMAIL, else /usr/sbin/sendmail (see DefaultSendmailPath)
  std::string outboxFolder;  // where .eml files go without a mail system
  const platform::WallClock* wall = nullptr;
  std::string hostName;      // names the sender when there is no reply-to address
  int timeoutMs = 60000;     // for the mail system to take the message
  bool noteShown = true;     // the first-use note was shown before (`Email` `SetViewed`)
};

std::string DefaultSendmailPath();

// The outbox folder inside the phone's data folder.
std::string OutboxFolder(const std::string& dataFolder);

struct LocalMailOutcome {
  MailResult result = MailResult::kFailed;
  std::string savedFile;  // the .eml written, when there was no mail system
  std::string note;       // the first-use note to show, when not shown before
};

// Every failure is reported once through `progress`.
LocalMailOutcome SendByLocalMail(const MailRequest& request, const MailSettings& settings, MailProgress& progress,
                                 const LocalMailContext& context);

}  // namespace corvina::mail
