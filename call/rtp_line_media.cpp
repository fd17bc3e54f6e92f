#include "call/rtp_line_media.h"

namespace corvina::call {

RtpLineMedia::RtpLineMedia(sip::PublicAddressSource& nat, platform::Settings& settings, platform::LogSink& log)
    : nat_(nat), settings_(settings), log_(log) {}

bool RtpLineMedia::Open() {
  std::optional<RtpSocket> s = OpenRtpSocket(nat_, settings_, log_, stop_, {});
  std::lock_guard<std::mutex> hold(lock_);
  socket_ = std::move(s);
  remote_.reset();
  running_ = false;
  return socket_.has_value();
}

SdpLocalMedia RtpLineMedia::Local() const {
  std::lock_guard<std::mutex> hold(lock_);
  if (!socket_) return {};
  return {socket_->publicAddress, socket_->publicPort, socket_->localAddress, socket_->localPort};
}

void RtpLineMedia::SetRemote(const SdpState& state) {
  std::lock_guard<std::mutex> hold(lock_);
  remote_ = state;
}

void RtpLineMedia::Start() {
  std::lock_guard<std::mutex> hold(lock_);
  running_ = true;
}

void RtpLineMedia::Stop() {
  std::lock_guard<std::mutex> hold(lock_);
  running_ = false;
  socket_.reset();
}

bool RtpLineMedia::Running() const {
  std::lock_guard<std::mutex> hold(lock_);
  return running_;
}

std::optional<SdpState> RtpLineMedia::Remote() const {
  std::lock_guard<std::mutex> hold(lock_);
  return remote_;
}

}  // namespace corvina::call
