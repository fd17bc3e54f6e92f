#include "app/options/mail_page.h"

#include "app/options/options_texts.h"
#include "contacts/contact_rules.h"

namespace corvina::app {
namespace {

namespace t = options_texts;

constexpr std::string_view kSection = "Email";
constexpr int kMaxPort = 65535;

OptionsMessage Box(std::string_view title, std::string_view text, std::string_view field) {
  return {std::string(title), std::string(text), std::string(field)};
}

// Leading and trailing spaces are dropped: the sender reads these values trimmed anyway.
std::string Trimmed(std::string text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

bool ValidMailHost(std::string_view host) {
  if (host.empty()) return true;
  if (host.find_first_of(" \t") != std::string_view::npos) return false;
  const std::size_t colon = host.find(':');
  if (colon == 0) return false;
  if (colon == std::string_view::npos) return true;
  return ParsePortNumber(host.substr(colon + 1), 1, kMaxPort).has_value();
}

EmailPage::EmailPage(platform::Settings& settings, OptionsEnvironment& env) : OptionsPage(settings, env) {
  AddField("UseMAPI", Kind::kChoice, 2);
  AddField("UseSMTPHost", Kind::kSwitch);
  AddField("MailSMTPHost", Kind::kText);
  AddField("SMTPAuthOn", Kind::kSwitch);
  AddField("SMTPUserName", Kind::kText);
  AddField("SMTPPassword", Kind::kPassword);
  AddField("SendDirect", Kind::kSwitch);
  AddField("ReplyToEmail", Kind::kText);
}

void EmailPage::Load() {
  // "0" picks the SMTP client; anything else, or nothing, the local mail system.
  Show("UseMAPI", settings_.GetSettingString(kSection, "UseMAPI", "") == "0" ? "0" : "1");
  Show("UseSMTPHost", settings_.GetSettingBool(kSection, "UseSMTPHost", true) ? "1" : "0");
  Show("MailSMTPHost", settings_.GetSettingString(kSection, "MailSMTPHost", ""));
  Show("SMTPAuthOn", settings_.GetSettingBool(kSection, "SMTPAuthOn", false) ? "1" : "0");
  Show("SMTPUserName", settings_.GetSettingString(kSection, "SMTPUserName", ""));
  Show("SMTPPassword", settings_.GetSettingString(kSection, "SMTPPassword", ""));
  Show("SendDirect", settings_.GetSettingBool(kSection, "SendDirect", true) ? "1" : "0");
  Show("ReplyToEmail", settings_.GetSettingString(kSection, "ReplyToEmail", ""));
}

std::optional<OptionsMessage> EmailPage::Confirm() {
  settings_.SetSettingString(kSection, "UseMAPI", Get("UseMAPI"));
  settings_.SetSettingBool(kSection, "UseSMTPHost", On("UseSMTPHost"));
  settings_.SetSettingBool(kSection, "SendDirect", On("SendDirect"));
  const std::string host = Trimmed(Get("MailSMTPHost"));
  if (auto refusal = CheckOptionText(host, "MailSMTPHost", "Mail Server")) return refusal;
  if (!ValidMailHost(host)) return Box(t::kInvalidMailHostTitle, t::kInvalidMailHost, "MailSMTPHost");
  settings_.SetSettingString(kSection, "MailSMTPHost", host);
  const std::string user = Get("SMTPUserName"), password = Get("SMTPPassword");
  if (auto refusal = CheckOptionText(user, "SMTPUserName", "User Name")) return refusal;
  if (auto refusal = CheckOptionText(password, "SMTPPassword", "Password")) return refusal;
  if (On("SMTPAuthOn") && user.empty()) return Box(t::kInvalidMailUserTitle, t::kInvalidMailUser, "SMTPUserName");
  settings_.SetSettingBool(kSection, "SMTPAuthOn", On("SMTPAuthOn"));
  settings_.SetSettingString(kSection, "SMTPUserName", user);
  settings_.SetSettingString(kSection, "SMTPPassword", password);
  const std::string replyTo = Trimmed(Get("ReplyToEmail"));
  if (auto refusal = CheckOptionText(replyTo, "ReplyToEmail", "Reply-To Address")) return refusal;
  if (!replyTo.empty() && (!contacts::IsValidEmail(replyTo) || replyTo.find_first_of(" <>") != std::string::npos)) {
    return Box(t::kInvalidReplyToTitle, t::kInvalidReplyTo, "ReplyToEmail");
  }
  settings_.SetSettingString(kSection, "ReplyToEmail", replyTo);
  return std::nullopt;
}

}  // namespace corvina::app
