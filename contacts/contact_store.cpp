#include "contacts/contact_store.h"

#include "platform/text.h"

namespace corvina::contacts {

std::string DisplayName(const std::string& firstName, const std::string& lastName) {
  if (firstName.empty() && lastName.empty()) return {};
  std::string name = firstName + " " + lastName;
  return std::string(platform::CutToUtf16Units(name, 520));
}

Contact ContactStore::At(std::size_t index) {
  if (!Seek(index)) return {};
  return Contact{FirstName(), LastName(), Phone(), Email()};
}

long ContactStore::IdAt(std::size_t index) {
  if (!Seek(index)) return -1;
  return CurrentId();
}

}  // namespace corvina::contacts
