// Any bytes as a profile file: what is parsed, written back and parsed again is the same,
// whenever every written line fits the 1103 bytes a line keeps; and each section's index finds
// every key by its name in upper case, also after every other key has been deleted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "contacts/profile_file.h"

namespace {

using namespace corvina::contacts;

std::string Upper(const std::string& s) {
  std::string out = s;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

void CheckIndex(const ProfileSection& s) {
  for (const ProfileKey& k : s.Keys()) {
    if (s.Find(Upper(k.name)) != &k) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ProfileData first = ParseProfile(std::string_view(reinterpret_cast<const char*>(data), size));
  for (ProfileSection& s : first) {
    CheckIndex(s);
    ProfileSection thinned = s;
    for (std::size_t i = 0; i < s.Keys().size(); i += 2) {
      if (!thinned.Erase(s.Keys()[i].name) || thinned.Find(s.Keys()[i].name) != nullptr) std::abort();
    }
    if (thinned.Keys().size() != s.Keys().size() / 2) std::abort();
    CheckIndex(thinned);
  }
  std::string written = SerializeProfile(first);
  std::size_t start = 0;
  while (start < written.size()) {
    std::size_t end = written.find("\r\n", start);
    if (end - start > 1103) return 0;
    start = end + 2;
  }
  if (ParseProfile(written) != first) std::abort();
  return 0;
}
