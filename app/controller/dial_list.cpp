#include "app/controller/dial_list.h"

#include "app/controller/dial_text.h"
#include "app/controller/phone_texts.h"
#include "platform/text.h"

namespace corvina::app {

DialList FillDialList(const RecentCalls& recent, const platform::Settings& settings,
                       const std::vector<AddressBookItem>& addressBook) {
  DialList list;
  for (RecentCall& call : recent.List()) list.items.push_back({std::move(call.text), call.date});
  list.recentCount = list.items.size();
  if (!settings.GetSettingBool("Settings", "ShowAddressBook", true)) return list;
  if (list.recentCount > 0 && !addressBook.empty()) {
    list.items.push_back({std::string(texts::kDialListSeparator), 0});
    list.separator = true;
  }
  for (const AddressBookItem& entry : addressBook) {
    list.items.push_back(
        {CutToField(platform::FormatText(texts::kAddressBookItem, entry.name.c_str(), entry.number.c_str())), 0});
  }
  return list;
}

std::optional<std::size_t> AddressBookPosition(const DialList& list, long index) {
  if (index < 0) return std::nullopt;
  const std::size_t first = list.recentCount + (list.separator ? 1 : 0);
  if (static_cast<unsigned long>(index) >= list.items.size() - first) return std::nullopt;
  return first + static_cast<std::size_t>(index);
}

}  // namespace corvina::app
