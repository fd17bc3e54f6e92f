// `corvina mail ...`: sending e-mail without the window, through the local mail system or the
// program's own SMTP client as the `Email` settings say.
//   mail send --to LIST [--subject S] [--body-file F] [--attach FILE]...
//   mail recording FILE --to ADDR
// Progress texts go to `out`, the one failure text to `err`. The exit code is the send's result:
// 0 sent, 1 cancelled, 2 failed (also for bad arguments, with the usage).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "mail/smtp_client.h"
#include "platform/paths.h"
#include "platform/settings_store.h"

namespace corvina::app {

// A macro so the program's own usage text can be joined with it at compile time.
#define CORVINA_MAIL_USAGE                                                          \
  "       corvina mail send --to LIST [--subject S] [--body-file F] [--attach FILE]...\n" \
  "       corvina mail recording FILE --to ADDR\n"

// The arguments after "mail" made into a request (`recording` set for "recording FILE"); the
// recording's fixed subject and body filled in. False with `problem` for arguments it cannot take.
bool ParseMailArguments(const std::vector<std::string>& args, mail::MailRequest& request, bool& recording,
                        std::string& problem);

int RunMailTool(const std::vector<std::string>& args, platform::SettingsStore& store,
                const platform::PhonePaths& paths, std::ostream& out, std::ostream& err);

}  // namespace corvina::app
