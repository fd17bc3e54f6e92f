#include "contacts/profile_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "platform/text.h"
#include "platform/unique_fd.h"

namespace corvina::contacts {
namespace {

constexpr std::size_t kMaxLineBytes = 1103;

std::string Clean(std::string_view text) {
  std::string out = platform::SanitizeUtf8(text);
  for (char& c : out) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return std::string(platform::CutToUtf16Units(out, platform::kMaxTextUnits));
}

ProfileSection* FindSection(ProfileData& data, std::string_view name) {
  for (auto& s : data) {
    if (platform::EqualsIgnoreCase(s.Name(), name)) return &s;
  }
  return nullptr;
}

}  // namespace

ProfileData ParseProfile(std::string_view bytes) {
  ProfileData data;
  ProfileSection* current = nullptr;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view raw = bytes.substr(pos, std::min(end - pos, kMaxLineBytes));
    pos = end + 1;
    if (raw.empty()) continue;
    std::string line = platform::SanitizeUtf8(raw);
    if (line[0] == '[') {
      std::size_t close = line.find(']');
      std::string name = Clean(std::string_view(line).substr(1, close == std::string::npos
                                                                     ? std::string::npos
                                                                     : close - 1));
      current = FindSection(data, name);
      if (current == nullptr) {
        data.emplace_back(std::move(name));
        current = &data.back();
      }
      continue;
    }
    std::size_t eq = line.find('=');
    if (eq == std::string::npos || current == nullptr) continue;
    current->Set(Clean(std::string_view(line).substr(0, eq)),
                 Clean(std::string_view(line).substr(eq + 1)));
  }
  return data;
}

std::string SerializeProfile(const ProfileData& data) {
  std::string out;
  for (const auto& s : data) {
    out += "[" + s.Name() + "]\r\n";
    for (const auto& k : s.Keys()) out += k.name + "=" + k.value + "\r\n";
    out += "\r\n";
  }
  return out;
}

ProfileSection::ProfileSection(std::string name, const std::vector<ProfileKey>& keys)
    : name_(std::move(name)) {
  for (const ProfileKey& k : keys) Set(k.name, k.value);
}

const ProfileKey* ProfileSection::Find(std::string_view name) const {
  auto it = index_.find(platform::ToLowerAscii(name));
  return it == index_.end() ? nullptr : &keys_[it->second];
}

void ProfileSection::Set(std::string name, std::string value) {
  auto [it, added] = index_.try_emplace(platform::ToLowerAscii(name), keys_.size());
  if (added) {
    keys_.push_back({std::move(name), std::move(value)});
  } else {
    keys_[it->second].value = std::move(value);
  }
}

bool ProfileSection::Erase(std::string_view name) {
  auto it = index_.find(platform::ToLowerAscii(name));
  if (it == index_.end()) return false;
  const std::size_t at = it->second;
  index_.erase(it);
  keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(at));
  for (auto& [lower, position] : index_) {
    if (position > at) --position;
  }
  return true;
}

const std::string* FindProfileValue(const ProfileData& data, std::string_view section,
                                     std::string_view key) {
  for (const auto& s : data) {
    if (!platform::EqualsIgnoreCase(s.Name(), section)) continue;
    const ProfileKey* k = s.Find(key);
    return k ? &k->value : nullptr;
  }
  return nullptr;
}

void SetProfileValue(ProfileData& data, std::string_view section,
                     std::optional<std::string_view> key, std::optional<std::string_view> value) {
  std::string sectionName = Clean(section);
  ProfileSection* s = FindSection(data, sectionName);
  if (!key) {
    if (s != nullptr) data.erase(data.begin() + (s - data.data()));
    return;
  }
  std::string keyName = Clean(*key);
  if (!value) {
    if (s != nullptr) s->Erase(keyName);
    return;
  }
  if (s == nullptr) s = &data.emplace_back(std::move(sectionName));
  s->Set(std::move(keyName), Clean(*value));
}

namespace profile {
namespace {

struct Stamp {
  ino_t inode = 0;
  off_t size = 0;
  timespec mtime{};
  bool operator==(const Stamp& o) const {
    return inode == o.inode && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

struct FileState {
  ProfileData data;
  Stamp stamp;
  bool dirty = false;
};

std::mutex& StoreMutex() {
  static std::mutex m;
  return m;
}
// Guarded by StoreMutex(). Paths are compared exactly.
std::map<std::string, FileState>& Files() {
  static std::map<std::string, FileState> files;
  return files;
}

// The advisory lock beside the file; it lives on a separate inode, so it holds across the
// rename that replaces the file. Retries with doubling waits within `timeoutMs`.
platform::UniqueFd LockFile(const std::string& path, bool exclusive, long timeoutMs) {
  platform::UniqueFd fd(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!fd) return {};
  long step = (timeoutMs + 127) / 256;
  long remaining = timeoutMs;
  for (;;) {
    if (::flock(fd.Get(), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return fd;
    if (errno != EWOULDBLOCK && errno != EINTR) return {};
    if (remaining <= step) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(step));
    remaining -= step;
    step *= 2;
  }
}

bool ReadWhole(int fd, std::string& out) {
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(buffer, static_cast<std::size_t>(n));
  }
}

// Reparses the file when it changed on disk.
void Refresh(const std::string& path, FileState& state) {
  // A writer replaces the file whole by renaming, so a file with the stamp last seen is the one
  // in memory: no lock or open is needed (a list of many contacts reads thousands of keys). A
  // missing file keeps the copy too.
  struct stat now{};
  if (::stat(path.c_str(), &now) != 0 || Stamp{now.st_ino, now.st_size, now.st_mtim} == state.stamp) return;
  platform::UniqueFd lock = LockFile(path, false, 2000);
  if (!lock) return;
  platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return;
  struct stat st{};
  if (::fstat(fd.Get(), &st) != 0) return;
  Stamp stamp{st.st_ino, st.st_size, st.st_mtim};
  if (stamp == state.stamp) return;
  std::string bytes;
  if (!ReadWhole(fd.Get(), bytes)) return;
  state.data = ParseProfile(bytes);
  state.stamp = stamp;
  state.dirty = false;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Temporary file in the same folder, synced, renamed over the file.
bool WriteBack(const std::string& path, FileState& state) {
  platform::UniqueFd lock = LockFile(path, true, 1000);
  if (!lock) return false;
  std::string temp = path + ".XXXXXX";
  platform::UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd) return false;
  ::fchmod(fd.Get(), 0644);
  bool ok = WriteAll(fd.Get(), SerializeProfile(state.data)) && ::fsync(fd.Get()) == 0;
  struct stat st{};
  ok = ok && ::fstat(fd.Get(), &st) == 0;
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  // The rename itself reaches the disk with the folder.
  std::size_t slash = path.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  platform::UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) ::fsync(dir.Get());
  state.stamp = Stamp{st.st_ino, st.st_size, st.st_mtim};
  state.dirty = false;
  return true;
}

}  // namespace

bool EditWith(const std::string& path, void (*fn)(ProfileData&, void*), void* context) {
  std::lock_guard<std::mutex> hold(StoreMutex());
  FileState& state = Files()[path];
  Refresh(path, state);
  FileState before = state;
  fn(state.data, context);
  state.dirty = true;
  if (WriteBack(path, state)) return true;
  state = std::move(before);
  return false;
}

std::string ReadString(const std::string& path, std::string_view section, std::string_view key) {
  std::lock_guard<std::mutex> hold(StoreMutex());
  FileState& state = Files()[path];
  Refresh(path, state);
  const std::string* value = FindProfileValue(state.data, section, key);
  return value ? *value : std::string();
}

long ReadInt(const std::string& path, std::string_view section, std::string_view key) {
  return platform::ParseLeadingLong(ReadString(path, section, key));
}

bool WriteString(const std::string& path, std::string_view section,
                 std::optional<std::string_view> key, std::optional<std::string_view> value) {
  return Edit(path, [&](ProfileData& d) { SetProfileValue(d, section, key, value); });
}

bool WriteInt(const std::string& path, std::string_view section, std::string_view key,
              long value) {
  return WriteString(path, section, key, std::to_string(value));
}

void ReadWith(const std::string& path, void (*fn)(const ProfileData&, void*), void* context) {
  std::lock_guard<std::mutex> hold(StoreMutex());
  FileState& state = Files()[path];
  Refresh(path, state);
  fn(state.data, context);
}

bool Flush(const std::string& path) {
  std::lock_guard<std::mutex> hold(StoreMutex());
  auto it = Files().find(path);
  if (it == Files().end() || !it->second.dirty) return true;
  return WriteBack(path, it->second);
}

}  // namespace profile
}  // namespace corvina::contacts
