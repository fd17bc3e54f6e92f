#include "media/rtp_send_state.h"

#include <algorithm>
#include <array>
#include <random>
#include <utility>

#include "media/rtp_packet.h"

namespace corvina::media {

RtpNumbering RtpNumbering::Random() {
  std::random_device device;
  RtpNumbering n;
  n.ssrc = device();
  n.sequence = static_cast<std::uint16_t>(device());
  n.timestamp = device();
  return n;
}

std::size_t WriteSilencePacket(const RtpPayloadTypes& types, std::uint16_t sequence, std::uint32_t timestamp,
                               std::uint32_t ssrc, std::span<std::uint8_t, kSilencePacketBytes> out) {
  const bool withNoise = types.comfortNoise != kPayloadNone;
  RtpHeader header{false, withNoise ? types.comfortNoise : types.audio, sequence, timestamp, ssrc};
  WriteRtpHeader(header, out);
  if (!withNoise) return kRtpHeaderBytes;
  out[kRtpHeaderBytes] = kComfortNoiseLevel;
  return kSilencePacketBytes;
}

void AudioTap::Set(AudioSinkPtr sink) {
  AudioSinkPtr old;
  {
    std::lock_guard lock(mutex_);
    old = std::exchange(sink_, std::move(sink));
  }
  // A writer still holding the old tap keeps it alive until its write is done.
}

void AudioTap::Write(std::span<const std::int32_t> samples) {
  AudioSinkPtr sink;
  {
    std::lock_guard lock(mutex_);
    sink = sink_;
  }
  if (!sink) return;
  scratch_.assign(samples.begin(), samples.end());
  sink->Transfer(scratch_);
}

RtpSendState::RtpSendState(const platform::MediaClock& clock, const RtpNumbering& numbering)
    : clock_(clock),
      ssrc_(numbering.ssrc),
      sequence_(numbering.sequence),
      timestamp_(numbering.timestamp),
      lastSendMs_(clock.NowMs()),
      pacer_(clock.NowMs(), numbering.timestamp) {}

bool RtpSendState::Locked::CanSend() const {
  const RtpSendState& s = *state_;
  return s.transport_ && s.remote_.destination.Resolved() && !s.remote_.sendSuppressed;
}

bool RtpSendState::Locked::Send(std::span<const std::uint8_t> datagram) {
  if (!CanSend()) return false;
  state_->transport_->Send(datagram, state_->remote_.destination);
  state_->lastSendMs_ = state_->clock_.NowMs();
  return true;
}

void RtpSendState::AttachTransport(std::unique_ptr<RtpTransport> transport) {
  std::unique_ptr<RtpTransport> old;
  std::lock_guard lock(mutex_);
  old = std::move(transport_);
  transport_ = std::move(transport);
  lastSendMs_ = clock_.NowMs();
  old.reset();  // a replaced socket closes under the lock as well
}

void RtpSendState::CloseTransport() {
  std::lock_guard lock(mutex_);
  transport_.reset();
}

void RtpSendState::SetRemote(const RtpRemote& remote) {
  std::lock_guard lock(mutex_);
  remote_ = remote;
}

void RtpSendState::SetDestination(const platform::SocketAddress& destination) {
  std::lock_guard lock(mutex_);
  remote_.destination = destination;
}

RtpRemote RtpSendState::Remote() {
  std::lock_guard lock(mutex_);
  return remote_;
}

bool RtpSendState::SendKeepAliveIfIdle(std::int64_t idleMs) {
  Locked s = Lock();
  // A digit on the wire keeps the path open itself; a keep-alive between its packets would
  // break the run of its sequence numbers.
  if (s.NowMs() - s.LastSendMs() <= idleMs || !s.CanSend() || s.DtmfSending()) return false;
  std::array<std::uint8_t, kSilencePacketBytes> packet{};
  const std::size_t length = WriteSilencePacket(s.Remote().types, s.TakeSequence(), s.Timestamp(), s.Ssrc(), packet);
  s.AdvanceTimestamp(kKeepAliveSamples);
  return s.Send(std::span(packet).first(length));
}

void RtpSendState::ClearDtmfSending() {
  std::lock_guard lock(mutex_);
  dtmfSending_.store(false);
}

}  // namespace corvina::media
