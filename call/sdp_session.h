// The phone's side of SDP offer/answer for one media session: the offers it makes (new calls,
// hold and resume), the answers it gives, and what it takes from the other side's SDP (where
// to send RTP, which codec, the numbers for comfort noise, telephone events and G726-32).
//
// Codec order: with the SIP setting Quality present and below 50 the phone prefers GSM and
// G726-32 (low bandwidth), otherwise PCMU and PCMA. An answer keeps the codecs the offer lists
// in a fixed order, except that GSM or a mapped G726-32 go first when the offer lists them
// before either G.711 codec.
//
// Address choice: when the other side's a=local/a=domain show that both phones sit behind the
// same NAT, RTP goes to its private address and the answer names ours too; when the other
// side's connection address is private (or missing), the answer advertises the phone's
// private address; otherwise the public one, with a=local/a=domain when the two differ.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "media/payload_types.h"

namespace corvina::platform {
class NameResolver;
class Settings;
}  // namespace corvina::platform

namespace corvina::call {

// The program-wide SDP counter: seeded at start with the local time in seconds, one number
// taken for every media session created and every capability description. Safe from any
// thread; the program-wide objects own the one instance.
class SdpCounter {
 public:
  explicit SdpCounter(std::uint32_t seed) : next_(seed) {}
  SdpCounter(const SdpCounter&) = delete;
  SdpCounter& operator=(const SdpCounter&) = delete;

  // The current number; the counter moves on by one.
  std::uint32_t Take() { return next_.fetch_add(1, std::memory_order_relaxed); }

 private:
  std::atomic<std::uint32_t> next_;
};

// The phone's own media addresses as the media session knows them now.
struct SdpLocalMedia {
  std::string publicAddress;   // dotted IPv4 address the phone advertises
  std::uint16_t publicPort = 0;
  std::string privateAddress;  // the device's own IPv4 address
  std::uint16_t privatePort = 0;  // the RTP port bound locally
};

// The negotiated description, kept between offers of one call. The media session applies the
// remote side, the four payload types and the two flags after a usable negotiation.
struct SdpState {
  std::uint32_t sessionId = 0;  // first number of o=
  std::uint32_t version = 0;    // second number of o=, one up per new SDP
  std::string publicAddress;
  std::uint16_t publicPort = 0;
  std::string privateAddress;
  std::uint16_t privatePort = 0;
  std::string remoteAddress;    // where RTP is sent (text as the other side wrote it)
  std::uint16_t remotePort = 0;
  bool learnRemoteAddress = false;  // take the remote address from the first RTP packet
  bool sendSuppressed = false;      // the other side declared "sendonly"
  std::uint8_t audioPayloadType = media::kPayloadNone;
  std::uint8_t cnPayloadType = media::kPayloadNone;
  std::uint8_t telephoneEventPayloadType = media::kPayloadNone;
  std::uint8_t g726PayloadType = media::kPayloadG726Static;  // the other side's number for G726-32
};

struct SdpNegotiation {
  bool usable = false;  // false: no common codec; the state is left as it was
  std::string answer;   // when an answer was wanted and the SDP is usable
};

// True when Quality is present, not empty and below 50.
bool PrefersLowBandwidth(const platform::Settings& settings);
// The codec list text of the phone's offers.
std::string_view OfferCodecList(const platform::Settings& settings);

// The capability description for an answer to OPTIONS: an offer from a fresh state whose
// session id and version are one number taken from `counter`, with empty addresses and port 0.
std::string BuildCapabilities(SdpCounter& counter, const platform::Settings& settings);

// One media session's SDP. Used by the thread that drives the call; not shared.
class SdpSession {
 public:
  // Takes the session id (and first version) from `counter`. `settings` and `resolver` must
  // outlive the session.
  SdpSession(SdpCounter& counter, const platform::Settings& settings, platform::NameResolver& resolver);

  // Refreshes the state from `local` (version + 1) and composes an offer; `hold` makes it
  // "sendonly", else "sendrecv".
  std::string BuildOffer(const SdpLocalMedia& local, bool hold);

  // Reads the other side's SDP. With `answerWanted` it is an offer: the state is refreshed from
  // `local` first and an answer is composed ("recvonly" when `recvonly`, else "sendrecv").
  // Without, it is the answer to the phone's offer and `local` is not used. An empty text is
  // usable and changes nothing. An unusable SDP leaves the state untouched.
  SdpNegotiation Negotiate(std::string_view remoteSdp, bool answerWanted, bool recvonly, const SdpLocalMedia& local);

  const SdpState& State() const { return state_; }

 private:
  const platform::Settings& settings_;
  platform::NameResolver& resolver_;
  SdpState state_;
};

}  // namespace corvina::call
