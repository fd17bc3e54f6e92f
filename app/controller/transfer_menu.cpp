#include "app/controller/transfer_menu.h"

#include "app/console/json_writer.h"
#include "contacts/quick_lists.h"

namespace corvina::app {

bool QuickTransferUsesAddressBook(const platform::Settings& settings) {
  std::string value = settings.GetSettingString("Settings", "UseAddressBook", "");
  return !value.empty() && value != "0";
}

std::vector<TransferMenuItem> BuildTransferMenu(platform::Settings& settings, contacts::ContactStore* contacts,
                                                bool transferPossible) {
  std::vector<TransferMenuItem> menu;
  auto add = [&](std::string text, std::string number) {
    menu.push_back({kSpeedEntryCommand + static_cast<int>(menu.size()), std::move(text), transferPossible,
                    std::move(number)});
  };
  if (QuickTransferUsesAddressBook(settings)) {
    if (contacts != nullptr) {
      for (std::size_t i = 0, n = contacts->Count(); i < n; ++i) {
        contacts::Contact c = contacts->At(i);
        add(contacts::DisplayName(c.firstName, c.lastName) + " <" + c.phone + ">", c.phone);
      }
    }
  } else {
    for (contacts::NamedNumber& e : contacts::NamedNumberList(settings, contacts::kQuickTransferList).Entries()) {
      add(e.name.empty() ? e.number : e.name + " <" + e.number + ">", e.number);
    }
  }
  if (!menu.empty()) menu.push_back({});
  menu.push_back({kManageQuickTransferCommand, kManageQuickTransferText, !transferPossible, {}});
  return menu;
}

const TransferMenuItem* FindMenuItem(const std::vector<TransferMenuItem>& menu, int id) {
  for (const TransferMenuItem& item : menu) {
    if (!item.Separator() && item.id == id) return &item;
  }
  return nullptr;
}

std::string TransferMenuJson(const std::vector<TransferMenuItem>& menu) {
  std::string json = "[";
  for (const TransferMenuItem& item : menu) {
    if (json.size() > 1) json += ',';
    json += item.Separator() ? JsonObject().Add("separator", true).Str()
                             : JsonObject().Add("id", item.id).Add("text", item.text).Add("enabled", item.enabled).Str();
  }
  return json + "]";
}

}  // namespace corvina::app
