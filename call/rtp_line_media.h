// A line's media while the RTP session itself is elsewhere: it opens the line's RTP socket (so
// that offers and answers name a real port and the public address) and keeps the negotiated
// remote side. Start and Stop only mark the session; Stop closes the socket.
#pragma once

#include <mutex>
#include <optional>

#include "call/line_media.h"
#include "call/rtp_socket.h"

namespace corvina::call {

class RtpLineMedia final : public LineMedia {
 public:
  RtpLineMedia(sip::PublicAddressSource& nat, platform::Settings& settings, platform::LogSink& log);

  bool Open() override;
  SdpLocalMedia Local() const override;
  void SetRemote(const SdpState& state) override;
  void Start() override;
  void Stop() override;
  void SendDigits(std::string_view) override {}

  // Any thread.
  bool Running() const;
  std::optional<SdpState> Remote() const;

 private:
  sip::PublicAddressSource& nat_;
  platform::Settings& settings_;
  platform::LogSink& log_;
  platform::Event stop_{platform::Event::Mode::kManualReset};  // never set: queries end on their own limits

  mutable std::mutex lock_;  // guards the fields below (the call thread writes, others read)
  std::optional<RtpSocket> socket_;
  std::optional<SdpState> remote_;
  bool running_ = false;
};

}  // namespace corvina::call
