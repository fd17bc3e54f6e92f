// Profile files: text files of "[section]" lines and "key=value" lines, kept in memory per
// path, shared by every thread of the process and written back whole after each change.
//
// Reading: lines end at CR or LF and keep at most 1103 bytes; a "[" line opens (or reopens and
// merges into) a section named up to "]"; any other line splits at its first "=" and the last
// value of a key wins. Nothing is trimmed. Invalid UTF-8 reads as U+FFFD; names and values
// are cut to 259 UTF-16 units on a character boundary. Names compare ignoring ASCII case.
//
// Writing: "[%s]\r\n", "%s=%s\r\n" per key, "\r\n" after each section, UTF-8 without a BOM,
// into a temporary file in the same folder that is synced and renamed over the old one; a
// failed write leaves the old file and the in-memory copy as they were. CR, LF and NUL in a
// written name or value become spaces, so a value cannot add lines.
//
// Other processes: a writer holds an exclusive advisory lock on "<path>.lock" (a reader a
// shared one while it reads the file again), taken with retries whose waits start at
// (timeout + 127) / 256 ms and double; reads wait up to 2000 ms, writes 1000 ms. The file is
// reparsed whenever its inode, size or nanosecond modification time differs from the ones last
// seen; while they match, a read costs one stat and no lock.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace corvina::contacts {

struct ProfileKey {
  std::string name;
  std::string value;
  friend bool operator==(const ProfileKey&, const ProfileKey&) = default;
};
// One section: its keys in insertion order, with an index from the lower-case name to the
// position, so a lookup or a change does not scan the section (an address book of a few
// thousand contacts has tens of thousands of keys).
class ProfileSection {
 public:
  explicit ProfileSection(std::string name) : name_(std::move(name)) {}
  // A later key of the same name (ignoring case) sets the earlier one's value.
  ProfileSection(std::string name, const std::vector<ProfileKey>& keys);

  const std::string& Name() const { return name_; }
  const std::vector<ProfileKey>& Keys() const { return keys_; }
  // The key of this name ignoring case, or null.
  const ProfileKey* Find(std::string_view name) const;
  // Sets the value of the key of this name, or appends the key.
  void Set(std::string name, std::string value);
  // Removes the key of this name; false when there is none.
  bool Erase(std::string_view name);

  friend bool operator==(const ProfileSection& a, const ProfileSection& b) {
    return a.name_ == b.name_ && a.keys_ == b.keys_;
  }

 private:
  std::string name_;
  std::vector<ProfileKey> keys_;
  std::unordered_map<std::string, std::size_t> index_;  // lower-case name -> position in keys_
};
using ProfileData = std::vector<ProfileSection>;

// The pure halves of the store, for tests and the fuzz target.
ProfileData ParseProfile(std::string_view bytes);
std::string SerializeProfile(const ProfileData& data);

// Edits of one file's sections in memory (used inside ProfileFiles::Edit).
const std::string* FindProfileValue(const ProfileData& data, std::string_view section,
                                    std::string_view key);
// value none deletes the key; key none deletes the section.
void SetProfileValue(ProfileData& data, std::string_view section,
                     std::optional<std::string_view> key, std::optional<std::string_view> value);

// The process-wide store. Every call takes one process-wide lock for its whole duration.
namespace profile {

// The value, or empty when the section or key is missing (or the file cannot be read).
std::string ReadString(const std::string& path, std::string_view section, std::string_view key);
// Decimal value of the key, 0 when missing or empty.
long ReadInt(const std::string& path, std::string_view section, std::string_view key);
// Sets (or with value none deletes) a key, or with key none deletes a section; writes the file
// back. False when the write failed (the change is then undone).
bool WriteString(const std::string& path, std::string_view section,
                 std::optional<std::string_view> key, std::optional<std::string_view> value);
bool WriteInt(const std::string& path, std::string_view section, std::string_view key, long value);
// Applies several changes to the freshly read sections and writes them back once; when the
// write fails nothing changes. `edit` must not call back into the store.
template <typename F>
bool Edit(const std::string& path, F&& edit);
// Calls `read` with the freshly read sections, under the store's lock, without copying them.
// `read` must not call back into the store.
template <typename F>
void Read(const std::string& path, F&& read);
// Writes the file if a change is still unwritten. False on a failed write.
bool Flush(const std::string& path);

// Implementation of Read.
void ReadWith(const std::string& path, void (*fn)(const ProfileData&, void*), void* context);
template <typename F>
void Read(const std::string& path, F&& read) {
  ReadWith(
      path, [](const ProfileData& d, void* c) { (*static_cast<std::remove_reference_t<F>*>(c))(d); },
      &read);
}

// Implementation of Edit.
bool EditWith(const std::string& path, void (*fn)(ProfileData&, void*), void* context);
template <typename F>
bool Edit(const std::string& path, F&& edit) {
  return EditWith(
      path, [](ProfileData& d, void* c) { (*static_cast<std::remove_reference_t<F>*>(c))(d); },
      &edit);
}

}  // namespace profile
}  // namespace corvina::contacts
