#include "media/rtp_sender.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "media/rtp_packet.h"

namespace corvina::media {
namespace {

constexpr std::uint32_t kTalkAbove = 8192;    // peak of the first half-frame that starts talk
constexpr std::uint32_t kSilentBelow = 4096;  // peak of a whole frame that ends it
constexpr std::size_t kStartTestSamples = 80;
constexpr std::uint32_t kSilenceStep = 40;
constexpr std::uint32_t kFinalStep = 80;
constexpr std::int32_t kSecondNoiseAfter = 640;  // the second comfort-noise packet: 85 ms on
constexpr std::int32_t kNoiseInterval = 8000;    // then about once a second
constexpr std::size_t kMaxPacketBytes = kRtpHeaderBytes + kFrameSamples;

std::uint32_t Peak(std::span<const std::int32_t> samples) {
  std::uint32_t peak = 0;
  for (std::int32_t s : samples) {
    const std::uint32_t m = s < 0 ? 0u - static_cast<std::uint32_t>(s) : static_cast<std::uint32_t>(s);
    peak = std::max(peak, m);
  }
  return peak;
}

void SleepThread(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

std::optional<CodecId> CodecForPayloadType(const RtpPayloadTypes& types, std::uint8_t payloadType) {
  switch (payloadType) {
    case kPayloadPcmu: return CodecId::kPcmu;
    case kPayloadPcma: return CodecId::kPcma;
    case kPayloadGsm: return CodecId::kGsm;
    default: break;
  }
  if (payloadType != kPayloadNone && payloadType == types.g726) return CodecId::kG726_32;
  return std::nullopt;
}

RtpSender::RtpSender(std::shared_ptr<RtpSendState> state, PacerSleep sleep)
    : AudioSink(kSampleRate, 1), state_(std::move(state)), sleep_(sleep ? std::move(sleep) : PacerSleep(SleepThread)) {
  state_->SetSenderAttached(true);
  writer_.Detach();  // made on the controller's thread, written by the capture or hold thread
}

RtpSender::~RtpSender() {
  SilenceStep(kFinalStep);
  state_->SetSenderAttached(false);
}

int RtpSender::StartDelayMs(RtpSendState& state) {
  RtpSendState::Locked s = state.Lock();
  return s.Pacer().StartDelay(s.NowMs(), s.Timestamp());
}

std::size_t RtpSender::Transfer(std::span<std::int32_t> samples) {
  CORVINA_CHECK_THREAD(writer_);
  std::size_t at = 0;
  while (at < samples.size()) {
    const std::size_t take = std::min(samples.size() - at, frame_.size() - fill_);
    std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(at), take, frame_.begin() + static_cast<std::ptrdiff_t>(fill_));
    fill_ += take;
    at += take;
    if (fill_ == frame_.size()) OnFullFrame();
  }
  return samples.size();
}

void RtpSender::OnFullFrame() {
  const bool comfortNoise = state_->Remote().types.comfortNoise != kPayloadNone;
  if (!comfortNoise) {
    SendFrame();
    fill_ = 0;
  } else if (silent_) {
    if (Peak(std::span(frame_).first(kStartTestSamples)) > kTalkAbove) {
      SendFrame();
      silent_ = false;
      fill_ = 0;
    } else {
      SilenceStep(kSilenceStep);
      std::copy(frame_.begin() + kSilenceStep, frame_.end(), frame_.begin());
      fill_ = frame_.size() - kSilenceStep;
    }
  } else {
    SendFrame();
    if (Peak(frame_) < kSilentBelow) silent_ = true;
    fill_ = 0;
  }
  Pace();
}

void RtpSender::SendFrame() {
  state_->SentAudioTap().Write(frame_);
  std::array<std::uint8_t, kMaxPacketBytes> packet{};
  RtpSendState::Locked s = state_->Lock();
  // The packet's type and the encoder are taken from the same reading of the session.
  const std::uint8_t payloadType = s.Remote().types.audio;
  const std::optional<CodecId> codec = CodecForPayloadType(s.Remote().types, payloadType);
  if (!codec) return;
  if (s.DtmfSending()) {
    s.AdvanceTimestamp(kFrameSamples);
    return;
  }
  FrameEncoder* encoder = &pcmu_;
  switch (*codec) {
    case CodecId::kPcmu: encoder = &pcmu_; break;
    case CodecId::kPcma: encoder = &pcma_; break;
    case CodecId::kGsm: encoder = &gsm_; break;
    case CodecId::kG726_32: encoder = &g726_; break;
  }
  const std::size_t payload = encoder->Encode(frame_, std::span(packet).subspan(kRtpHeaderBytes));
  WriteRtpHeader({markerPending_, payloadType, s.TakeSequence(), s.Timestamp(), s.Ssrc()}, packet);
  markerPending_ = false;
  s.AdvanceTimestamp(kFrameSamples);
  s.Send(std::span(packet).first(kRtpHeaderBytes + payload));
}

void RtpSender::SilenceStep(std::uint32_t samples) {
  RtpSendState::Locked s = state_->Lock();
  if (s.DtmfSending()) {
    s.AdvanceTimestamp(samples);
    return;
  }
  bool sendNoise = false;
  if (!markerPending_) {
    // The first silent step after speech.
    sendNoise = true;
    noiseCountdown_ = kSecondNoiseAfter;
    markerPending_ = true;
  } else if (noiseCountdown_ < 1) {
    sendNoise = true;
    noiseCountdown_ += kNoiseInterval;
  } else {
    noiseCountdown_ -= static_cast<std::int32_t>(samples);
  }
  if (sendNoise) {
    std::array<std::uint8_t, kSilencePacketBytes> packet{};
    const std::size_t length = WriteSilencePacket(s.Remote().types, s.TakeSequence(), s.Timestamp(), s.Ssrc(), packet);
    s.Send(std::span(packet).first(length));
  }
  s.AdvanceTimestamp(samples);
}

void RtpSender::Pace() {
  int sleepMs = 0;
  {
    RtpSendState::Locked s = state_->Lock();
    sleepMs = s.Pacer().AfterSend(s.NowMs(), s.Timestamp());
  }
  if (sleepMs > 0) sleep_(sleepMs);
}

}  // namespace corvina::media
