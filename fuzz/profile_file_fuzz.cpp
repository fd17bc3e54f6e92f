// Any bytes as a profile file: what is parsed, written back and parsed again is the same,
// whenever every written line fits the 1103 bytes a line keeps.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "contacts/profile_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvina::contacts;
  ProfileData first = ParseProfile(std::string_view(reinterpret_cast<const char*>(data), size));
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
