// RTP payload type numbers of the phone's codecs and events: the static assignments of the
// audio/video profile, and the dynamic numbers the phone itself offers.
#pragma once

#include <cstdint>

namespace corvina::media {

inline constexpr std::uint8_t kPayloadPcmu = 0;
inline constexpr std::uint8_t kPayloadG726Static = 2;  // the old static number of G726-32
inline constexpr std::uint8_t kPayloadGsm = 3;
inline constexpr std::uint8_t kPayloadPcma = 8;
inline constexpr std::uint8_t kPayloadCn = 13;
inline constexpr std::uint8_t kPayloadG726Offered = 96;       // dynamic, in the phone's offers
inline constexpr std::uint8_t kPayloadTelephoneEvent = 101;   // dynamic, in the phone's offers
// Payload types are 0-127; this marks "none chosen" / "not negotiated".
inline constexpr std::uint8_t kPayloadNone = 255;

}  // namespace corvina::media
