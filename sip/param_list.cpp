#include "sip/param_list.h"

#include <algorithm>

#include "sip/text_scan.h"

namespace corvina::sip {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StaysUnencoded(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '!' || c == '~';
}

}  // namespace

std::string_view ParamList::Find(std::string_view name, std::string_view fallback) const {
  for (const Entry& e : entries_) {
    if (e.name == name) return e.value;
  }
  return fallback;
}

bool ParamList::Has(std::string_view name) const {
  return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.name == name; });
}

void ParamList::Remove(std::string_view name) {
  std::erase_if(entries_, [&](const Entry& e) { return e.name == name; });
}

std::string PercentDecode(std::string_view text) {
  if (text.find('%') == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string PercentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (StaysUnencoded(c)) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

void ParsePairs(std::string_view text, char separator, ParamList& out) {
  while (!text.empty()) {
    std::size_t end = text.find(separator);
    std::string_view pair = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    std::size_t eq = pair.find('=');
    std::string_view name = TrimWhite(pair.substr(0, eq));
    std::string_view value = eq == std::string_view::npos ? std::string_view{} : TrimWhite(pair.substr(eq + 1));
    if (name.empty()) continue;
    out.Add(PercentDecode(name), PercentDecode(value));
  }
}

}  // namespace corvina::sip
