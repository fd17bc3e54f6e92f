// Any bytes as the answer to a STUN binding request, for the transaction counters found in
// the bytes themselves and a fixed one: the reader must not read outside the datagram, and a
// mapped address must only come from a datagram recognised as the answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "call/stun_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvina::call;
  std::span<const std::uint8_t> datagram(data, size);
  std::uint32_t fromBytes = 0;
  if (size >= 12) fromBytes = data[8] | (data[9] << 8) | (data[10] << 16) | (static_cast<std::uint32_t>(data[11]) << 24);
  for (std::uint32_t counter : {fromBytes, 1u}) {
    auto mapped = ReadStunMappedAddress(datagram, counter);
    if (mapped && !IsStunAnswerTo(datagram, counter)) std::abort();
  }
  return 0;
}
