// Text helpers. Text is UTF-8 in std::string throughout; limits that the phone expresses in
// characters count UTF-16 code units (a character outside the Basic Multilingual Plane counts
// two), and every cut lands on a character boundary.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

namespace corvina::platform {

// The longest text a fixed field holds: 259 characters plus the terminator.
inline constexpr std::size_t kMaxTextUnits = 259;

// Number of UTF-16 code units the UTF-8 text would take. A malformed byte counts as one unit
// (it would become one replacement character).
std::size_t Utf16Length(std::string_view utf8);

// The longest prefix of `utf8` that takes at most `maxUnits` UTF-16 code units. Never ends
// inside a multi-byte sequence or between the two halves of a surrogate pair.
std::string_view CutToUtf16Units(std::string_view utf8, std::size_t maxUnits);

// The longest prefix of `utf8` of at most `maxBytes` bytes that does not end inside a
// multi-byte sequence.
std::string_view CutToBytes(std::string_view utf8, std::size_t maxBytes);

// True when `utf8` is well-formed UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool IsValidUtf8(std::string_view utf8);

// `utf8` with every malformed byte replaced by U+FFFD, so that what is written to a file or
// the wire is always well-formed.
std::string SanitizeUtf8(std::string_view utf8);

// `utf8` as UTF-16 little-endian bytes without a byte-order mark: two bytes per code unit, a
// surrogate pair for a character beyond the Basic Multilingual Plane, U+FFFD for a malformed
// byte.
std::string ToUtf16Le(std::string_view utf8);

// Appends the UTF-8 bytes of the code point `c` (up to U+10FFFF) to `out`.
void AppendUtf8(std::string& out, char32_t c);

// printf-style formatting into a string of whatever length the result needs.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatTextV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// ASCII-only case folding, as used for protocol tokens and key names. The comparisons are
// inline: the SIP layer runs them for every header of every datagram.
inline char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
std::string ToLowerAscii(std::string_view s);
inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  }
  return true;
}
inline bool StartsWithIgnoreCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsIgnoreCase(s.substr(0, prefix.size()), prefix);
}

// Decimal reading as the settings and protocol fields use it: optional white space, an
// optional sign, then the leading digits; anything else stops the number. No digits reads as
// 0. Saturates at the range of long instead of overflowing.
long ParseLeadingLong(std::string_view s);

}  // namespace corvina::platform
