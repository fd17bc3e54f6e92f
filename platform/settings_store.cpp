#include "platform/settings_store.h"

namespace corvina::platform {

std::vector<std::string_view> SplitKeyPath(std::string_view keyPath) {
  std::vector<std::string_view> names;
  std::size_t start = 0;
  while (start <= keyPath.size()) {
    std::size_t end = keyPath.find('\\', start);
    if (end == std::string_view::npos) end = keyPath.size();
    if (end > start) names.push_back(keyPath.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

std::string NormalizeKeyPath(std::string_view keyPath) {
  std::string out;
  for (std::string_view name : SplitKeyPath(keyPath)) {
    if (!out.empty()) out += '\\';
    out.append(name);
  }
  return out;
}

}  // namespace corvina::platform
