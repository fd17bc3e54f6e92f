// A settings store held in memory: the image the SQLite store reads from, and the store of
// unit tests of the code that reads and writes settings.
#pragma once

#include <map>
#include <mutex>

#include "platform/settings_store.h"

namespace corvina::platform {

class MemorySettingsStore final : public SettingsStore {
 public:
  std::optional<std::string> ReadValue(std::string_view keyPath, std::string_view name) override;
  bool WriteValue(std::string_view keyPath, std::string_view name, std::string_view value) override;
  bool KeyExists(std::string_view keyPath) override;
  bool CreateKey(std::string_view keyPath) override;
  bool DeleteValue(std::string_view keyPath, std::string_view name) override;
  bool DeleteKey(std::string_view keyPath) override;
  std::vector<std::pair<std::string, std::string>> ListValues(std::string_view keyPath) override;
  std::vector<std::string> ListSubKeys(std::string_view keyPath) override;

  // Exchanges the contents of two stores (each under its own lock).
  void Swap(MemorySettingsStore& other);

 private:
  struct Key {
    std::string path;  // spelling of the first creation
    std::map<std::string, std::pair<std::string, std::string>> values;  // lower name -> (name, value)
  };
  void CreateKeyLocked(const std::string& path);

  std::mutex mutex_;
  std::map<std::string, Key> keys_;  // by lower-case normalised path
};

}  // namespace corvina::platform
