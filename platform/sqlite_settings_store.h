// The settings store on one SQLite database file. Every operation is one transaction, so a
// process killed in the middle of a write loses that write only; write-ahead logging and a
// busy time-out let several processes (the phone and the `reg` tool) use the file at once.
// Failures are reported as absent values or false, never as errors towards the user.
#pragma once

#include <mutex>
#include <string>

#include "platform/settings_store.h"

struct sqlite3;

namespace corvina::platform {

class SqliteSettingsStore final : public SettingsStore {
 public:
  // Opens (creating when needed, with its folder) the database at `path`. A store that cannot
  // be opened reads nothing and writes nothing; IsOpen() tells.
  explicit SqliteSettingsStore(const std::string& path);
  ~SqliteSettingsStore() override;
  SqliteSettingsStore(const SqliteSettingsStore&) = delete;
  SqliteSettingsStore& operator=(const SqliteSettingsStore&) = delete;

  bool IsOpen() const { return db_ != nullptr; }
  const std::string& Path() const { return path_; }

  std::optional<std::string> ReadValue(std::string_view keyPath, std::string_view name) override;
  bool WriteValue(std::string_view keyPath, std::string_view name, std::string_view value) override;
  bool KeyExists(std::string_view keyPath) override;
  bool CreateKey(std::string_view keyPath) override;
  bool DeleteValue(std::string_view keyPath, std::string_view name) override;
  bool DeleteKey(std::string_view keyPath) override;
  std::vector<std::pair<std::string, std::string>> ListValues(std::string_view keyPath) override;
  std::vector<std::string> ListSubKeys(std::string_view keyPath) override;

 private:
  bool Exec(const char* sql);
  bool CreateKeyLocked(const std::string& keyPath);

  std::string path_;
  sqlite3* db_ = nullptr;
  std::mutex mutex_;
};

}  // namespace corvina::platform
