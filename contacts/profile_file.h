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
// shared one), taken with retries whose waits start at (timeout + 127) / 256 ms and double;
// reads wait up to 2000 ms, writes 1000 ms. The file is reparsed whenever its inode, size or
// nanosecond modification time differs from the ones last seen.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::contacts {

struct ProfileKey {
  std::string name;
  std::string value;
  friend bool operator==(const ProfileKey&, const ProfileKey&) = default;
};
struct ProfileSection {
  std::string name;
  std::vector<ProfileKey> keys;
  friend bool operator==(const ProfileSection&, const ProfileSection&) = default;
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
// A copy of the freshly read sections.
ProfileData Snapshot(const std::string& path);
// Writes the file if a change is still unwritten. False on a failed write.
bool Flush(const std::string& path);

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
