// The settings store on one SQLite database file, read from memory. The whole file is loaded
// into an image at open; reads are served from the image, so no read on the engine, call,
// media or user-interface paths touches the disk. Every write is one transaction, committed
// durably before the call returns (a crash afterwards loses nothing), and applied to the
// image in the same step. Writes by other connections (the `reg` tool while the phone runs)
// are noticed through SQLite's data version, looked at by a read at most once per
// kCheckIntervalMs of the clock; when it moved, the image is loaded again. So a value written
// elsewhere reaches this process's readers within kCheckIntervalMs.
//
// Write-ahead logging and a busy time-out let several processes use the file at once. Failures
// are reported as absent values or false, never as errors towards the user. Any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/clock.h"
#include "platform/memory_settings_store.h"
#include "platform/settings_store.h"

struct sqlite3;

namespace corvina::platform {

class SqliteSettingsStore final : public SettingsStore {
 public:
  static constexpr std::uint32_t kCheckIntervalMs = 100;

  // Opens (creating when needed, with its folder) the database at `path` and loads it. A store
  // that cannot be opened reads nothing and writes nothing; IsOpen() tells. `clock` (the
  // system's when null) paces the look for other writers' changes.
  explicit SqliteSettingsStore(const std::string& path, const TickClock* clock = nullptr);
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

  // Looks for other writers' commits now (waiting for a write in progress) and loads the image
  // again when there were any: for a process told that the settings just changed.
  void Refresh();

 private:
  struct Statements;  // prepared once at open

  bool Exec(const char* sql);
  bool CreateKeyOnDisk(const std::string& keyPath);
  // Runs `body` in one write transaction; commits when it returns true. Holds diskMutex_.
  template <typename Body>
  bool InWriteTransaction(Body body);
  // Loads the image again when another connection committed since the last look, at most once
  // per kCheckIntervalMs.
  void FollowOtherWriters();
  // The look itself, with diskMutex_ held.
  void ReloadIfChangedLocked();
  // Reads the data version and the whole file into image_; false (image unchanged) on failure.
  bool LoadImage();

  const std::string path_;
  const TickClock& clock_;
  sqlite3* db_ = nullptr;  // fixed after construction; used under diskMutex_
  std::mutex diskMutex_;   // guards the statements, dataVersion_ and every use of the file
  std::unique_ptr<Statements> statements_;
  std::int64_t dataVersion_ = -1;
  std::atomic<std::uint32_t> lastCheckMs_{0};  // when the data version was last looked at
  MemorySettingsStore image_;  // its own lock; changed only under diskMutex_
};

}  // namespace corvina::platform
