#include "media/playout_controller.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace corvina::media {

namespace {

constexpr std::int64_t kLevelRestartMs = -200;
// Speech after a gap is preceded by comfort noise when that would add more than this.
constexpr std::int64_t kResumePreFillMinMs = 30;
constexpr std::int64_t kGapWaitInGapMs = 10;
constexpr std::int64_t kGapWaitInSpeechMs = 50;
constexpr std::int64_t kStarveMarginInGapMs = 15;
constexpr std::int64_t kStarveMarginInSpeechMs = 40;
constexpr std::int64_t kStarveWaitMs = 15;
constexpr int kConcealmentScale = 2000;
constexpr int kPitchWindow = 59;
constexpr int kPitchWeightBase = 81;
constexpr std::size_t kG711ChunkBytes = 160;
constexpr std::size_t kG726ChunkBytes = 160;

std::int64_t SamplesOf(std::int64_t ms) { return ms * kSampleRate / 1000; }

}  // namespace

PlayoutController::PlayoutController(AudioSink& output, PlayoutTypes types, std::uint32_t noiseSeed,
                                     std::int64_t nowMs)
    : output_(output), types_(types), playoutBase_(nowMs + kLevelRestartMs), noise_(noiseSeed) {}

PlayoutController::Kind PlayoutController::KindOf(std::uint8_t payloadType) const {
  if (payloadType == kPayloadPcmu) return Kind::kPcmu;
  if (payloadType == kPayloadPcma) return Kind::kPcma;
  if (payloadType == kPayloadGsm) return Kind::kGsm;
  if (types_.g726 != kPayloadNone && payloadType == types_.g726) return Kind::kG726;
  const bool negotiatedNoise = types_.comfortNoise != kPayloadNone && payloadType == types_.comfortNoise;
  if (payloadType == kPayloadCn || negotiatedNoise)
    return Kind::kComfortNoise;
  return Kind::kIgnored;
}

bool PlayoutController::Plays(std::uint8_t payloadType) const { return KindOf(payloadType) != Kind::kIgnored; }

std::int64_t PlayoutController::LevelMs(std::int64_t nowMs) {
  const std::int64_t level = static_cast<std::int64_t>(samplesWritten_ / 8) - (nowMs - playoutBase_);
  if (level > kLevelRestartMs) return level;
  // The device has played everything and more time has passed: count afresh from now.
  playoutBase_ = nowMs;
  samplesWritten_ = 0;
  return 0;
}

void PlayoutController::Play(std::span<const std::uint8_t> datagram, bool forced, std::int64_t nowMs) {
  const std::optional<RtpPacketView> packet = ParseRtpPacket(datagram);
  if (!packet) return;
  const RtpHeader& header = packet->header;
  const Kind kind = KindOf(header.payloadType);
  // Events, video and unknown types carry timestamps of their own meaning: they neither fill
  // gaps nor move the expected timestamp.
  if (kind == Kind::kIgnored) return;

  if (!ssrcKnown_ || ssrc_ != header.ssrc) {
    expectedTimestamp_ = header.timestamp;
    ssrc_ = header.ssrc;
    ssrcKnown_ = true;
  }
  const auto gap = static_cast<std::int32_t>(header.timestamp - expectedTimestamp_);
  const std::int64_t level = LevelMs(nowMs);
  if (gap > 0 && kGapFillTargetMs - level > 0) {
    const std::int64_t fill = std::min(SamplesOf(kGapFillTargetMs - level), static_cast<std::int64_t>(gap));
    if (forced && !gap_) {
      Conceal(fill, nowMs);
    } else {
      Noise(fill / 2, nowMs);
      gap_ = true;
    }
  }
  expectedTimestamp_ = header.timestamp;

  switch (kind) {
    case Kind::kPcmu: Decode(pcmu_, packet->payload, kG711ChunkBytes, nowMs); break;
    case Kind::kPcma: Decode(pcma_, packet->payload, kG711ChunkBytes, nowMs); break;
    case Kind::kGsm: Decode(gsm_, packet->payload, kGsmFrameBytes, nowMs); break;
    case Kind::kG726: Decode(g726_, packet->payload, kG726ChunkBytes, nowMs); break;
    case Kind::kComfortNoise: gap_ = true; break;
    case Kind::kIgnored: break;
  }
}

void PlayoutController::Decode(PayloadDecoder& decoder, std::span<const std::uint8_t> payload,
                               std::size_t chunkBytes, std::int64_t nowMs) {
  for (std::size_t at = 0; at < payload.size(); at += chunkBytes) {
    const std::size_t n = decoder.Decode(payload.subspan(at, std::min(chunkBytes, payload.size() - at)), decoded_);
    if (n == 0) continue;
    OutputDecoded(std::span(decoded_.data(), n), nowMs);
    expectedTimestamp_ += static_cast<std::uint32_t>(n);
  }
}

void PlayoutController::OutputDecoded(std::span<std::int32_t> block, std::int64_t nowMs) {
  if (gap_) {
    // Speech resumes: give the output about 125 ms of noise to ride out the next jitter.
    const std::int64_t missing = kGapFillTargetMs - LevelMs(nowMs);
    if (missing > kResumePreFillMinMs) Noise(SamplesOf(missing), nowMs);
    gap_ = false;
  }
  if (concealRemaining_ > 0) {
    const int n = static_cast<int>(std::min<std::size_t>(block.size(), kCrossFadeSamples));
    for (int i = 0; i < n; ++i) {
      block[i] = static_cast<std::int32_t>((static_cast<std::int64_t>(ConcealmentAhead(i)) * (n - i) +
                                            static_cast<std::int64_t>(block[i]) * i) / n);
    }
    concealRemaining_ = 0;
  }
  AppendHistory(block);
  stats_.decoded += Write(block, false, nowMs);
}

void PlayoutController::Conceal(std::int64_t count, std::int64_t nowMs) {
  if (count <= 0) return;
  if (concealRemaining_ == 0) {
    ChoosePitchLag();
    concealRemaining_ = kConcealmentSamples;
  }
  while (count > 0) {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(count, kPiece));
    for (std::size_t i = 0; i < n; ++i) {
      std::int32_t v = 0;
      if (concealRemaining_ > 0) {
        v = static_cast<std::int32_t>(static_cast<std::int64_t>(History(pitchLag_)) * (concealRemaining_ - 1) /
                                      kConcealmentScale);
        --concealRemaining_;
      }
      filler_[i] = v;
      history_[historyAt_++] = v;
    }
    stats_.concealed += Write(std::span(filler_.data(), n), true, nowMs);
    count -= static_cast<std::int64_t>(n);
  }
  // Concealment has faded out: whatever follows is silence, filled with noise.
  if (concealRemaining_ == 0) gap_ = true;
}

void PlayoutController::Noise(std::int64_t count, std::int64_t nowMs) {
  bool first = true;
  while (count > 0) {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(count, kPiece));
    noise_.Generate(std::span(filler_.data(), n));
    if (first && concealRemaining_ > 0) {
      const int fade = static_cast<int>(std::min<std::size_t>(n, kCrossFadeSamples));
      for (int i = 0; i < fade; ++i) {
        filler_[i] = static_cast<std::int32_t>((static_cast<std::int64_t>(ConcealmentAhead(i)) * (fade - i) +
                                                static_cast<std::int64_t>(filler_[i]) * i) / fade);
      }
      concealRemaining_ = 0;
    }
    first = false;
    stats_.noise += Write(std::span(filler_.data(), n), true, nowMs);
    count -= static_cast<std::int64_t>(n);
  }
}

std::int64_t PlayoutController::GapWaitMs(std::int64_t nowMs) {
  return LevelMs(nowMs) - (gap_ ? kGapWaitInGapMs : kGapWaitInSpeechMs);
}

std::int64_t PlayoutController::Starve(std::int64_t nowMs) {
  const std::int64_t level = LevelMs(nowMs);
  const std::int64_t wait = level - (gap_ ? kStarveMarginInGapMs : kStarveMarginInSpeechMs);
  if (wait >= kStarveWaitMs) return wait;
  const std::int64_t count = SamplesOf(kStarvationTargetMs - level);
  if (gap_) {
    Noise(count, nowMs);
  } else {
    Conceal(count, nowMs);
  }
  expectedTimestamp_ += static_cast<std::uint32_t>(count);
  return kStarveWaitMs;
}

std::size_t PlayoutController::Write(std::span<std::int32_t> block, bool filler, std::int64_t nowMs) {
  LevelMs(nowMs);
  const std::int64_t level = static_cast<std::int64_t>(samplesWritten_) - SamplesOf(nowMs - playoutBase_);
  const std::int64_t room = SamplesOf(kPlayoutCapMs) - level;
  std::size_t n = block.size();
  if (static_cast<std::int64_t>(n) > room) {
    // Filler gives way first: it is cut to the room left; speech that does not fit is dropped
    // whole rather than cut mid-block.
    n = filler && room > 0 ? static_cast<std::size_t>(room) : 0;
  }
  std::size_t taken = 0;
  if (n > 0) taken = std::min(output_.Transfer(block.first(n)), n);
  samplesWritten_ += taken;
  stats_.dropped += block.size() - taken;
  return taken;
}

void PlayoutController::ChoosePitchLag() {
  // S(T) reaches about 3.2e9 at full scale, beyond 32 bits.
  std::int64_t best = std::numeric_limits<std::int64_t>::max();
  for (int lag = kMinPitchLag; lag <= kMaxPitchLag; ++lag) {
    std::int64_t sum = 0;
    for (int k = 1; k <= kPitchWindow; ++k) {
      sum += std::llabs(static_cast<std::int64_t>(History(k)) - History(k + lag)) * (kPitchWeightBase - k);
    }
    if (sum < best) {
      best = sum;
      pitchLag_ = lag;
    }
  }
}

std::int32_t PlayoutController::ConcealmentAhead(int i) const {
  const int remaining = concealRemaining_ - 1 - i;
  if (remaining < 0) return 0;
  return static_cast<std::int32_t>(static_cast<std::int64_t>(History(pitchLag_ - i)) * remaining / kConcealmentScale);
}

void PlayoutController::AppendHistory(std::span<const std::int32_t> samples) {
  for (std::int32_t s : samples) history_[historyAt_++] = s;
}

}  // namespace corvina::media
