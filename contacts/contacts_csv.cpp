#include "contacts/contacts_csv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/text.h"
#include "platform/unique_fd.h"

namespace corvina::contacts {
namespace {

constexpr std::size_t kMaxRecordBytes = 8191;

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::string out;
  auto unit = [&](std::size_t i) -> char32_t {
    auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char32_t u = unit(i);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        platform::AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    platform::AppendUtf8(out, (u >= 0xD800 && u < 0xE000) ? 0xFFFD : u);
  }
  return out;
}

// Windows-1252 bytes 0x80..0x9F; the rest of the upper half is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    platform::AppendUtf8(out, c < 0x80 ? c : c < 0xA0 ? kCp1252High[c - 0x80] : c);
  }
  return out;
}

// The text as UTF-8 bytes (still possibly invalid per record).
std::string Decode(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return std::string(bytes.substr(3));
  if (bytes.starts_with("\xFF\xFE")) return Utf16ToUtf8(bytes.substr(2), false);
  if (bytes.starts_with("\xFE\xFF")) return Utf16ToUtf8(bytes.substr(2), true);
  if (bytes.size() >= 2 && bytes[0] != 0 && bytes[1] == 0) return Utf16ToUtf8(bytes, false);
  return std::string(bytes);
}

std::string CsvField(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += "\"\"";
    else if (static_cast<unsigned char>(c) <= 32) out += ' ';
    else out += c;
  }
  return out + "\"";
}

bool ReadFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream s;
  s << in.rdbuf();
  out = s.str();
  return !in.bad();
}

}  // namespace

std::string FormatContactsCsv(const std::vector<Contact>& contacts) {
  std::string out;
  for (const auto& c : contacts) {
    out += CsvField(c.firstName) + "," + CsvField(c.lastName) + "," + CsvField(c.phone) + "," +
           CsvField(c.email) + "\r\n";
  }
  return out;
}

std::vector<Contact> ParseContactsCsv(std::string_view raw) {
  const std::string text = Decode(raw);
  std::vector<Contact> contacts;
  std::size_t i = 0;
  while (i < text.size()) {
    enum { kStart, kUnquoted, kQuoted, kAfter } state = kStart;
    std::vector<std::string> fields(1);
    std::size_t used = 0;  // bytes of the record taken so far
    for (; i < text.size(); ++i) {
      char c = text[i];
      bool lineEnd = c == '\r' || c == '\n';
      bool keep = used < kMaxRecordBytes;
      if (lineEnd && state != kQuoted) {
        i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        break;
      }
      ++used;
      if (state == kQuoted) {
        if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
          if (keep) fields.back() += '"';
          ++i;
        } else if (c == '"') {
          state = kAfter;
        } else if (lineEnd) {
          if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
          if (keep) fields.back() += ' ';
        } else if (keep) {
          fields.back() += c;
        }
      } else if (c == ',') {
        if (keep) fields.emplace_back();
        state = kStart;
      } else if (state == kStart && c == '"') {
        state = kQuoted;
      } else if (state != kAfter) {
        if (keep) fields.back() += c;
        state = kUnquoted;
      }
    }
    // Only the four columns count: a row with nothing in them is empty.
    fields.resize(4);
    bool valid = true;
    bool empty = true;
    for (const auto& f : fields) {
      valid = valid && platform::IsValidUtf8(f);
      empty = empty && f.empty();
    }
    if (empty) continue;
    for (auto& f : fields) {
      if (!valid) f = Cp1252ToUtf8(f);
      std::replace(f.begin(), f.end(), '\0', ' ');
      f = std::string(platform::CutToUtf16Units(f, platform::kMaxTextUnits));
    }
    contacts.push_back({fields[0], fields[1], fields[2], fields[3]});
  }
  return contacts;
}

bool ExportContactsCsv(ContactStore& store, const std::string& path, std::string& error) {
  std::vector<Contact> all;
  for (std::size_t i = 0, n = store.Count(); i < n; ++i) all.push_back(store.At(i));
  std::string bytes = FormatContactsCsv(all);
  std::string temp = path + ".XXXXXX";
  platform::UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd) {
    error = "Cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  ::fchmod(fd.Get(), 0644);
  std::string_view rest = bytes;
  while (!rest.empty()) {
    ssize_t n = ::write(fd.Get(), rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  if (!rest.empty() || ::fsync(fd.Get()) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
    error = "Cannot write " + path + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

long ImportContactsCsv(ContactStore& store, const std::string& path, ProgressCallback* progress,
                       std::string& error) {
  std::string bytes;
  if (!ReadFile(path, bytes)) {
    error = "Cannot read " + path;
    return -1;
  }
  std::vector<Contact> rows = ParseContactsCsv(bytes);
  std::set<std::string> names;
  for (std::size_t i = 0, n = store.Count(); i < n; ++i) {
    Contact c = store.At(i);
    names.insert(platform::ToLowerAscii(DisplayName(c.firstName, c.lastName)));
  }
  if (progress != nullptr) progress->Begin("Importing Contacts");
  // The new contacts are written in batches, at least every 250 ms and at the end, so a
  // large file does not rewrite the address book once per row.
  long added = 0;
  std::vector<Contact> pending;
  auto lastWrite = std::chrono::steady_clock::now();
  auto write = [&] {
    std::size_t done = store.AddAll(pending);
    added += static_cast<long>(done);
    bool ok = done == pending.size();
    pending.clear();
    lastWrite = std::chrono::steady_clock::now();
    return ok;
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (progress != nullptr && progress->Cancelled()) break;
    std::string name = platform::FormatText("%s %s", rows[i].firstName.c_str(),
                                            rows[i].lastName.c_str());
    if (progress != nullptr) progress->Update(name, static_cast<double>(i) / rows.size());
    if (!names.insert(platform::ToLowerAscii(name)).second) continue;
    pending.push_back(rows[i]);
    if (std::chrono::steady_clock::now() - lastWrite >= std::chrono::milliseconds(250) && !write()) {
      error = "Cannot write the address book";
      return -1;
    }
  }
  if (!write()) {
    error = "Cannot write the address book";
    return -1;
  }
  if (progress != nullptr) progress->Update("", 1.0);
  return added;
}

}  // namespace corvina::contacts
