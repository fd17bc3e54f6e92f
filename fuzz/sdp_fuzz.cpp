// Feeds any bytes to the SDP reader and to the negotiation, as an offer and as an answer, and
// reads every answer the phone writes back as the other side would: an answer to a usable
// offer must itself be a usable SDP that leads with the chosen codec and has one line per
// offered stream.
// The first byte picks the settings (Quality low or default, Active on or off) and recvonly.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "call/sdp_reader.h"
#include "call/sdp_session.h"
#include "platform/memory_settings_store.h"
#include "platform/name_resolver.h"
#include "platform/settings.h"

namespace {

using namespace corvina;

// Dotted addresses only: a fuzz run never asks the system resolver.
class DottedResolver final : public platform::NameResolver {
 public:
  std::optional<std::uint32_t> ResolveIpv4(std::string_view host) override { return platform::ParseIpv4(host); }
};

volatile std::size_t gSink = 0;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 16384) return 0;
  const std::uint8_t flags = data[0];
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  platform::MemorySettingsStore store;
  platform::Settings settings(store);
  settings.SetSettingString("SIP", "Quality", (flags & 1) ? "30" : "");
  settings.SetSettingString("SIP", "Active", (flags & 2) ? "1" : "0");
  const bool recvonly = (flags & 4) != 0;
  DottedResolver resolver;
  call::SdpCounter counter(flags);
  const call::SdpLocalMedia local{"203.0.113.5", 16000, (flags & 8) ? "203.0.113.5" : "192.168.1.10", 8000};

  const call::RemoteSdp remote = call::ReadSdp(text);
  Check(remote.payloadTypes.size() <= text.size());
  Check(remote.declined.size() <= call::kMaxDeclinedMedia);
  for (const call::SdpRtpMap& m : remote.rtpMaps) Check(m.payloadType < 128);
  gSink = gSink + remote.connectionAddress.size() + remote.domain.size() + remote.localAddress.size();

  call::SdpSession answerer(counter, settings, resolver);
  const call::SdpNegotiation n = answerer.Negotiate(text, true, recvonly, local);
  if (n.usable && !text.empty()) {
    Check(answerer.State().audioPayloadType < 128);
    // The other side reads the answer.
    call::SdpSession offerer(counter, settings, resolver);
    Check(offerer.Negotiate(n.answer, false, false, local).usable);
    // The answer leads with the codec the phone chose, and the other side chooses one it lists.
    const call::RemoteSdp back = call::ReadSdp(n.answer);
    Check(back.hasAudio && !back.payloadTypes.empty());
    Check(back.payloadTypes.front() == answerer.State().audioPayloadType);
    Check(std::find(back.payloadTypes.begin(), back.payloadTypes.end(), offerer.State().audioPayloadType) !=
          back.payloadTypes.end());
    Check(back.declined.size() == remote.declined.size());
  }

  call::SdpSession reader(counter, settings, resolver);
  gSink = gSink + reader.Negotiate(text, false, false, local).usable + reader.State().remotePort;
  return 0;
}
