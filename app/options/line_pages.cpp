#include "app/options/line_pages.h"

#include "app/options/options_texts.h"
#include "platform/text.h"

namespace corvina::app {
namespace {

std::string Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

struct Labelled {
  const char* key;
  const char* label;
};
constexpr Labelled kLineTexts[] = {
    {"DisplayName", "'Friendly' Name"}, {"UserName", "SIP Number"}, {"Proxy", "Server"}, {"ProxyPassword", "Password"}};

}  // namespace

std::string OptionsLineSection(int entry) { return entry == 0 ? "DefaultLine" : "Line" + std::to_string(entry); }

std::string OptionsLineEntryName(int entry) {
  if (entry == 0) return std::string(options_texts::kDefaultLineEntry);
  return platform::FormatText(std::string(options_texts::kLineEntry).c_str(), entry);
}

LinesPage::LinesPage(platform::Settings& settings, OptionsEnvironment& env, int entry)
    : OptionsPage(settings, env), entry_(entry) {
  AddField("UseDefault", Kind::kSwitch);
  AddField("DisplayName", Kind::kText);
  AddField("UserName", Kind::kText);
  AddField("Proxy", Kind::kText);
  AddField("ProxyPassword", Kind::kPassword);
}

void LinesPage::Load() {
  const std::string section = OptionsLineSection(entry_);
  // The default section has no UseDefault; its switch shows off and is never written.
  Show("UseDefault", entry_ != 0 && settings_.GetSettingBool(section, "UseDefault", true) ? "1" : "0");
  for (const Labelled& t : kLineTexts) Show(t.key, settings_.GetSettingString(section, t.key, ""));
}

std::optional<OptionsMessage> LinesPage::Confirm() {
  for (const Labelled& t : kLineTexts) {
    if (auto refusal = CheckOptionText(Get(t.key), t.key, t.label)) return refusal;
  }
  const std::string section = OptionsLineSection(entry_);
  if (entry_ != 0) settings_.SetSettingBool(section, "UseDefault", On("UseDefault"));
  settings_.SetSettingString(section, "DisplayName", Get("DisplayName"));
  for (const char* key : {"UserName", "Proxy", "ProxyPassword"}) {
    settings_.SetSettingString(section, key, Trimmed(Get(key)));
  }
  return std::nullopt;
}

std::optional<OptionsMessage> LinesPage::SwitchTo(int entry) {
  if (entry < 0 || entry > 2) return std::nullopt;
  if (auto refusal = Confirm()) return refusal;
  entry_ = entry;
  Load();
  return std::nullopt;
}

std::pair<std::string, bool> LinesPage::AdvancedCaption() const {
  const std::string section = OptionsLineSection(entry_);
  const bool modified = settings_.GetSettingInt(section, "UseOutboundServer", 0) != 0 ||
                        settings_.GetSettingInt(section, "UseAuthentication", 0) != 0;
  return {std::string(modified ? options_texts::kAdvancedModified : options_texts::kAdvanced), modified};
}

AdvancedLinePage::AdvancedLinePage(platform::Settings& settings, OptionsEnvironment& env, int entry)
    : OptionsPage(settings, env), entry_(entry) {
  AddField("UseOutboundServer", Kind::kChoice, 3);
  AddField("OutboundServer", Kind::kText);
  AddField("UseAuthentication", Kind::kChoice, 2);
  AddField("AuthID", Kind::kText);
}

void AdvancedLinePage::Load() {
  const std::string section = OptionsLineSection(entry_);
  for (const char* key : {"UseOutboundServer", "UseAuthentication"}) {
    // A stored choice outside the list shows the first one.
    if (!Set(key, settings_.GetSettingString(section, key, "0"))) Show(key, "0");
  }
  Show("OutboundServer", settings_.GetSettingString(section, "OutboundServer", ""));
  Show("AuthID", settings_.GetSettingString(section, "AuthID", ""));
}

std::optional<OptionsMessage> AdvancedLinePage::Confirm() {
  namespace t = options_texts;
  if (Get("UseOutboundServer") == "1" && Get("OutboundServer").empty()) {
    return OptionsMessage{std::string(t::kInvalidOutboundTitle), std::string(t::kInvalidOutbound), "OutboundServer"};
  }
  if (Get("UseAuthentication") == "1" && Get("AuthID").empty()) {
    return OptionsMessage{std::string(t::kInvalidAuthTitle), std::string(t::kInvalidAuth), "AuthID"};
  }
  if (auto refusal = CheckOptionText(Get("OutboundServer"), "OutboundServer", "Outbound Server")) return refusal;
  if (auto refusal = CheckOptionText(Get("AuthID"), "AuthID", "Auth ID")) return refusal;
  const std::string section = OptionsLineSection(entry_);
  for (const char* key : {"UseOutboundServer", "OutboundServer", "UseAuthentication", "AuthID"}) {
    settings_.SetSettingString(section, key, Get(key));
  }
  return std::nullopt;
}

void AdvancedLinePage::RestoreDefaults() {
  Show("UseOutboundServer", "0");
  Show("UseAuthentication", "0");
}

}  // namespace corvina::app
