#include "platform/base64.h"

#include <cstdint>

namespace corvina::platform {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SixBits(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsSkipped(char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                          static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                          static_cast<unsigned char>(bytes[i + 2]);
    out.push_back(kAlphabet[group >> 18]);
    out.push_back(kAlphabet[(group >> 12) & 63]);
    out.push_back(kAlphabet[(group >> 6) & 63]);
    out.push_back(kAlphabet[group & 63]);
  }
  std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (rest == 2) group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out.push_back(kAlphabet[group >> 18]);
    out.push_back(kAlphabet[(group >> 12) & 63]);
    out.push_back(rest == 2 ? kAlphabet[(group >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3);
  std::uint32_t group = 0;
  int count = 0;    // sextets in the current group
  int padding = 0;  // '=' seen in the current group
  bool ended = false;
  for (char c : text) {
    if (IsSkipped(c)) continue;
    if (ended) return std::nullopt;  // nothing may follow a padded group
    if (c == '=') {
      if (count < 2) return std::nullopt;
      ++padding;
      ++count;
      group <<= 6;
    } else {
      int v = SixBits(c);
      if (v < 0 || padding > 0) return std::nullopt;
      group = group << 6 | static_cast<std::uint32_t>(v);
      ++count;
    }
    if (count == 4) {
      out.push_back(static_cast<char>(group >> 16));
      if (padding < 2) out.push_back(static_cast<char>((group >> 8) & 0xFF));
      if (padding < 1) out.push_back(static_cast<char>(group & 0xFF));
      ended = padding > 0;
      group = 0;
      count = 0;
      padding = 0;
    }
  }
  if (count != 0) return std::nullopt;
  return out;
}

}  // namespace corvina::platform
