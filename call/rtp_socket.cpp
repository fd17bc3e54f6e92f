#include "call/rtp_socket.h"

#include "call/nat_texts.h"

namespace corvina::call {
namespace {

constexpr std::uint16_t kLastRtpPort = 65533;  // the walk stays below 65534

int RtpPortBaseSetting(platform::Settings& settings) {
  const int base = settings.GetSettingInt(nat::kSection, nat::kRtpPortBase, nat::kDefaultRtpPortBase);
  return base < 2 || base > 65534 ? nat::kDefaultRtpPortBase : base;
}

}  // namespace

std::uint16_t RtpPortBase(platform::Settings& settings) {
  return static_cast<std::uint16_t>(RtpPortBaseSetting(settings) & ~1);
}

std::optional<RtpSocket> OpenRtpSocket(sip::PublicAddressSource& nat, platform::Settings& settings,
                                       platform::LogSink& log, platform::Event& stop,
                                       const sip::OtherTrafficSink& otherTraffic) {
  RtpSocket rtp;
  rtp.socket = std::make_unique<platform::UdpSocket>();
  rtp.socket->SetTypeOfService(platform::kVoiceTypeOfService, platform::kVoiceSocketPriority);
  std::uint16_t port = RtpPortBase(settings);
  for (int attempts = 0;;) {
    const platform::BindResult bound = rtp.socket->Bind({0, port}, platform::PortWalk{2, kLastRtpPort});
    if (!bound.Ok()) return std::nullopt;
    sip::PublicAddressRequest request;
    request.localAddress = nat.LocalAddress();
    request.localPort = bound.local.port;
    request.portStep = 16;
    request.portBase = static_cast<std::uint16_t>(RtpPortBaseSetting(settings));
    request.staticPortBase = static_cast<std::uint16_t>(
        settings.GetSettingInt(nat::kSection, nat::kStaticRtpPortBase, nat::kDefaultRtpPortBase));
    const sip::PublicAddressResult found = nat.PublicAddress(*rtp.socket, stop, request, otherTraffic);
    if (found.stopped) return std::nullopt;
    rtp.localAddress = request.localAddress;
    rtp.localPort = request.localPort;
    rtp.publicAddress = found.address;
    rtp.publicPort = found.port;
    rtp.behindNat = found.behindNat;
    if (found.port % 2 == 0) return rtp;
    if (!settings.GetSettingBool(nat::kSection, nat::kStun, true)) {
      log.Log(nat::kOddRtpPort, platform::kLogError);
      log.Log(nat::kCheckNetworkSettings, platform::kLogError);
      return rtp;
    }
    rtp.socket->Close();
    ++attempts;
    if (attempts == kOddPortWarningAttempt) {
      log.Log(nat::kNatWrong, platform::kLogError);
      log.Log(nat::kNatOddPorts, platform::kLogError);
      log.Log(nat::kNatCheck, platform::kLogError);
    }
    if (attempts > kOddPortMaxAttempts || request.localPort + 2 > kLastRtpPort) return std::nullopt;
    port = static_cast<std::uint16_t>(request.localPort + 2);
  }
}

}  // namespace corvina::call
