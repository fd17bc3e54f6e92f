#include "sip/route_set.h"

#include "platform/text.h"
#include "sip/text_scan.h"

namespace corvina::sip {

std::vector<std::string_view> SplitRouteEntries(std::string_view list) {
  std::vector<std::string_view> entries;
  auto take = [&](std::size_t from, std::size_t to) {
    std::string_view entry = TrimWhite(list.substr(from, to - from));
    if (!entry.empty()) entries.push_back(entry);
  };
  int depth = 0;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    char c = list[i];
    if (quoted) {
      if (c == '\\') ++i;
      else if (c == '"') quoted = false;
      continue;
    }
    if (c == '"') {
      quoted = true;
    } else if (c == '<') {
      ++depth;
    } else if (c == '>') {
      if (depth > 0) --depth;
    } else if (c == ',' && depth == 0) {
      take(start, i);
      start = i + 1;
    }
  }
  if (start < list.size()) take(start, list.size());
  return entries;
}

std::string JoinRouteEntries(const std::vector<std::string_view>& entries) {
  std::string out;
  std::size_t units = 0;
  for (std::string_view entry : entries) {
    std::size_t more = platform::Utf16Length(entry) + (out.empty() ? 0 : 1);
    if (units + more > kMaxRouteSetUnits) break;
    if (!out.empty()) out.push_back(',');
    out += entry;
    units += more;
  }
  return out;
}

}  // namespace corvina::sip
