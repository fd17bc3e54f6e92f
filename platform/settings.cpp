#include "platform/settings.h"

#include <climits>

#include "platform/product.h"
#include "platform/text.h"

namespace corvina::platform {
namespace {

// "Software\Tessaly\Corvina\"
constexpr std::string_view kRoot = "Software\\" CORVINA_MAKER "\\" CORVINA_NAME "\\";
constexpr std::string_view kMaxId = "MaxID";

}  // namespace

std::string Settings::SectionPath(std::string_view section) {
  std::string path(kRoot);
  path.append(section);
  return std::string(CutToUtf16Units(path, kMaxTextUnits));
}

std::string Settings::GetSettingString(std::string_view section, std::string_view name, std::string_view def,
                                       bool* found) const {
  std::optional<std::string> value = store_.ReadValue(SectionPath(section), name);
  // A value too long for a 260-character buffer cannot be read: the default applies.
  bool ok = value.has_value() && Utf16Length(*value) <= kMaxTextUnits;
  if (found != nullptr) *found = ok;
  return ok ? *value : std::string(def);
}

int Settings::GetSettingInt(std::string_view section, std::string_view name, int def) const {
  bool found = false;
  std::string value = GetSettingString(section, name, "", &found);
  if (!found || value.empty()) return def;
  long n = ParseLeadingLong(value);
  if (n > INT_MAX) return INT_MAX;
  if (n < INT_MIN) return INT_MIN;
  return static_cast<int>(n);
}

bool Settings::GetSettingBool(std::string_view section, std::string_view name, bool def) const {
  bool found = false;
  std::string value = GetSettingString(section, name, "", &found);
  if (!found || value.empty()) return def;
  return value[0] != '0';
}

bool Settings::SetSettingString(std::string_view section, std::string_view name, std::string_view value) {
  return store_.WriteValue(SectionPath(section), name, value);
}

bool Settings::SetSettingInt(std::string_view section, std::string_view name, int value) {
  return SetSettingString(section, name, std::to_string(value));
}

bool Settings::SetSettingBool(std::string_view section, std::string_view name, bool value) {
  return SetSettingString(section, name, value ? "1" : "0");
}

std::string NumberedKeyList::EntrySectionOf(std::string_view list, int n) {
  std::string section(list);
  section += '\\';
  section += std::to_string(n);
  return section;
}

void NumberedKeyList::Open(std::string_view list) {
  list_ = std::string(list);
  maxId_ = settings_.GetSettingInt(list_, kMaxId, 0);
  next_ = 0;
  index_ = -1;
  entrySection_.clear();
}

bool NumberedKeyList::Next() {
  while (next_ >= 0 && next_ < maxId_) {
    int n = next_++;
    std::string section = EntrySectionOf(list_, n);
    if (settings_.Store().KeyExists(Settings::SectionPath(section))) {
      index_ = n;
      entrySection_ = section;
      return true;
    }
  }
  return false;
}

int NumberedKeyList::Allocate(std::string_view list) {
  int maxId = settings_.GetSettingInt(list, kMaxId, 0);
  if (maxId < 0) maxId = 0;
  for (int n = 0; n < maxId; ++n) {
    if (!settings_.Store().KeyExists(Settings::SectionPath(EntrySectionOf(list, n)))) return n;
  }
  settings_.SetSettingInt(list, kMaxId, maxId + 1);
  return maxId;
}

}  // namespace corvina::platform
