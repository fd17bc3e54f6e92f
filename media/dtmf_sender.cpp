#include "media/dtmf_sender.h"

#include <array>

#include "media/dtmf_tones.h"
#include "media/rtp_packet.h"
#include "media/rtp_sender.h"

namespace corvina::media {
namespace {

constexpr int kSkipPauseMs = 200;   // after a character without an event, and after in-band
constexpr int kIdleWaitMs = 3600000;
constexpr std::uint32_t kDigitSamples = 1600;  // the timestamp moves on at least this far
constexpr std::uint8_t kEventVolume = 10;
constexpr std::uint8_t kEventEnd = 0x80;
constexpr std::size_t kEventPacketBytes = kRtpHeaderBytes + 4;
constexpr std::size_t kInBandPackets = 8;
constexpr std::size_t kToneOffset = 100;  // 12.5 ms of silence before the tone

struct EventStep {
  bool newSequence;
  bool end;
  std::uint16_t duration;
  int pauseMs;
};

constexpr std::array<EventStep, 6> kEventSteps = {{{true, false, 0, 35},
                                                   {true, false, 800, 35},
                                                   {false, false, 800, 30},
                                                   {true, true, 1600, 35},
                                                   {false, true, 1600, 35},
                                                   {false, true, 1600, 30}}};

}  // namespace

bool EventDtmfWaits::Pause(int ms, platform::Event& stop) {
  return platform::WaitForAny({platform::WaitSource::Of(stop)}, ms) == platform::kWaitTimedOut;
}

bool DtmfDigitSender::Send(char c, std::uint8_t telephoneEventType, DtmfWaits& waits, platform::Event& stop) {
  std::uint32_t t0 = 0;
  {
    RtpSendState::Locked s = state_.Lock();
    s.SetDtmfSending(true);
    t0 = s.Timestamp();
  }
  bool finished = true;
  if (telephoneEventType != kPayloadNone) {
    const std::optional<std::uint8_t> event = DtmfEventCode(c);
    finished = event ? SendEvent(*event, telephoneEventType, t0, waits, stop) : waits.Pause(kSkipPauseMs, stop);
  } else {
    SendInBand(c, t0);
    finished = waits.Pause(kSkipPauseMs, stop);
  }
  RtpSendState::Locked s = state_.Lock();
  // Whatever the voice sender did meanwhile, the next audio starts after the digit.
  const std::uint32_t after = t0 + kDigitSamples;
  if (static_cast<std::int32_t>(s.Timestamp() - after) < 0) s.SetTimestamp(after);
  return finished;
}

bool DtmfDigitSender::SendEvent(std::uint8_t event, std::uint8_t payloadType, std::uint32_t t0, DtmfWaits& waits,
                                platform::Event& stop) {
  std::uint16_t sequence = 0;
  bool first = true;
  for (const EventStep& step : kEventSteps) {
    {
      RtpSendState::Locked s = state_.Lock();
      if (step.newSequence) sequence = s.TakeSequence();
      std::array<std::uint8_t, kEventPacketBytes> packet{};
      WriteRtpHeader({first, payloadType, sequence, t0, s.Ssrc()}, packet);
      packet[12] = event;
      packet[13] = static_cast<std::uint8_t>((step.end ? kEventEnd : 0) | kEventVolume);
      packet[14] = static_cast<std::uint8_t>(step.duration >> 8);
      packet[15] = static_cast<std::uint8_t>(step.duration);
      s.Send(packet);
    }
    first = false;
    if (!waits.Pause(step.pauseMs, stop)) return false;
  }
  return true;
}

void DtmfDigitSender::SendInBand(char c, std::uint32_t t0) {
  std::array<std::int32_t, kInBandPackets * kFrameSamples> audio{};
  GenerateDtmfTone(c, std::span(audio).subspan<kToneOffset, kDtmfToneSamples>());
  RtpSendState::Locked s = state_.Lock();
  const std::uint8_t payloadType = s.Remote().types.audio;
  FrameEncoder* encoder = nullptr;
  switch (CodecForPayloadType(s.Remote().types, payloadType).value_or(CodecId::kG726_32)) {
    case CodecId::kPcmu: encoder = &pcmu_; break;
    case CodecId::kPcma: encoder = &pcma_; break;
    case CodecId::kGsm: encoder = &gsm_; break;
    case CodecId::kG726_32: break;  // headers alone
  }
  for (std::size_t k = 0; k < kInBandPackets; ++k) {
    std::array<std::uint8_t, kRtpHeaderBytes + kFrameSamples> packet{};
    std::size_t payload = 0;
    if (encoder != nullptr) {
      payload = encoder->Encode(std::span(audio).subspan(k * kFrameSamples).first<kFrameSamples>(),
                                std::span(packet).subspan(kRtpHeaderBytes));
    }
    WriteRtpHeader({k == 0, payloadType, s.TakeSequence(), t0 + static_cast<std::uint32_t>(k * kFrameSamples), s.Ssrc()},
                   packet);
    s.Send(std::span(packet).first(kRtpHeaderBytes + payload));
  }
}

DtmfSender::DtmfSender(std::shared_ptr<RtpSendState> state, std::function<void()> onQueueSent, DtmfWaits* waits)
    : WorkerThread("dtmf-sender"),
      state_(std::move(state)),
      onQueueSent_(std::move(onQueueSent)),
      waits_(waits != nullptr ? *waits : eventWaits_),
      digits_(*state_) {}

DtmfSender::~DtmfSender() { Stop(); }

std::size_t DtmfSender::SendDigits(std::string_view digits) {
  const std::size_t queued = queue_.Push(digits);
  wake_.Set();
  return queued;
}

bool DtmfSender::Start(std::uint8_t telephoneEventType) {
  Stop();
  queue_.Clear();
  telephoneEventType_ = telephoneEventType;
  return WorkerThread::Start();
}

void DtmfSender::Stop() {
  StopAndJoin();
  state_->ClearDtmfSending();
}

void DtmfSender::Run() {
  for (;;) {
    wake_.Reset();
    while (std::optional<char> c = queue_.Front()) {
      if (!digits_.Send(*c, telephoneEventType_, waits_, StopEvent())) return;
      queue_.Pop();
      if (StopRequested()) return;
    }
    if (onQueueSent_) onQueueSent_();
    state_->ClearDtmfSending();
    if (Wait(wake_, kIdleWaitMs) == platform::WaitOutcome::kStopped) return;
  }
}

}  // namespace corvina::media
