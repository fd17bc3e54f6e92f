// The three short lists kept as numbered keys of the settings store: the quick-transfer list
// and the auto-intercom list (a name and a number per entry), and the hotkey list (a packed
// key per entry). Entries are addressed by their entry number (the sub-key's name), which a
// delete leaves as a hole. Single-threaded: the owner calls them from one thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings.h"

namespace corvina::contacts {

// A refusal shown as a message box: the caller shows it and keeps the dialog open.
struct Refusal {
  std::string title;
  std::string text;
};

inline constexpr const char* kQuickTransferList = "QuickTransfer/Details";
inline constexpr const char* kAutoIntercomList = "AutoIntercom/Details";
inline constexpr const char* kHotkeyList = "Hotkey\\Details";

inline constexpr const char* kNumberRequiredTitle = "Number Required";
inline constexpr const char* kNumberRequiredText =
    "Please enter the number of the person you want to add to the quick transfer list.";
inline constexpr const char* kExistingContactTitle = "Existing Contact";
inline constexpr const char* kExistingContactText = "This contact details already exists in your quick transfer list.";
inline constexpr const char* kControlCharacterTitle = "Invalid Characters";
inline constexpr const char* kControlCharacterText = "The name and the number cannot contain control characters.";

struct NamedNumber {
  int entry = -1;  // the entry number in the store
  std::string name;
  std::string number;
};

// True when `text` holds a byte below 32 or DEL: such text would break a SIP header line.
bool HasControlCharacter(std::string_view text);

// The quick-transfer or the auto-intercom list.
class NamedNumberList {
 public:
  NamedNumberList(platform::Settings& settings, std::string_view list) : settings_(settings), list_(list) {}

  // The entries in entry order; strings are cut to 259 characters.
  std::vector<NamedNumber> Entries() const;
  // Adds (no `entry`) or rewrites entry `entry`. Refuses text with control characters; the
  // quick-transfer list also an empty number and, when adding, an entry with the same name and
  // number. The new or edited
  // entry's number is given back in `saved`.
  std::optional<Refusal> Save(std::optional<int> entry, std::string_view name, std::string_view number,
                              int* saved = nullptr);
  // Removes an entry's sub-key (MaxID stays); false when there is no such entry.
  bool Remove(int entry);
  // Removes every entry whose name equals `name` ignoring case; the number removed.
  int RemoveNamed(std::string_view name);

 private:
  platform::Settings& settings_;
  std::string list_;
};

struct HotkeyEntry {
  int entry = -1;
  std::optional<std::uint32_t> key;  // modifiers × 65536 + virtual-key code; none when unset
  std::uint32_t Modifiers() const { return key ? *key / 65536 : 0; }
  std::uint32_t VirtualKey() const { return key ? *key % 65536 : 0; }
};

// Window-system modifier flags and virtual-key codes the hotkey values are written in.
inline constexpr std::uint32_t kModAlt = 1, kModControl = 2, kModShift = 4, kModWin = 8;

// Why a key may not become a hotkey: it is a menu shortcut or a key that dials during a call.
// Nothing when it is free.
std::optional<Refusal> HotkeyClash(std::uint32_t key);

class HotkeyList {
 public:
  explicit HotkeyList(platform::Settings& settings) : settings_(settings) {}

  std::vector<HotkeyEntry> Entries() const;
  // Stores `key` (its decimal text, unchanged) as entry `entry`'s key, creating the entry
  // when needed; refused when the key clashes.
  std::optional<Refusal> Set(int entry, std::uint32_t key);
  bool Remove(int entry);

 private:
  platform::Settings& settings_;
};

// Removes entry `entry` of `list`; false when it does not exist.
bool RemoveListEntry(platform::Settings& settings, std::string_view list, int entry);

}  // namespace corvina::contacts

namespace corvina::contacts {

class ContactStore;

// Deletes the contact with identifier `id` and every quick-transfer entry named as its first
// name (ignoring case); false, with nothing removed, when the contact is not deleted.
bool DeleteContact(ContactStore& store, platform::Settings& settings, long id);

}  // namespace corvina::contacts
