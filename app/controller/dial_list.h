// The dial box's drop-down list: the recent calls in slot order, then (with `ShowAddressBook`
// on, section `Settings`, true when absent) the address book's entries as "name <number>",
// with a separator line between the two groups only when both have items. A chosen item goes
// into the dial box unchanged; dialling takes the address inside its "<…>".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/logs/recent_calls.h"
#include "platform/settings.h"

namespace corvina::app {

struct DialListItem {
  std::string text;
  std::int64_t data = 0;  // a recent call's date; 0 for the separator and address-book items
};

struct AddressBookItem {
  std::string name;
  std::string number;
};

struct DialList {
  std::vector<DialListItem> items;
  std::size_t recentCount = 0;  // the leading recent-call items
  bool separator = false;       // the item after them is the separator
};

DialList FillDialList(const RecentCalls& recent, const platform::Settings& settings,
                       const std::vector<AddressBookItem>& addressBook);

// The list position of address-book entry `index` (picked by number from outside the window),
// or nothing when there is no such entry.
std::optional<std::size_t> AddressBookPosition(const DialList& list, long index);

}  // namespace corvina::app
