// The Transfer button's pop-up menu: one item per quick-transfer target (the address book's
// contacts, or the quick-transfer list), then the entry to the list's management. The menu
// keeps each item's number, so that a choice dials what the user saw even when the list
// changed while the menu was open.
#pragma once

#include <string>
#include <vector>

#include "contacts/contact_store.h"
#include "platform/settings.h"

namespace corvina::app {

inline constexpr int kSpeedEntryCommand = 7000;
inline constexpr int kManageQuickTransferCommand = 2050;
inline constexpr const char* kManageQuickTransferText = "Manage Quick Transfer List...";

struct TransferMenuItem {
  int id = 0;              // the command; 0 for the separator
  std::string text;        // empty for the separator
  bool enabled = false;
  std::string number;      // what choosing the item dials
  bool Separator() const { return id == 0; }
};

// True when `UseAddressBook` in section Settings is set.
bool QuickTransferUsesAddressBook(const platform::Settings& settings);

// The menu's items in order. `transferPossible`: no transfer is pending and a normal call is
// current. `contacts` may be null (no address book: no items in address-book mode).
std::vector<TransferMenuItem> BuildTransferMenu(platform::Settings& settings, contacts::ContactStore* contacts,
                                                bool transferPossible);

// The item of `menu` with command `id`, or null.
const TransferMenuItem* FindMenuItem(const std::vector<TransferMenuItem>& menu, int id);

// The menu as JSON: [{"id":7000,"text":"...","enabled":true},{"separator":true},...].
std::string TransferMenuJson(const std::vector<TransferMenuItem>& menu);

}  // namespace corvina::app
