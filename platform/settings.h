// The settings operations every subsystem uses. All configuration lives under the key path
// "Software\Tessaly\Corvina\<section>", one key per section; every value is a string, and
// readers convert on the fly with their own defaults. Each read goes to the store, so a value
// written by one part of the program is seen by the next reader; the program's store answers
// reads from memory and follows writes made by other processes (sqlite_settings_store.h).
#pragma once

#include <string>
#include <string_view>

#include "platform/settings_store.h"

namespace corvina::platform {

class Settings {
 public:
  explicit Settings(SettingsStore& store) : store_(store) {}

  // The store key path of a section (cut at 259 characters).
  static std::string SectionPath(std::string_view section);

  // The stored string, or `def` when the value is missing or longer than 259 characters.
  // `found`, when given, tells which.
  std::string GetSettingString(std::string_view section, std::string_view name, std::string_view def,
                               bool* found = nullptr) const;
  // `def` when missing or empty, else the value's leading decimal number (letters read as 0).
  int GetSettingInt(std::string_view section, std::string_view name, int def) const;
  // `def` when missing or empty, else true unless the value begins with "0".
  bool GetSettingBool(std::string_view section, std::string_view name, bool def) const;

  bool SetSettingString(std::string_view section, std::string_view name, std::string_view value);
  bool SetSettingInt(std::string_view section, std::string_view name, int value);
  bool SetSettingBool(std::string_view section, std::string_view name, bool value);

  SettingsStore& Store() const { return store_; }

 private:
  SettingsStore& store_;
};

// A variable-length list kept as numbered sub-keys of the list's own key, which holds `MaxID`.
// Entry n is the sub-key named n (decimal, no leading zeros) for 0 <= n < MaxID; holes are
// allowed, since an entry may be deleted without lowering MaxID.
class NumberedKeyList {
 public:
  explicit NumberedKeyList(Settings& settings) : settings_(settings) {}

  // Reads MaxID of `list` and positions before the first entry.
  void Open(std::string_view list);
  // Moves to the next existing entry below MaxID; false when none is left.
  bool Next();
  // The current entry's number and its section (usable with the Settings operations).
  int Index() const { return index_; }
  const std::string& EntrySection() const { return entrySection_; }

  // The first free entry number of `list`: a hole below MaxID when there is one (MaxID
  // unchanged), otherwise MaxID itself, after storing MaxID + 1.
  int Allocate(std::string_view list);

  static std::string EntrySectionOf(std::string_view list, int n);

 private:
  Settings& settings_;
  std::string list_;
  int maxId_ = 0;
  int next_ = 0;
  int index_ = -1;
  std::string entrySection_;
};

}  // namespace corvina::platform
