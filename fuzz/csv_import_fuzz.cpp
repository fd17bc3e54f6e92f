// Any bytes as an imported CSV file: every field is well-formed UTF-8 of at most 259 units
// without CR, LF or NUL, and exporting the contacts and reading them back gives them again,
// up to the characters of code 32 or less that the export writes as spaces.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "contacts/contacts_csv.h"
#include "platform/text.h"

namespace {

void Check(const std::string& field) {
  if (!corvina::platform::IsValidUtf8(field)) std::abort();
  if (corvina::platform::Utf16Length(field) > corvina::platform::kMaxTextUnits) std::abort();
  if (field.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) std::abort();
}

std::string Spaced(std::string s) {
  for (char& c : s) {
    if (static_cast<unsigned char>(c) <= 32) c = ' ';
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvina::contacts;
  std::vector<Contact> first = ParseContactsCsv(std::string_view(reinterpret_cast<const char*>(data), size));
  for (Contact& c : first) {
    for (std::string* f : {&c.firstName, &c.lastName, &c.phone, &c.email}) {
      Check(*f);
      *f = Spaced(*f);
    }
  }
  if (ParseContactsCsv(FormatContactsCsv(first)) != first) std::abort();
  return 0;
}
