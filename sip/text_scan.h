// Small scanning helpers shared by the SIP parsers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace corvina::sip {

inline bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

// White space in the loose sense of the address parsers: every byte up to 0x20.
inline bool IsWhiteOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }

inline std::string_view TrimWhite(std::string_view s) {
  while (!s.empty() && IsSpaceOrTab(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpaceOrTab(s.back())) s.remove_suffix(1);
  return s;
}

inline std::string_view TrimTrailingWhite(std::string_view s) {
  while (!s.empty() && IsSpaceOrTab(s.back())) s.remove_suffix(1);
  return s;
}

// The text cut to at most `maxUnits` UTF-16 units, on a character boundary. No byte makes more
// than one unit, so text of at most `maxUnits` bytes is kept whole without looking.
inline std::string Limited(std::string_view s, std::size_t maxUnits) {
  if (s.size() <= maxUnits) return std::string(s);
  return std::string(platform::CutToUtf16Units(s, maxUnits));
}

}  // namespace corvina::sip
