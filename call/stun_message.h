// The classic (RFC 3489) STUN binding request and the reader of its answer. The request's
// transaction ID is four zero bytes, a 32-bit counter in little-endian order and eight zero
// bytes; an answer is recognised by its type and by the counter bytes alone.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/socket_address.h"

namespace corvina::call {

inline constexpr std::size_t kStunHeaderBytes = 20;
inline constexpr std::size_t kStunMaxDatagram = 2048;
inline constexpr std::size_t kStunChangeRequestBytes = 28;

// The 28-byte Binding Request carrying `transaction` and one CHANGE-REQUEST attribute asking the
// server to answer from its other IP address (the symmetric-NAT test).
std::array<std::uint8_t, kStunChangeRequestBytes> BuildStunChangeIpRequest(std::uint32_t transaction);

// The 20-byte Binding Request carrying `transaction`.
std::array<std::uint8_t, kStunHeaderBytes> BuildStunBindingRequest(std::uint32_t transaction);

// True when `datagram` is a Binding Response to the request carrying `transaction`.
bool IsStunAnswerTo(std::span<const std::uint8_t> datagram, std::uint32_t transaction);

// The mapped address of a Binding Response to `transaction`: the first MAPPED-ADDRESS
// attribute of at least 8 bytes with the IPv4 family. Attributes are walked within the
// message length, clipped to what was received. Nothing when the datagram is not that answer
// or carries no such attribute (XOR-MAPPED-ADDRESS alone counts as no answer).
std::optional<platform::SocketAddress> ReadStunMappedAddress(std::span<const std::uint8_t> datagram,
                                                             std::uint32_t transaction);

}  // namespace corvina::call
