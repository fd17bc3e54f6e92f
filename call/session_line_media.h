// A line's media on its MediaSession: the session's socket gives the addresses the SDP names,
// the negotiated SDP state becomes its remote side, and the call's start and end start and
// stop it. The session belongs to the line's owner and lives across calls.
#pragma once

#include <atomic>
#include <optional>

#include "call/line_media.h"
#include "call/nat_rtp_socket_opener.h"
#include "media/media_session.h"

namespace corvina::call {

class SessionLineMedia final : public LineMedia {
 public:
  explicit SessionLineMedia(media::MediaSession& session) : session_(session) {}

  bool Open() override { return session_.Open(stop_); }
  void CancelOpen() override { stop_.Set(); }
  void AllowOpen() override { stop_.Reset(); }
  SdpLocalMedia Local() const override {
    const media::RtpSocketAddresses a = session_.Addresses();
    return {a.publicAddress, a.publicPort, a.localAddress, a.localPort};
  }
  void SetRemote(const SdpState& state) override {
    session_.SetRemote(MediaRemoteFromSdp(state));
    remotePort_.store(state.remotePort);
  }
  void Start() override { session_.Start(); }
  void Stop() override {
    session_.Stop();
    remotePort_.store(0);
  }
  void SendDigits(std::string_view digits) override { session_.SendDigits(digits); }

  // Any thread: the remote RTP port while the call has one (0: none).
  std::uint16_t RemotePort() const { return remotePort_.load(); }

 private:
  media::MediaSession& session_;
  // Ends the public address query of Open; any thread sets it, a new call clears it.
  platform::Event stop_{platform::Event::Mode::kManualReset};
  std::atomic<std::uint16_t> remotePort_{0};
};

}  // namespace corvina::call
