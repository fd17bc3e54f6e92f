// Reads the other side's SDP text into what the negotiation needs: the connection address,
// the audio port and payload list, the rtpmap entries, the direction and NAT attributes, and
// the media descriptions the phone does not take (to be declined in an answer).
//
// The first "m=audio" description is the audio stream. Lines of the session part and of that
// description count; connection lines and attributes of other descriptions are ignored.
// Everything is bounded: at most kMaxSdpLines lines are read, every type and value is cut at
// 259 characters, and nothing is read past the end of the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::call {

inline constexpr std::size_t kMaxSdpLines = 256;
inline constexpr std::size_t kMaxDeclinedMedia = 16;

struct SdpRtpMap {
  std::uint8_t payloadType = 0;  // 0-127
  std::string encoding;          // as written ("PCMU", "G726-32", ...)
};

// A media description other than the audio stream: media, protocol and first format, each
// one word of printable characters.
struct SdpDeclinedMedia {
  std::string media;
  std::string protocol;
  std::string format;
  bool beforeAudio = false;  // stands before the audio description in the text
};

struct RemoteSdp {
  std::string connectionAddress;       // third word of the c= line
  bool hasAudio = false;               // an m=audio line was seen
  std::uint16_t audioPort = 0;
  std::vector<std::uint8_t> payloadTypes;  // of the m=audio line, in order, 0-127 only
  std::vector<SdpRtpMap> rtpMaps;
  bool directionActive = false;        // a=direction:active
  bool sendOnly = false;               // a=sendonly
  bool hasLocal = false;               // a=local was given
  std::string localAddress;            // a=local: the other side's private address ...
  std::uint16_t localPort = 0;         // ... and port
  std::string domain;                  // a=domain
  std::vector<SdpDeclinedMedia> declined;  // at most kMaxDeclinedMedia, in order

  // The payload type the rtpmap entries give `encoding` (compared without regard to case),
  // the first one when several do, or `otherwise`.
  std::uint8_t PayloadTypeOf(std::string_view encoding, std::uint8_t otherwise) const;
};

RemoteSdp ReadSdp(std::string_view text);

}  // namespace corvina::call
