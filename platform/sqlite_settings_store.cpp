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

const TickClock& SystemClock() {
  static const SystemTickClock clock;
  return clock;
}

// A statement prepared once and run many times; each use goes through a Use, which resets it.
class Statement {
 public:
  bool Prepare(sqlite3* db, const char* sql) {
    return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) == SQLITE_OK;
  }
  ~Statement() { sqlite3_finalize(stmt_); }

  class Use {
   public:
    explicit Use(Statement& s) : stmt_(s.stmt_) {}
    ~Use() {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    Use& Bind(int index, std::string_view text) {
      // A default-constructed view has no data pointer, which SQLite would store as NULL.
      sqlite3_bind_text(stmt_, index, text.data() == nullptr ? "" : text.data(), static_cast<int>(text.size()),
                        SQLITE_TRANSIENT);
      return *this;
    }
    int Step() { return sqlite3_step(stmt_); }
    bool Done() { return Step() == SQLITE_DONE; }
    std::string Column(int index) {
      const unsigned char* p = sqlite3_column_text(stmt_, index);
      int n = sqlite3_column_bytes(stmt_, index);
      return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
    }
    std::int64_t Integer(int index) { return sqlite3_column_int64(stmt_, index); }

   private:
    sqlite3_stmt* stmt_;
  };

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

struct SqliteSettingsStore::Statements {
  Statement beginWrite, beginRead, commit, rollback, dataVersion, allKeys, allValues, insertKey, upsertValue,
      deleteValue, deleteKeys, deleteKeyValues;

  bool Prepare(sqlite3* db) {
    const std::pair<Statement*, const char*> all[] = {
        {&beginWrite, "BEGIN IMMEDIATE"},
        {&beginRead, "BEGIN"},
        {&commit, "COMMIT"},
        {&rollback, "ROLLBACK"},
        {&dataVersion, "PRAGMA data_version"},
        {&allKeys, "SELECT path FROM setting_keys ORDER BY lpath"},
        {&allValues, "SELECT lpath, name, value FROM setting_values"},
        {&insertKey, "INSERT OR IGNORE INTO setting_keys(lpath, path, lparent) VALUES(?1, ?2, ?3)"},
        {&upsertValue,
         "INSERT INTO setting_values(lpath, lname, name, value) VALUES(?1, ?2, ?3, ?4) "
         "ON CONFLICT(lpath, lname) DO UPDATE SET value = excluded.value"},
        {&deleteValue, "DELETE FROM setting_values WHERE lpath = ?1 AND lname = ?2"},
        {&deleteKeys, "DELETE FROM setting_keys WHERE lpath = ?1 OR substr(lpath, 1, length(?2)) = ?2"},
        {&deleteKeyValues, "DELETE FROM setting_values WHERE lpath = ?1 OR substr(lpath, 1, length(?2)) = ?2"},
    };
    for (const auto& [statement, sql] : all) {
      if (!statement->Prepare(db, sql)) return false;
    }
    return true;
  }
};

SqliteSettingsStore::SqliteSettingsStore(const std::string& path, const TickClock* clock)
    : path_(path), clock_(clock != nullptr ? *clock : SystemClock()) {
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
  statements_ = std::make_unique<Statements>();
  std::lock_guard lock(diskMutex_);
  if (!wal || !Exec("PRAGMA synchronous=FULL") || !Exec(kSchema) || !statements_->Prepare(db_) || !LoadImage()) {
    statements_.reset();  // finalised before the connection closes
    sqlite3_close(db_);
    db_ = nullptr;
    return;
  }
  lastCheckMs_ = clock_.NowMs();
}

SqliteSettingsStore::~SqliteSettingsStore() {
  statements_.reset();
  if (db_ != nullptr) sqlite3_close(db_);
}

bool SqliteSettingsStore::Exec(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

template <typename Body>
bool SqliteSettingsStore::InWriteTransaction(Body body) {
  if (!Statement::Use(statements_->beginWrite).Done()) return false;
  if (body() && Statement::Use(statements_->commit).Done()) return true;
  Statement::Use(statements_->rollback).Done();
  return false;
}

bool SqliteSettingsStore::LoadImage() {
  Statements& st = *statements_;
  if (!Statement::Use(st.beginRead).Done()) return false;
  MemorySettingsStore fresh;
  std::int64_t version = -1;
  bool ok = false;
  {
    Statement::Use v(st.dataVersion);
    if (v.Step() == SQLITE_ROW) version = v.Integer(0);
    Statement::Use keys(st.allKeys);
    int rc = SQLITE_ROW;
    while ((rc = keys.Step()) == SQLITE_ROW) fresh.CreateKey(keys.Column(0));
    ok = version >= 0 && rc == SQLITE_DONE;
    Statement::Use values(st.allValues);
    while (ok && (rc = values.Step()) == SQLITE_ROW) {
      fresh.WriteValue(values.Column(0), values.Column(1), values.Column(2));
    }
    ok = ok && rc == SQLITE_DONE;
  }
  if (!Statement::Use(st.commit).Done()) {
    Statement::Use(st.rollback).Done();
    return false;
  }
  if (!ok) return false;
  image_.Swap(fresh);
  dataVersion_ = version;
  return true;
}

void SqliteSettingsStore::FollowOtherWriters() {
  if (db_ == nullptr || clock_.NowMs() - lastCheckMs_.load() < kCheckIntervalMs) return;
  // A reader never waits for a write in progress: it keeps the image, and a later read looks.
  std::unique_lock lock(diskMutex_, std::try_to_lock);
  if (!lock.owns_lock()) return;
  const std::uint32_t now = clock_.NowMs();
  if (now - lastCheckMs_.load() < kCheckIntervalMs) return;  // another reader just looked
  lastCheckMs_ = now;
  ReloadIfChangedLocked();
}

void SqliteSettingsStore::Refresh() {
  if (db_ == nullptr) return;
  std::lock_guard lock(diskMutex_);
  lastCheckMs_ = clock_.NowMs();
  ReloadIfChangedLocked();
}

void SqliteSettingsStore::ReloadIfChangedLocked() {
  std::int64_t version = -1;
  {
    Statement::Use v(statements_->dataVersion);
    if (v.Step() == SQLITE_ROW) version = v.Integer(0);
  }
  // The data version moves only for commits of other connections.
  if (version < 0 || version != dataVersion_) LoadImage();
}

std::optional<std::string> SqliteSettingsStore::ReadValue(std::string_view keyPath, std::string_view name) {
  FollowOtherWriters();
  return image_.ReadValue(keyPath, name);
}

bool SqliteSettingsStore::KeyExists(std::string_view keyPath) {
  if (db_ == nullptr) return false;
  FollowOtherWriters();
  return image_.KeyExists(keyPath);
}

std::vector<std::pair<std::string, std::string>> SqliteSettingsStore::ListValues(std::string_view keyPath) {
  FollowOtherWriters();
  return image_.ListValues(keyPath);
}

std::vector<std::string> SqliteSettingsStore::ListSubKeys(std::string_view keyPath) {
  FollowOtherWriters();
  return image_.ListSubKeys(keyPath);
}

bool SqliteSettingsStore::CreateKeyOnDisk(const std::string& keyPath) {
  // Insert the key and every ancestor that is missing, from the root down.
  std::string path;
  for (std::string_view name : SplitKeyPath(keyPath)) {
    std::string parent = path;
    if (!path.empty()) path += '\\';
    path.append(name);
    Statement::Use insert(statements_->insertKey);
    if (!insert.Bind(1, ToLowerAscii(path)).Bind(2, path).Bind(3, ToLowerAscii(parent)).Done()) return false;
  }
  return true;
}

bool SqliteSettingsStore::WriteValue(std::string_view keyPath, std::string_view name, std::string_view value) {
  std::lock_guard lock(diskMutex_);
  if (db_ == nullptr) return false;
  const std::string path = NormalizeKeyPath(keyPath);
  const std::string lpath = ToLowerAscii(path);
  const std::string lname = ToLowerAscii(name);
  bool ok = InWriteTransaction([&] {
    return CreateKeyOnDisk(path) &&
           Statement::Use(statements_->upsertValue).Bind(1, lpath).Bind(2, lname).Bind(3, name).Bind(4, value).Done();
  });
  if (ok) image_.WriteValue(path, name, value);
  return ok;
}

bool SqliteSettingsStore::CreateKey(std::string_view keyPath) {
  std::lock_guard lock(diskMutex_);
  if (db_ == nullptr) return false;
  const std::string path = NormalizeKeyPath(keyPath);
  bool ok = InWriteTransaction([&] { return CreateKeyOnDisk(path); });
  if (ok) image_.CreateKey(path);
  return ok;
}

bool SqliteSettingsStore::DeleteValue(std::string_view keyPath, std::string_view name) {
  std::lock_guard lock(diskMutex_);
  if (db_ == nullptr) return false;
  const std::string lpath = ToLowerAscii(NormalizeKeyPath(keyPath));
  if (!Statement::Use(statements_->deleteValue).Bind(1, lpath).Bind(2, ToLowerAscii(name)).Done()) return false;
  const bool existed = sqlite3_changes(db_) > 0;
  image_.DeleteValue(lpath, name);
  return existed;
}

bool SqliteSettingsStore::DeleteKey(std::string_view keyPath) {
  std::lock_guard lock(diskMutex_);
  if (db_ == nullptr) return false;
  const std::string lpath = ToLowerAscii(NormalizeKeyPath(keyPath));
  if (lpath.empty()) return false;  // the root is never deleted
  const std::string prefix = lpath + '\\';
  bool existed = false;
  bool ok = InWriteTransaction([&] {
    for (Statement* statement : {&statements_->deleteKeys, &statements_->deleteKeyValues}) {
      if (!Statement::Use(*statement).Bind(1, lpath).Bind(2, prefix).Done()) return false;
      existed = existed || sqlite3_changes(db_) > 0;
    }
    return true;
  });
  if (ok) image_.DeleteKey(lpath);
  return ok && existed;
}

}  // namespace corvina::platform
