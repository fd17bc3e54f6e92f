// Every fixed text of the phone's SDP, in one place: the two codec lists, the body templates,
// the attribute lines it writes, and the names it looks for in the other side's SDP.
// Templates use the placeholders of sip/wire_format.h.
#pragma once

#include <string_view>

namespace corvina::call::sdp_text {

// Codec lists: the payload list of the m= line (with its leading space and CR LF) followed by
// the rtpmap lines.
inline constexpr std::string_view kDefaultCodecs =
    " 0 8 96 3 13 101\r\n"
    "a=rtpmap:0 PCMU/8000\r\n"
    "a=rtpmap:8 PCMA/8000\r\n"
    "a=rtpmap:96 G726-32/8000\r\n"
    "a=rtpmap:3 GSM/8000\r\n"
    "a=rtpmap:13 CN/8000\r\n"
    "a=rtpmap:101 telephone-event/8000\r\n"
    "a=fmtp:101 0-16\r\n";
inline constexpr std::string_view kLowBandwidthCodecs =
    " 3 96 0 8 13 101\r\n"
    "a=rtpmap:3 GSM/8000\r\n"
    "a=rtpmap:96 G726-32/8000\r\n"
    "a=rtpmap:0 PCMU/8000\r\n"
    "a=rtpmap:8 PCMA/8000\r\n"
    "a=rtpmap:13 CN/8000\r\n"
    "a=rtpmap:101 telephone-event/8000\r\n"
    "a=fmtp:101 0-16\r\n";

// The body: session part, then the audio description. Session id, version, public address;
// connection address. Audio port, codec list, direction.
inline constexpr std::string_view kSessionPart =
    "v=0\r\n"
    "o=Tessaly-Corvina %d %d IN IP4 %s\r\n"
    "s=Corvina Call\r\n"
    "c=IN IP4 %s\r\n"
    "t=0 0\r\n";
inline constexpr std::string_view kAudioPart = "m=audio %d RTP/AVP%sa=%s\r\n";
inline constexpr std::string_view kDirectionActive = "a=direction:active\r\n";
inline constexpr std::string_view kLocalAndDomain = "a=local:%s %d\r\na=domain:%s\r\n";
// A media description of the other side that the phone declines: media, protocol, one format.
inline constexpr std::string_view kRejectedMedia = "m=%s 0 %s %s\r\n";

inline constexpr std::string_view kSendRecv = "sendrecv";
inline constexpr std::string_view kSendOnly = "sendonly";
inline constexpr std::string_view kRecvOnly = "recvonly";

// Pieces of an answer's codec list, in the order the answer places them.
inline constexpr std::string_view kListEntry = " %d";
inline constexpr std::string_view kListEnd = "%s\r\n%s";
inline constexpr std::string_view kRtpmapGsm = "a=rtpmap:3 GSM/8000\r\n";
inline constexpr std::string_view kRtpmapG726 = "a=rtpmap:%d G726-32/8000\r\n";
inline constexpr std::string_view kRtpmapPcmu = "a=rtpmap:0 PCMU/8000\r\n";
inline constexpr std::string_view kRtpmapPcma = "a=rtpmap:8 PCMA/8000\r\n";
inline constexpr std::string_view kRtpmapCn = "a=rtpmap:%d CN/8000\r\n";
inline constexpr std::string_view kRtpmapTelephoneEvent = "a=rtpmap:%d telephone-event/8000\r\na=fmtp:%d 0-16\r\n";

// What the reader looks for.
inline constexpr std::string_view kAudio = "audio";
inline constexpr std::string_view kRtpmap = "rtpmap";
inline constexpr std::string_view kDirection = "direction";
inline constexpr std::string_view kActive = "active";
inline constexpr std::string_view kSendOnlyAttribute = "sendonly";
inline constexpr std::string_view kLocal = "local";
inline constexpr std::string_view kDomain = "domain";
inline constexpr std::string_view kEncodingCn = "CN";
inline constexpr std::string_view kEncodingTelephoneEvent = "telephone-event";
inline constexpr std::string_view kEncodingG726 = "G726-32";

// Settings (section "SIP").
inline constexpr std::string_view kSipSection = "SIP";
inline constexpr std::string_view kQuality = "Quality";
inline constexpr std::string_view kActiveSetting = "Active";

}  // namespace corvina::call::sdp_text
