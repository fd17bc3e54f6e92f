#include "app/policy/intercom_allow.h"

#include "platform/text.h"

namespace corvina::app {
namespace {

constexpr const char* kSection = "Intercom";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitAllowList(std::string_view allow) {
  std::vector<std::string> items;
  std::size_t i = 0;
  while (i <= allow.size()) {
    while (i < allow.size() && IsBlank(allow[i])) ++i;
    std::string_view item;
    std::size_t next;
    if (i < allow.size() && allow[i] == '"') {
      // A quoted item runs to the closing quote and may hold commas and blanks.
      std::size_t close = allow.find('"', i + 1);
      if (close == std::string_view::npos) close = allow.size();
      item = allow.substr(i + 1, close - i - 1);
      next = allow.find(',', close);
    } else {
      next = allow.find(',', i);
      item = allow.substr(i, (next == std::string_view::npos ? allow.size() : next) - i);
      while (!item.empty() && IsBlank(item.back())) item.remove_suffix(1);
    }
    item = platform::CutToUtf16Units(item, platform::kMaxTextUnits);
    if (!item.empty()) items.emplace_back(item);
    if (next == std::string_view::npos) break;
    i = next + 1;
  }
  return items;
}

bool IsIntercomAllowed(const platform::Settings& settings, std::string_view callerAddress) {
  if (settings.GetSettingBool(kSection, "AllowAll", true)) return true;
  for (const std::string& item : SplitAllowList(settings.GetSettingString(kSection, "Allow", ""))) {
    if (callerAddress.find(item) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace corvina::app
