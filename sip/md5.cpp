#include "sip/md5.h"

#include <cmath>
#include <cstring>

namespace corvina::sip {
namespace {

// The 64 additive constants: the integer part of 2^32 * |sin(i + 1)|, i in radians.
const std::array<std::uint32_t, 64>& SineTable() {
  static const std::array<std::uint32_t, 64> table = [] {
    std::array<std::uint32_t, 64> t{};
    for (int i = 0; i < 64; ++i) t[i] = static_cast<std::uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
    return t;
  }();
  return table;
}

// Left-rotation amounts, four per round.
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

inline std::uint32_t Rotate(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

Md5::Md5() : state_{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u} {}

void Md5::Transform(const std::uint8_t* block) {
  const auto& k = SineTable();
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    x[i] = static_cast<std::uint32_t>(block[i * 4]) | static_cast<std::uint32_t>(block[i * 4 + 1]) << 8 |
           static_cast<std::uint32_t>(block[i * 4 + 2]) << 16 | static_cast<std::uint32_t>(block[i * 4 + 3]) << 24;
  }
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    const int round = i / 16;
    std::uint32_t f;
    int word;
    switch (round) {
      case 0:
        f = (b & c) | (~b & d);
        word = i;
        break;
      case 1:
        f = (b & d) | (c & ~d);
        word = (5 * i + 1) % 16;
        break;
      case 2:
        f = b ^ c ^ d;
        word = (3 * i + 5) % 16;
        break;
      default:
        f = c ^ (b | ~d);
        word = (7 * i) % 16;
        break;
    }
    std::uint32_t next = b + Rotate(a + f + k[i] + x[word], kShift[round][i % 4]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void Md5::Update(std::string_view data) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
  std::size_t n = data.size();
  std::size_t used = static_cast<std::size_t>(length_ % 64);
  length_ += n;
  if (used > 0) {
    std::size_t take = 64 - used < n ? 64 - used : n;
    std::memcpy(buffer_.data() + used, p, take);
    p += take;
    n -= take;
    if (used + take < 64) return;
    Transform(buffer_.data());
  }
  for (; n >= 64; n -= 64, p += 64) Transform(p);
  if (n > 0) std::memcpy(buffer_.data(), p, n);
}

Md5::Digest Md5::Finish() {
  const std::uint64_t bits = length_ * 8;
  static constexpr char kPad[64] = {static_cast<char>(0x80)};
  std::size_t used = static_cast<std::size_t>(length_ % 64);
  std::size_t padLength = used < 56 ? 56 - used : 120 - used;
  Update(std::string_view(kPad, padLength));
  char lengthBytes[8];
  for (int i = 0; i < 8; ++i) lengthBytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
  Update(std::string_view(lengthBytes, 8));
  Digest out;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) out[i * 4 + j] = static_cast<std::uint8_t>((state_[i] >> (8 * j)) & 0xFF);
  }
  return out;
}

std::string Md5Hex(std::string_view data) {
  static constexpr char kHex[] = "0123456789abcdef";
  Md5 md5;
  md5.Update(data);
  Md5::Digest d = md5.Finish();
  std::string out;
  out.reserve(32);
  for (std::uint8_t byte : d) {
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 0x0F]);
  }
  return out;
}

}  // namespace corvina::sip
