// The call layer's RTP socket opener for media sessions: OpenRtpSocket (even port from
// RTPPortBase, voice type-of-service and socket priority, the public address through NAT
// traversal), and the media-level remote description made from the negotiated SDP state.
#pragma once

#include "call/sdp_session.h"
#include "media/media_session.h"
#include "media/rtp_socket_opener.h"
#include "platform/log_sink.h"
#include "platform/settings.h"
#include "sip/public_address_source.h"

namespace corvina::call {

class NatRtpSocketOpener final : public media::RtpSocketOpener {
 public:
  // Every reference must outlive the opener.
  NatRtpSocketOpener(sip::PublicAddressSource& nat, platform::Settings& settings, platform::LogSink& log)
      : nat_(nat), settings_(settings), log_(log) {}

  std::optional<media::OpenedRtpSocket> Open(platform::Event& stop) override;

 private:
  sip::PublicAddressSource& nat_;
  platform::Settings& settings_;
  platform::LogSink& log_;
};

// Where RTP goes and with which payload types and flags, as negotiated.
media::MediaRemoteDescription MediaRemoteFromSdp(const SdpState& state);

}  // namespace corvina::call
