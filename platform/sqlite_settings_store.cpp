#include "platform/sqlite_settings_store.h"

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/text.h"

namespace corvina::platform {
namespace {

constexpr int kBusyTimeoutMs = 5000;
constexpr int kRetryMs = 5;

// Keys and value names are matched through their lower-case form (the "l" columns) and
// listed with the spelling of their first creation.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS setting_keys("
    "  lpath TEXT PRIMARY KEY NOT NULL,"
    "  path TEXT NOT NULL,"
    "  lparent TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS setting_keys_parent ON setting_keys(lparent);"
    "CREATE TABLE IF NOT EXISTS setting_values("
    "  lpath TEXT NOT NULL,"
    "  lname TEXT NOT NULL,"
    "  name TEXT NOT NULL,"
    "  value TEXT NOT NULL,"
    "  PRIMARY KEY(lpath, lname));";

// A prepared statement that finalises itself.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Ok() const { return stmt_ != nullptr; }
  void Bind(int index, std::string_view text) {
    // A default-constructed view has no data pointer, which SQLite would store as NULL.
    sqlite3_bind_text(stmt_, index, text.data() == nullptr ? "" : text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
  }
  int Step() { return sqlite3_step(stmt_); }
  bool Done() { return Step() == SQLITE_DONE; }
  std::string Column(int index) {
    const unsigned char* p = sqlite3_column_text(stmt_, index);
    int n = sqlite3_column_bytes(stmt_, index);
    return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Runs `body` inside one write transaction; commits when it returns true.
template <typename Body>
bool InWriteTransaction(sqlite3* db, Body body) {
  if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
  if (!body()) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  return true;
}

}  // namespace

SqliteSettingsStore::SqliteSettingsStore(const std::string& path) : path_(path) {
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    sqlite3_close(db_);
    db_ = nullptr;
    return;
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  // WAL lets readers go on while another process writes; FULL makes each commit durable.
  // Switching a new file to WAL answers "busy" at once, without the busy handler, while a
  // second process does the same; so that step waits and retries by itself.
  bool wal = false;
  for (int waited = 0; !wal && waited < kBusyTimeoutMs; waited += kRetryMs) {
    int rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    wal = rc == SQLITE_OK;
    if (!wal && rc != SQLITE_BUSY && rc != SQLITE_LOCKED) break;
    if (!wal) std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
  }
  if (!wal || !Exec("PRAGMA synchronous=FULL") || !Exec(kSchema)) {
    sqlite3_close(db_);
    db_ = nullptr;
  }
}

SqliteSettingsStore::~SqliteSettingsStore() {
  if (db_ != nullptr) sqlite3_close(db_);
}

bool SqliteSettingsStore::Exec(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::optional<std::string> SqliteSettingsStore::ReadValue(std::string_view keyPath, std::string_view name) {
  std::lock_guard lock(mutex_);
  if (db_ == nullptr) return std::nullopt;
  Statement st(db_, "SELECT value FROM setting_values WHERE lpath = ?1 AND lname = ?2");
  if (!st.Ok()) return std::nullopt;
  st.Bind(1, ToLowerAscii(NormalizeKeyPath(keyPath)));
  st.Bind(2, ToLowerAscii(name));
  if (st.Step() != SQLITE_ROW) return std::nullopt;
  return st.Column(0);
}

bool SqliteSettingsStore::CreateKeyLocked(const std::string& keyPath) {
  // Insert the key and every ancestor that is missing, from the root down.
  std::string path;
  for (std::string_view name : SplitKeyPath(keyPath)) {
    std::string parent = path;
    if (!path.empty()) path += '\\';
    path.append(name);
    Statement st(db_, "INSERT OR IGNORE INTO setting_keys(lpath, path, lparent) VALUES(?1, ?2, ?3)");
    if (!st.Ok()) return false;
    st.Bind(1, ToLowerAscii(path));
    st.Bind(2, path);
    st.Bind(3, ToLowerAscii(parent));
    if (!st.Done()) return false;
  }
  return true;
}

bool SqliteSettingsStore::WriteValue(std::string_view keyPath, std::string_view name, std::string_view value) {
  std::lock_guard lock(mutex_);
  if (db_ == nullptr) return false;
  std::string path = NormalizeKeyPath(keyPath);
  return InWriteTransaction(db_, [&] {
    if (!CreateKeyLocked(path)) return false;
    Statement st(db_,
                 "INSERT INTO setting_values(lpath, lname, name, value) VALUES(?1, ?2, ?3, ?4) "
                 "ON CONFLICT(lpath, lname) DO UPDATE SET value = excluded.value");
    if (!st.Ok()) return false;
    st.Bind(1, ToLowerAscii(path));
    st.Bind(2, ToLowerAscii(name));
    st.Bind(3, name);
    st.Bind(4, value);
    return st.Done();
  });
}

bool SqliteSettingsStore::KeyExists(std::string_view keyPath) {
  std::lock_guard lock(mutex_);
  if (db_ == nullptr) return false;
  std::string path = NormalizeKeyPath(keyPath);
  if (path.empty()) return true;
  Statement st(db_, "SELECT 1 FROM setting_keys WHERE lpath = ?1");
  if (!st.Ok()) return false;
  st.Bind(1, ToLowerAscii(path));
  return st.Step() == SQLITE_ROW;
}

bool SqliteSettingsStore::CreateKey(std::string_view keyPath) {
  std::lock_guard lock(mutex_);
  if (db_ == nullptr) return false;
  std::string path = NormalizeKeyPath(keyPath);
  return InWriteTransaction(db_, [&] { return CreateKeyLocked(path); });
}

bool SqliteSettingsStore::DeleteValue(std::string_view keyPath, std::string_view name) {
  std::lock_guard lock(mutex_);
  if (db_ == nullptr) return false;
  Statement st(db_, "DELETE FROM setting_values WHERE lpath = ?1 AND lname = ?2");
  if (!st.Ok()) return false;
  st.Bind(1, ToLowerAscii(NormalizeKeyPath(keyPath)));
  st.Bind(2, ToLowerAscii(name));
  return st.Done() && sqlite3_changes(db_) > 0;
}

bool SqliteSettingsStore::DeleteKey(std::string_view keyPath) {
  std::lock_guard lock(mutex_);
  if (db_ == nullptr) return false;
  std::string lpath = ToLowerAscii(NormalizeKeyPath(keyPath));
  if (lpath.empty()) return false;  // the root is never deleted
  std::string prefix = lpath + '\\';
  bool existed = false;
  bool ok = InWriteTransaction(db_, [&] {
    const char* sqls[] = {
        "DELETE FROM setting_keys WHERE lpath = ?1 OR substr(lpath, 1, length(?2)) = ?2",
        "DELETE FROM setting_values WHERE lpath = ?1 OR substr(lpath, 1, length(?2)) = ?2",
    };
    for (const char* sql : sqls) {
      Statement st(db_, sql);
      if (!st.Ok()) return false;
      st.Bind(1, lpath);
      st.Bind(2, prefix);
      if (!st.Done()) return false;
      existed = existed || sqlite3_changes(db_) > 0;
    }
    return true;
  });
  return ok && existed;
}

std::vector<std::pair<std::string, std::string>> SqliteSettingsStore::ListValues(std::string_view keyPath) {
  std::lock_guard lock(mutex_);
  std::vector<std::pair<std::string, std::string>> out;
  if (db_ == nullptr) return out;
  Statement st(db_, "SELECT name, value FROM setting_values WHERE lpath = ?1 ORDER BY lname");
  if (!st.Ok()) return out;
  st.Bind(1, ToLowerAscii(NormalizeKeyPath(keyPath)));
  while (st.Step() == SQLITE_ROW) out.emplace_back(st.Column(0), st.Column(1));
  return out;
}

std::vector<std::string> SqliteSettingsStore::ListSubKeys(std::string_view keyPath) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  if (db_ == nullptr) return out;
  Statement st(db_, "SELECT path FROM setting_keys WHERE lparent = ?1 ORDER BY lpath");
  if (!st.Ok()) return out;
  st.Bind(1, ToLowerAscii(NormalizeKeyPath(keyPath)));
  while (st.Step() == SQLITE_ROW) {
    std::string full = st.Column(0);
    std::size_t cut = full.rfind('\\');
    out.push_back(cut == std::string::npos ? full : full.substr(cut + 1));
  }
  return out;
}

}  // namespace corvina::platform
