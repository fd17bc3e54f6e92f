#include "platform/text.h"

#include <climits>
#include <cstdio>

namespace corvina::platform {
namespace {

// Length in bytes of the well-formed UTF-8 sequence at the start of `s`, or 0 when the first
// byte does not start one (then it stands alone as one malformed byte). `units` receives the
// number of UTF-16 code units the sequence takes.
std::size_t SequenceLength(std::string_view s, std::size_t* units) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  *units = 1;
  if (b0 < 0x80) return 1;
  std::size_t len;
  unsigned int cp;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    cp = b0 & 0x0Fu;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    cp = b0 & 0x07u;
  } else {
    return 0;
  }
  if (s.size() < len) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0u) != 0x80u) return 0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
  if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
  if (len == 4) *units = 2;
  return len;
}

}  // namespace

std::size_t Utf16Length(std::string_view utf8) {
  std::size_t total = 0;
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t units;
    std::size_t len = SequenceLength(utf8.substr(i), &units);
    i += len == 0 ? 1 : len;
    total += units;
  }
  return total;
}

std::string_view CutToUtf16Units(std::string_view utf8, std::size_t maxUnits) {
  std::size_t used = 0;
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t units;
    std::size_t len = SequenceLength(utf8.substr(i), &units);
    if (len == 0) len = 1;
    if (used + units > maxUnits) break;
    used += units;
    i += len;
  }
  return utf8.substr(0, i);
}

std::string_view CutToBytes(std::string_view utf8, std::size_t maxBytes) {
  if (utf8.size() <= maxBytes) return utf8;
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t units;
    std::size_t len = SequenceLength(utf8.substr(i), &units);
    if (len == 0) len = 1;
    if (i + len > maxBytes) break;
    i += len;
  }
  return utf8.substr(0, i);
}

bool IsValidUtf8(std::string_view utf8) {
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t units;
    std::size_t len = SequenceLength(utf8.substr(i), &units);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string SanitizeUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t units;
    std::size_t len = SequenceLength(utf8.substr(i), &units);
    if (len == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(utf8.substr(i, len));
      i += len;
    }
  }
  return out;
}

std::string ToUtf16Le(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  auto put = [&out](unsigned int unit) {
    out += static_cast<char>(unit & 0xFFu);
    out += static_cast<char>(unit >> 8);
  };
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t units;
    std::size_t len = SequenceLength(utf8.substr(i), &units);
    if (len == 0) {
      put(0xFFFD);
      ++i;
      continue;
    }
    unsigned int cp = static_cast<unsigned char>(utf8[i]);
    if (len > 1) {
      cp &= 0x7Fu >> len;
      for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 | (cp >> 10));
      put(0xDC00 | (cp & 0x3FFu));
    } else {
      put(cp);
    }
    i += len;
  }
  return out;
}

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = FormatTextV(format, args);
  va_end(args);
  return out;
}

std::string FormatTextV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (needed > 0) {
    out.resize(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<std::size_t>(needed));
  }
  return out;
}

std::string ToLowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ToLowerAscii(c);
  return out;
}

long ParseLeadingLong(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' || s[i] == '\v' || s[i] == '\f')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  long value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    int digit = s[i] - '0';
    if (!negative) {
      if (value > (LONG_MAX - digit) / 10) return LONG_MAX;
      value = value * 10 + digit;
    } else {
      if (value < (LONG_MIN + digit) / 10) return LONG_MIN;
      value = value * 10 - digit;
    }
  }
  return value;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace corvina::platform
