#include "sip/name_addr.h"

#include "platform/text.h"
#include "sip/text_scan.h"
#include "sip/wire_format.h"
#include "sip/wire_texts.h"

namespace corvina::sip {

NameAddr ParseNameAddr(std::string_view text) {
  NameAddr result;
  std::size_t i = 0;
  while (i < text.size() && IsWhiteOrControl(text[i])) ++i;

  bool quoted = false;
  if (i < text.size() && text[i] == '"') {
    quoted = true;
    std::string name;
    ++i;
    while (i < text.size() && text[i] != '"') {
      // A backslash escapes the next character (quoted-pair).
      if (text[i] == '\\' && i + 1 < text.size()) ++i;
      name.push_back(text[i]);
      ++i;
    }
    if (i < text.size()) ++i;  // closing quote
    while (i < text.size() && IsWhiteOrControl(text[i])) ++i;
    result.displayName = Limited(name, platform::kMaxTextUnits);
  }

  std::string_view rest = text.substr(i);
  std::string_view uri;
  std::string_view paramText;
  bool hasParams = false;
  std::size_t open = rest.find('<');
  if (open != std::string_view::npos) {
    if (!quoted) result.displayName = Limited(TrimTrailingWhite(rest.substr(0, open)), platform::kMaxTextUnits);
    std::size_t close = rest.find('>', open + 1);
    uri = rest.substr(open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
    if (close != std::string_view::npos) {
      std::size_t semi = rest.find(';', close + 1);
      if (semi != std::string_view::npos) {
        paramText = rest.substr(semi + 1);
        hasParams = true;
      }
    }
  } else {
    std::size_t semi = rest.find(';');
    uri = TrimTrailingWhite(rest.substr(0, semi));
    if (semi != std::string_view::npos) {
      paramText = rest.substr(semi + 1);
      hasParams = true;
    }
  }

  if (uri.find(':') == std::string_view::npos) result.uri = "sip:";
  result.uri += uri;
  if (hasParams) ParsePairs(paramText, ';', result.params);
  return result;
}

std::string QuoteDisplayName(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 2);
  out.push_back('"');
  for (char c : name) {
    if (c == '\r' || c == '\n') continue;
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string FormatNameAddr(std::string_view displayName, std::string_view uri) {
  if (displayName.empty()) return FormatWire(wire::kBareAddress, {uri});
  return FormatWire(wire::kNamedAddress, {QuoteDisplayName(displayName), uri});
}

}  // namespace corvina::sip
