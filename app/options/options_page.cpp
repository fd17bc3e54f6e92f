#include "app/options/options_page.h"

#include <charconv>

#include "app/options/options_texts.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace corvina::app {

std::string OptionsPage::Get(std::string_view key) const {
  for (const Field& f : fields_) {
    if (f.key == key) return f.value;
  }
  return {};
}

bool OptionsPage::Set(std::string_view key, std::string value) {
  for (Field& f : fields_) {
    if (f.key != key) continue;
    if (f.kind == Kind::kSwitch) value = (value.empty() || value[0] == '0') ? "0" : "1";
    if (f.kind == Kind::kChoice && !ParsePortNumber(value, 0, f.choices - 1)) return false;
    f.value = std::move(value);
    return true;
  }
  return false;
}

bool OptionsPage::On(std::string_view key) const { return Get(key) == "1"; }

std::optional<OptionsMessage> CheckOptionText(std::string_view text, std::string_view key, std::string_view label) {
  const std::string labelText(label);
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      return OptionsMessage{std::string(options_texts::kInvalidTextTitle),
                            platform::FormatText(options_texts::kControlCharacters, labelText.c_str()),
                            std::string(key)};
    }
  }
  if (platform::Utf16Length(text) > platform::kMaxTextUnits) {
    return OptionsMessage{std::string(options_texts::kInvalidTextTitle),
                          platform::FormatText(options_texts::kTooLong, labelText.c_str()), std::string(key)};
  }
  return std::nullopt;
}

std::string TrimOptionText(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

std::optional<int> ParsePortNumber(std::string_view text, int low, int high) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) return std::nullopt;
  return value;
}

int OptionsLineEntry(const platform::Settings& settings) {
  bool found = false;
  const std::string stored = settings.GetSettingString("Settings", "LineConfigure", "", &found);
  const std::optional<int> choice = found ? ParsePortNumber(stored, -1, 1) : std::nullopt;
  return choice ? *choice + 1 : 1;
}

bool OptionsFolderWritable(const std::string& folder) { return platform::CanCreateFileIn(folder); }

}  // namespace corvina::app
