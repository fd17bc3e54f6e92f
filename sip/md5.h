// MD5 message digest (RFC 1321), for digest authentication.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvina::sip {

class Md5 {
 public:
  using Digest = std::array<std::uint8_t, 16>;

  Md5();
  void Update(std::string_view data);
  // Pads, appends the bit length and returns the digest; the object must not be updated after.
  Digest Finish();

 private:
  void Transform(const std::uint8_t* block);

  std::array<std::uint32_t, 4> state_;
  std::array<std::uint8_t, 64> buffer_{};
  std::uint64_t length_ = 0;  // bytes hashed so far
};

// The digest of `data` as 32 lower-case hexadecimal digits.
std::string Md5Hex(std::string_view data);

}  // namespace corvina::sip
