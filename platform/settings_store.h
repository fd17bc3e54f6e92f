// The hierarchical key/value store behind the settings operations: keys are paths of names
// joined by "\", each key holds named string values and sub-keys. Key and value names compare
// without regard to (ASCII) case. A name may contain "/"; only "\" separates keys.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvina::platform {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  // The stored value, or nothing when the key or the value does not exist (or the store
  // cannot be read).
  virtual std::optional<std::string> ReadValue(std::string_view keyPath, std::string_view name) = 0;
  // Creates the key and its parents when needed, then stores the value. False on failure.
  virtual bool WriteValue(std::string_view keyPath, std::string_view name, std::string_view value) = 0;
  virtual bool KeyExists(std::string_view keyPath) = 0;
  // Creates the key and its parents; true when the key exists afterwards.
  virtual bool CreateKey(std::string_view keyPath) = 0;
  // Removes one value; true when it existed.
  virtual bool DeleteValue(std::string_view keyPath, std::string_view name) = 0;
  // Removes a key with all its values and sub-keys; true when it existed.
  virtual bool DeleteKey(std::string_view keyPath) = 0;
  // The values of one key, by name.
  virtual std::vector<std::pair<std::string, std::string>> ListValues(std::string_view keyPath) = 0;
  // The names of the direct sub-keys of a key.
  virtual std::vector<std::string> ListSubKeys(std::string_view keyPath) = 0;
};

// Key paths are compared and stored in a normal form: no empty names (leading, trailing and
// doubled "\" are dropped). Returns the names of a path.
std::vector<std::string_view> SplitKeyPath(std::string_view keyPath);
std::string NormalizeKeyPath(std::string_view keyPath);

}  // namespace corvina::platform
