#include "contacts/ini_contact_store.h"

#include <atomic>
#include <set>

#include "contacts/profile_file.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace corvina::contacts {
namespace {

constexpr const char* kSection = "contacts";
constexpr const char* kFields[] = {"id", "firstname", "lastname", "phone", "email"};

std::string EntryKey(std::size_t i, const char* field) {
  return "entry" + std::to_string(i) + field;
}

std::string Get(const ProfileData& d, const std::string& key) {
  const std::string* v = FindProfileValue(d, kSection, key);
  return v ? *v : std::string();
}

std::size_t EntryCount(const ProfileData& d) {
  long n = platform::ParseLeadingLong(Get(d, "entrycount"));
  std::size_t keys = 0;
  for (const auto& s : d) {
    if (platform::EqualsIgnoreCase(s.Name(), kSection)) keys = s.Keys().size();
  }
  if (n < 0) return 0;
  return std::min(static_cast<std::size_t>(n), keys);
}

// The identifiers of entries 0 .. n-1, in one pass over the section.
std::set<long> UsedIds(const ProfileData& d, std::size_t n) {
  std::set<long> used;
  for (const auto& s : d) {
    if (!platform::EqualsIgnoreCase(s.Name(), kSection)) continue;
    for (const auto& k : s.Keys()) {
      std::string_view name = k.name;
      if (name.size() < 8 || !platform::StartsWithIgnoreCase(name, "entry") ||
          !platform::EqualsIgnoreCase(name.substr(name.size() - 2), "id")) {
        continue;
      }
      std::string_view digits = name.substr(5, name.size() - 7);
      if (digits.find_first_not_of("0123456789") != std::string_view::npos) continue;
      if (static_cast<std::size_t>(platform::ParseLeadingLong(digits)) < n) {
        used.insert(platform::ParseLeadingLong(k.value));
      }
    }
  }
  return used;
}

// Sets a key, or deletes it for an empty value.
void Put(ProfileData& d, const std::string& key, const std::string& value) {
  if (value.empty()) {
    SetProfileValue(d, kSection, key, std::nullopt);
  } else {
    SetProfileValue(d, kSection, key, value);
  }
}

void PutFields(ProfileData& d, std::size_t i, const Contact& c) {
  Put(d, EntryKey(i, "firstname"), c.firstName);
  Put(d, EntryKey(i, "lastname"), c.lastName);
  Put(d, EntryKey(i, "phone"), c.phone);
  Put(d, EntryKey(i, "email"), c.email);
}

}  // namespace

IniContactStore::IniContactStore(std::string path) : path_(std::move(path)) {}

IniContactStore::~IniContactStore() { profile::Flush(path_); }

int IniContactStore::Add(const Contact& contact) {
  return AddAll({contact}) == 1 ? static_cast<int>(Count()) - 1 : -1;
}

std::size_t IniContactStore::AddAll(const std::vector<Contact>& contacts) {
  if (contacts.empty()) return 0;
  bool ok = profile::Edit(path_, [&](ProfileData& d) {
    std::size_t n = EntryCount(d);
    std::set<long> used = UsedIds(d, n);
    long id = 0;
    for (const Contact& contact : contacts) {
      while (used.count(id) != 0) ++id;
      used.insert(id);
      Put(d, EntryKey(n, "id"), std::to_string(id));
      PutFields(d, n, contact);
      ++n;
    }
    Put(d, "entrycount", std::to_string(n));
  });
  return ok ? contacts.size() : 0;
}

bool IniContactStore::Delete(long id) {
  bool found = false;
  bool ok = profile::Edit(path_, [&](ProfileData& d) {
    std::size_t n = EntryCount(d);
    std::size_t k = 0;
    while (k < n && (Get(d, EntryKey(k, "id")).empty() ||
                     platform::ParseLeadingLong(Get(d, EntryKey(k, "id"))) != id)) {
      ++k;
    }
    if (k == n) return;
    found = true;
    for (std::size_t j = k; j + 1 < n; ++j) {
      for (const char* f : kFields) Put(d, EntryKey(j, f), Get(d, EntryKey(j + 1, f)));
    }
    for (const char* f : kFields) Put(d, EntryKey(n - 1, f), "");
    Put(d, "entrycount", std::to_string(n - 1));
  });
  return ok && found;
}

bool IniContactStore::Update(std::size_t index, const Contact& contact) {
  bool inRange = false;
  bool ok = profile::Edit(path_, [&](ProfileData& d) {
    if (index >= EntryCount(d)) return;
    inRange = true;
    PutFields(d, index, contact);
  });
  return ok && inRange;
}

long IniContactStore::CurrentId() {
  if (position_ >= Count()) return -1;
  return platform::ParseLeadingLong(Field("id"));
}

std::size_t IniContactStore::Count() {
  std::size_t n = 0;
  profile::Read(path_, [&](const ProfileData& d) { n = EntryCount(d); });
  return n;
}

bool IniContactStore::Seek(std::size_t index) {
  if (index >= Count()) return false;
  position_ = index;
  return true;
}

std::string IniContactStore::Field(const char* name) {
  return profile::ReadString(path_, kSection, EntryKey(position_, name));
}

std::unique_ptr<ContactStore> OpenContactStore(const platform::Settings& settings,
                                               const std::string& dataFolder,
                                               platform::LogSink& log) {
  if (settings.GetSettingString("Settings", "AddressBookLocation", "") == "1") {
    static std::atomic<bool> logged{false};
    if (!logged.exchange(true)) {
      log.Log("No messaging contacts on this system: using the address book file", 1);
    }
  }
  platform::EnsureFolder(dataFolder);
  return std::make_unique<IniContactStore>(dataFolder + "/contacts.ini");
}

}  // namespace corvina::contacts
