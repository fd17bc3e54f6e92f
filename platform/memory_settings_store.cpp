#include "platform/memory_settings_store.h"

#include "platform/text.h"

namespace corvina::platform {

void MemorySettingsStore::CreateKeyLocked(const std::string& path) {
  std::string prefix;
  for (std::string_view name : SplitKeyPath(path)) {
    if (!prefix.empty()) prefix += '\\';
    prefix.append(name);
    std::string lower = ToLowerAscii(prefix);
    if (keys_.find(lower) == keys_.end()) keys_[lower].path = prefix;
  }
}

std::optional<std::string> MemorySettingsStore::ReadValue(std::string_view keyPath, std::string_view name) {
  std::lock_guard lock(mutex_);
  auto key = keys_.find(ToLowerAscii(NormalizeKeyPath(keyPath)));
  if (key == keys_.end()) return std::nullopt;
  auto value = key->second.values.find(ToLowerAscii(name));
  if (value == key->second.values.end()) return std::nullopt;
  return value->second.second;
}

bool MemorySettingsStore::WriteValue(std::string_view keyPath, std::string_view name, std::string_view value) {
  std::lock_guard lock(mutex_);
  std::string path = NormalizeKeyPath(keyPath);
  CreateKeyLocked(path);
  Key& key = keys_[ToLowerAscii(path)];
  auto& slot = key.values[ToLowerAscii(name)];
  if (slot.first.empty()) slot.first = std::string(name);
  slot.second = std::string(value);
  return true;
}

bool MemorySettingsStore::KeyExists(std::string_view keyPath) {
  std::lock_guard lock(mutex_);
  std::string lower = ToLowerAscii(NormalizeKeyPath(keyPath));
  return lower.empty() || keys_.count(lower) > 0;
}

bool MemorySettingsStore::CreateKey(std::string_view keyPath) {
  std::lock_guard lock(mutex_);
  CreateKeyLocked(NormalizeKeyPath(keyPath));
  return true;
}

bool MemorySettingsStore::DeleteValue(std::string_view keyPath, std::string_view name) {
  std::lock_guard lock(mutex_);
  auto key = keys_.find(ToLowerAscii(NormalizeKeyPath(keyPath)));
  return key != keys_.end() && key->second.values.erase(ToLowerAscii(name)) > 0;
}

bool MemorySettingsStore::DeleteKey(std::string_view keyPath) {
  std::lock_guard lock(mutex_);
  std::string lower = ToLowerAscii(NormalizeKeyPath(keyPath));
  if (lower.empty()) return false;
  std::string prefix = lower + '\\';
  bool existed = false;
  for (auto it = keys_.begin(); it != keys_.end();) {
    if (it->first == lower || it->first.compare(0, prefix.size(), prefix) == 0) {
      it = keys_.erase(it);
      existed = true;
    } else {
      ++it;
    }
  }
  return existed;
}

std::vector<std::pair<std::string, std::string>> MemorySettingsStore::ListValues(std::string_view keyPath) {
  std::lock_guard lock(mutex_);
  std::vector<std::pair<std::string, std::string>> out;
  auto key = keys_.find(ToLowerAscii(NormalizeKeyPath(keyPath)));
  if (key == keys_.end()) return out;
  for (const auto& [lower, value] : key->second.values) out.push_back(value);
  return out;
}

std::vector<std::string> MemorySettingsStore::ListSubKeys(std::string_view keyPath) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  std::string lower = ToLowerAscii(NormalizeKeyPath(keyPath));
  std::string prefix = lower.empty() ? std::string() : lower + '\\';
  for (const auto& [path, key] : keys_) {
    if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size()) continue;
    if (path.find('\\', prefix.size()) != std::string::npos) continue;
    out.push_back(key.path.substr(prefix.size()));
  }
  return out;
}

void MemorySettingsStore::Swap(MemorySettingsStore& other) {
  if (&other == this) return;
  std::scoped_lock lock(mutex_, other.mutex_);
  keys_.swap(other.keys_);
}

}  // namespace corvina::platform
