#include "contacts/contact_rules.h"

#include "platform/text.h"

namespace corvina::contacts {
namespace {

void Strip(std::string& s) {
  std::size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) {
    s.clear();
    return;
  }
  s = s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

bool IsValidEmail(const std::string& email) {
  std::size_t at = email.rfind('@');
  if (at == std::string::npos || email.find('@') == 0) return false;
  std::size_t dot = email.rfind('.');
  return dot != std::string::npos && dot > at && email.size() - dot - 1 >= 2;
}

std::optional<std::string> CheckContact(ContactStore& store, Contact& c,
                                        std::optional<std::size_t> editedIndex) {
  for (std::string* f : {&c.firstName, &c.lastName, &c.phone, &c.email}) {
    *f = std::string(platform::CutToUtf16Units(*f, 260));
    Strip(*f);
  }
  if (!c.email.empty() && !IsValidEmail(c.email)) return kInvalidEmailText;
  if (c.firstName.empty() && c.lastName.empty()) return kInvalidNameText;
  const std::string name = c.firstName + " " + c.lastName;
  for (std::size_t i = 0, n = store.Count(); i < n; ++i) {
    if (editedIndex && *editedIndex == i) continue;
    Contact other = store.At(i);
    if (DisplayName(other.firstName, other.lastName) == name) return kDuplicateNameText;
  }
  return std::nullopt;
}

std::optional<std::string> SaveContact(ContactStore& store, Contact contact,
                                       std::optional<std::size_t> editedIndex) {
  if (auto refusal = CheckContact(store, contact, editedIndex)) return refusal;
  bool ok = editedIndex ? store.Update(*editedIndex, contact) : store.Add(contact) >= 0;
  if (!ok) return std::string("The address book could not be saved.");
  return std::nullopt;
}

}  // namespace corvina::contacts
