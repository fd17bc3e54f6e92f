#include "contacts/quick_lists.h"

#include <charconv>

#include "platform/text.h"

namespace corvina::contacts {
namespace {

constexpr std::string_view kMaxId = "MaxID";
// Entry numbers a caller may name; a larger one would make every reader walk a long way.
constexpr int kEntryLimit = 1000;

std::string ReadCut(const platform::Settings& settings, const std::string& section, std::string_view name) {
  std::optional<std::string> value = settings.Store().ReadValue(platform::Settings::SectionPath(section), name);
  if (!value) return {};
  return std::string(platform::CutToUtf16Units(*value, platform::kMaxTextUnits));
}

bool EntryExists(platform::Settings& settings, std::string_view list, int entry) {
  if (entry < 0) return false;
  if (entry >= settings.GetSettingInt(list, kMaxId, 0)) return false;
  return settings.Store().KeyExists(
      platform::Settings::SectionPath(platform::NumberedKeyList::EntrySectionOf(list, entry)));
}

// Letters, digits and the keys the keyboard turns into keypad presses during a call.
bool DialsInCall(std::uint32_t modifiers, std::uint32_t vk) {
  if ((modifiers & ~kModShift) != 0) return false;
  if (vk >= 'A' && vk <= 'Z') return true;
  if (vk >= '0' && vk <= '9') return true;
  if (vk >= 0x60 && vk <= 0x6A) return true;  // numeric-pad digits and multiply
  return vk == 0x6E || vk == 0x0D || vk == 0x1B;  // numeric-pad point, Enter, Escape
}

}  // namespace

bool HasControlCharacter(std::string_view text) {
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) return true;
  }
  return false;
}

bool RemoveListEntry(platform::Settings& settings, std::string_view list, int entry) {
  if (!EntryExists(settings, list, entry)) return false;
  return settings.Store().DeleteKey(
      platform::Settings::SectionPath(platform::NumberedKeyList::EntrySectionOf(list, entry)));
}

std::vector<NamedNumber> NamedNumberList::Entries() const {
  std::vector<NamedNumber> entries;
  platform::NumberedKeyList keys(settings_);
  keys.Open(list_);
  while (keys.Next()) {
    entries.push_back({keys.Index(), ReadCut(settings_, keys.EntrySection(), "Name"),
                       ReadCut(settings_, keys.EntrySection(), "Number")});
  }
  return entries;
}

std::optional<Refusal> NamedNumberList::Save(std::optional<int> entry, std::string_view name,
                                             std::string_view number, int* saved) {
  // The empty-number and duplicate checks are the quick-transfer dialog's; the auto-intercom
  // list is filled from the address book, whose own checks have run.
  const bool quickTransfer = list_ == kQuickTransferList;
  if (quickTransfer && number.empty()) return Refusal{kNumberRequiredTitle, kNumberRequiredText};
  if (HasControlCharacter(name) || HasControlCharacter(number)) {
    return Refusal{kControlCharacterTitle, kControlCharacterText};
  }
  if (!entry && quickTransfer) {
    for (const NamedNumber& e : Entries()) {
      if (e.name == name && e.number == number) return Refusal{kExistingContactTitle, kExistingContactText};
    }
  }
  if (entry && !EntryExists(settings_, list_, *entry)) {
    return Refusal{"Error", "There is no entry " + std::to_string(*entry) + "."};
  }
  int n = entry ? *entry : platform::NumberedKeyList(settings_).Allocate(list_);
  std::string section = platform::NumberedKeyList::EntrySectionOf(list_, n);
  if (!settings_.SetSettingString(section, "Number", number) || !settings_.SetSettingString(section, "Name", name)) {
    return Refusal{"Error", "The list could not be saved."};
  }
  if (saved != nullptr) *saved = n;
  return std::nullopt;
}

bool NamedNumberList::Remove(int entry) { return RemoveListEntry(settings_, list_, entry); }

int NamedNumberList::RemoveNamed(std::string_view name) {
  int removed = 0;
  for (const NamedNumber& e : Entries()) {
    if (platform::EqualsIgnoreCase(e.name, name) && Remove(e.entry)) ++removed;
  }
  return removed;
}

std::optional<Refusal> HotkeyClash(std::uint32_t key) {
  const std::uint32_t modifiers = key / 65536, vk = key % 65536;
  static constexpr std::pair<char, const char*> kShortcuts[] = {
      {'A', "Answer Call"}, {'D', "Dial"}, {'E', "ReDial"}, {'H', "Hangup"},
      {'N', "Do Not Disturb On"}, {'O', "Do Not Disturb Off"}, {'R', "Reject Call"}};
  if (modifiers == kModControl) {
    for (auto [letter, command] : kShortcuts) {
      if (vk == static_cast<std::uint32_t>(letter)) {
        return Refusal{"Hotkey In Use", std::string("Ctrl+") + letter + " is the shortcut of the menu command \"" +
                                            command + "\". Please choose another key."};
      }
    }
  }
  if (DialsInCall(modifiers, vk)) {
    return Refusal{"Hotkey In Use", "This key dials a keypad digit during a call. Please choose another key."};
  }
  return std::nullopt;
}

std::vector<HotkeyEntry> HotkeyList::Entries() const {
  std::vector<HotkeyEntry> entries;
  platform::NumberedKeyList keys(settings_);
  keys.Open(kHotkeyList);
  while (keys.Next()) {
    HotkeyEntry e;
    e.entry = keys.Index();
    std::string text = ReadCut(settings_, keys.EntrySection(), "Key");
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (!text.empty() && error == std::errc() && end == text.data() + text.size()) e.key = value;
    entries.push_back(e);
  }
  return entries;
}

std::optional<Refusal> HotkeyList::Set(int entry, std::uint32_t key) {
  if (entry < 0 || entry >= kEntryLimit) return Refusal{"Error", "There is no entry " + std::to_string(entry) + "."};
  if (std::optional<Refusal> clash = HotkeyClash(key)) return clash;
  if (entry >= settings_.GetSettingInt(kHotkeyList, kMaxId, 0)) settings_.SetSettingInt(kHotkeyList, kMaxId, entry + 1);
  if (!settings_.SetSettingString(platform::NumberedKeyList::EntrySectionOf(kHotkeyList, entry), "Key",
                                  std::to_string(key))) {
    return Refusal{"Error", "The list could not be saved."};
  }
  return std::nullopt;
}

bool HotkeyList::Remove(int entry) { return RemoveListEntry(settings_, kHotkeyList, entry); }

}  // namespace corvina::contacts

#include "contacts/contact_store.h"

namespace corvina::contacts {

bool DeleteContact(ContactStore& store, platform::Settings& settings, long id) {
  std::string firstName;
  bool known = false;
  for (std::size_t i = 0, n = store.Count(); i < n; ++i) {
    if (store.IdAt(i) != id) continue;
    firstName = store.At(i).firstName;
    known = true;
    break;
  }
  if (!known || !store.Delete(id)) return false;
  NamedNumberList(settings, kQuickTransferList).RemoveNamed(firstName);
  return true;
}

}  // namespace corvina::contacts
