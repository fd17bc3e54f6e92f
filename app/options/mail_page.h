// The Email page: how e-mail leaves the program (the local mail system or our own SMTP client),
// the mail host, its login and the reply-to address. All values live in section "Email".
#pragma once

#include "app/options/options_page.h"

namespace corvina::app {

// Fields: UseMAPI (0 SMTP client, 1 local mail system), UseSMTPHost, MailSMTPHost, SMTPAuthOn,
// SMTPUserName, SMTPPassword, SendDirect, ReplyToEmail.
class EmailPage final : public OptionsPage {
 public:
  EmailPage(platform::Settings& settings, OptionsEnvironment& env);
  std::string_view Name() const override { return "email"; }
  void Load() override;
  std::optional<OptionsMessage> Confirm() override;
};

// True when `host` is empty, or a name or address optionally followed by ":" and a port from 1
// to 65535 (no spaces, no second colon).
bool ValidMailHost(std::string_view host);

}  // namespace corvina::app
