#include "call/nat_rtp_socket_opener.h"

#include "call/rtp_socket.h"

namespace corvina::call {

std::optional<media::OpenedRtpSocket> NatRtpSocketOpener::Open(platform::Event& stop) {
  // Datagrams arriving while the public address is asked for come before the call's media
  // starts; the receive thread's start-up drain would discard them anyway.
  const sip::OtherTrafficSink ignore = [](std::string_view, const platform::SocketAddress&) {};
  std::optional<RtpSocket> rtp = OpenRtpSocket(nat_, settings_, log_, stop, ignore);
  if (!rtp) return std::nullopt;
  media::OpenedRtpSocket opened;
  opened.socket = std::move(rtp->socket);
  opened.addresses = {rtp->localAddress, rtp->localPort, rtp->publicAddress, rtp->publicPort, rtp->behindNat};
  return opened;
}

media::MediaRemoteDescription MediaRemoteFromSdp(const SdpState& state) {
  media::MediaRemoteDescription remote;
  remote.host = state.remoteAddress;
  remote.port = state.remotePort;
  remote.types.audio = state.audioPayloadType;
  remote.types.comfortNoise = state.cnPayloadType;
  remote.types.telephoneEvent = state.telephoneEventPayloadType;
  remote.types.g726 = state.g726PayloadType;
  remote.learnRemoteAddress = state.learnRemoteAddress;
  remote.sendSuppressed = state.sendSuppressed;
  return remote;
}

}  // namespace corvina::call
