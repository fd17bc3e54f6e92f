#include "media/lumo_stream.h"

#include <algorithm>

namespace corvina::media {

LumoStreamReader::LumoStreamReader(bool skipValue) : phase_(skipValue ? Phase::kHeader : Phase::kValue) {}

std::size_t LumoStreamReader::Wanted() const {
  switch (phase_) {
    case Phase::kValue:
      return kLumoValueBytes - itemHave_;
    case Phase::kHeader:
      return kLumoHeaderBytes - itemHave_;
    case Phase::kPayload:
      return payloadLeft_;
    case Phase::kEnded:
      break;
  }
  return 0;
}

std::size_t LumoStreamReader::Feed(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& payload) {
  std::size_t used = 0;
  while (used < bytes.size() && phase_ != Phase::kEnded) {
    if (phase_ == Phase::kPayload) {
      const std::size_t take = std::min(payloadLeft_, bytes.size() - used);
      payload.insert(payload.end(), bytes.begin() + static_cast<std::ptrdiff_t>(used),
                     bytes.begin() + static_cast<std::ptrdiff_t>(used + take));
      used += take;
      payloadLeft_ -= take;
      if (payloadLeft_ == 0) phase_ = Phase::kHeader;
      continue;
    }
    item_[itemHave_++] = bytes[used++];
    if (Wanted() != 0) continue;
    itemHave_ = 0;
    if (phase_ == Phase::kValue) {
      value_ = static_cast<std::uint32_t>(item_[0]) | (static_cast<std::uint32_t>(item_[1]) << 8) |
               (static_cast<std::uint32_t>(item_[2]) << 16) | (static_cast<std::uint32_t>(item_[3]) << 24);
      if (value_ < kLumoMinimumValue) {
        phase_ = Phase::kEnded;
        ending_ = Ending::kRefused;
      } else {
        phase_ = Phase::kHeader;
      }
      continue;
    }
    // A header: byte 0 is not interpreted; bytes 1-2 carry the payload length.
    const std::size_t length = static_cast<std::size_t>(item_[1]) | (static_cast<std::size_t>(item_[2]) << 8);
    if (length > kLumoMaxFrameBytes) {
      phase_ = Phase::kEnded;
      ending_ = Ending::kEndOfStream;
    } else if (length > 0) {
      payloadLeft_ = length;
      phase_ = Phase::kPayload;
    }
  }
  return used;
}

}  // namespace corvina::media
