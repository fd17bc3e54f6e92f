#include "call/stun_message.h"

#include <algorithm>

namespace corvina::call {
namespace {

constexpr std::uint16_t kBindingRequest = 0x0001;
constexpr std::uint16_t kBindingResponse = 0x0101;
constexpr std::uint16_t kMappedAddress = 0x0001;
constexpr std::uint16_t kChangeRequest = 0x0003;
constexpr std::uint8_t kChangeIpFlag = 0x04;
constexpr std::uint8_t kFamilyIpv4 = 1;
constexpr std::size_t kCounterOffset = 8;

std::uint16_t Read16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

}  // namespace

std::array<std::uint8_t, kStunHeaderBytes> BuildStunBindingRequest(std::uint32_t transaction) {
  std::array<std::uint8_t, kStunHeaderBytes> request{};
  request[0] = kBindingRequest >> 8;
  request[1] = kBindingRequest & 0xFF;
  for (int i = 0; i < 4; ++i) request[kCounterOffset + i] = static_cast<std::uint8_t>(transaction >> (8 * i));
  return request;
}

std::array<std::uint8_t, kStunChangeRequestBytes> BuildStunChangeIpRequest(std::uint32_t transaction) {
  std::array<std::uint8_t, kStunChangeRequestBytes> request{};
  const auto header = BuildStunBindingRequest(transaction);
  std::copy(header.begin(), header.end(), request.begin());
  request[3] = kStunChangeRequestBytes - kStunHeaderBytes;  // message length 8
  request[kStunHeaderBytes + 1] = kChangeRequest;
  request[kStunHeaderBytes + 3] = 4;  // attribute length
  request[kStunHeaderBytes + 7] = kChangeIpFlag;
  return request;
}

bool IsStunAnswerTo(std::span<const std::uint8_t> datagram, std::uint32_t transaction) {
  if (datagram.size() < kStunHeaderBytes || Read16(datagram, 0) != kBindingResponse) return false;
  for (int i = 0; i < 4; ++i) {
    if (datagram[kCounterOffset + i] != static_cast<std::uint8_t>(transaction >> (8 * i))) return false;
  }
  return true;
}

std::optional<platform::SocketAddress> ReadStunMappedAddress(std::span<const std::uint8_t> datagram,
                                                             std::uint32_t transaction) {
  if (!IsStunAnswerTo(datagram, transaction)) return std::nullopt;
  std::size_t end = kStunHeaderBytes + Read16(datagram, 2);
  if (end > datagram.size()) end = datagram.size();
  std::size_t at = kStunHeaderBytes;
  while (at + 4 <= end) {
    const std::uint16_t type = Read16(datagram, at);
    std::size_t length = Read16(datagram, at + 2);
    const std::size_t value = at + 4;
    if (length > end - value) length = end - value;
    if (type == kMappedAddress && length >= 8 && datagram[value + 1] == kFamilyIpv4) {
      platform::SocketAddress mapped;
      mapped.port = Read16(datagram, value + 2);
      mapped.address = (static_cast<std::uint32_t>(datagram[value + 4]) << 24) |
                       (static_cast<std::uint32_t>(datagram[value + 5]) << 16) |
                       (static_cast<std::uint32_t>(datagram[value + 6]) << 8) | datagram[value + 7];
      return mapped;
    }
    at = value + length;
  }
  return std::nullopt;
}

}  // namespace corvina::call
