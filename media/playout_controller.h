// Turns the packets the jitter buffer hands over into a steady stream of received audio.
//
// It keeps an estimate of how much audio is queued ahead of the loudspeaker, the output level
// L = samples written / 8 - ms since the playout base, and fills what the network leaves out:
// loss concealment (the last pitch period repeated with falling amplitude) right after speech,
// comfort noise in silence, with short cross-fades where concealment gives way. Packets are
// decoded by their own payload type; types it does not play (telephone events, video,
// unknown) leave it untouched.
//
// The queue is bounded: no write takes L above kPlayoutCapMs. Filler (comfort noise,
// concealment) is cut to the room left, a decoded block that does not fit is dropped whole, and
// what the output refuses (a full ring) is not counted as written. So a burst after a stall or
// a peer whose clock runs fast cannot grow the delay past the cap.
//
// Owned by the receive thread; not locked. Times are media-clock milliseconds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "media/audio_sink.h"
#include "media/comfort_noise.h"
#include "media/rtp_packet.h"
#include "media/voice_codec.h"

namespace corvina::media {

inline constexpr std::int64_t kPlayoutCapMs = 300;
// Below this much queued audio the gap before a packet is filled.
inline constexpr std::int64_t kGapFillTargetMs = 125;
// Starvation keeps about this much audio queued.
inline constexpr std::int64_t kStarvationTargetMs = 70;
inline constexpr int kConcealmentSamples = 1875;
inline constexpr int kMinPitchLag = 40;
inline constexpr int kMaxPitchLag = 89;
inline constexpr int kCrossFadeSamples = 40;

// The negotiated dynamic types playout decodes besides 0, 8, 3 and 13 (kPayloadNone = none).
struct PlayoutTypes {
  std::uint8_t comfortNoise = kPayloadNone;
  std::uint8_t g726 = kPayloadNone;
};

struct PlayoutStats {
  std::uint64_t decoded = 0;    // decoded samples written
  std::uint64_t concealed = 0;  // concealment samples written
  std::uint64_t noise = 0;      // comfort-noise samples written
  std::uint64_t dropped = 0;    // samples not written because of the cap or a full output
};

class PlayoutController {
 public:
  // `output` (the speaker feed and recording tap) must outlive the controller.
  PlayoutController(AudioSink& output, PlayoutTypes types, std::uint32_t noiseSeed, std::int64_t nowMs);

  void SetPayloadTypes(PlayoutTypes types) { types_ = types; }
  // Whether packets of this payload type are played (voice or comfort noise).
  bool Plays(std::uint8_t payloadType) const;

  // Plays one datagram; `forced` when it was taken although packets before it are missing.
  void Play(std::span<const std::uint8_t> datagram, bool forced, std::int64_t nowMs);
  // How long to wait for a missing packet before playing past it (may be <= 0).
  std::int64_t GapWaitMs(std::int64_t nowMs);
  // Nothing to play: fills the output when it runs low; returns the ms to wait next.
  std::int64_t Starve(std::int64_t nowMs);

  // The output level L in ms (restarting the estimate once the output has long run dry).
  std::int64_t LevelMs(std::int64_t nowMs);
  bool InGap() const { return gap_; }
  const PlayoutStats& Stats() const { return stats_; }

 private:
  enum class Kind { kIgnored, kPcmu, kPcma, kGsm, kG726, kComfortNoise };
  static constexpr std::size_t kPiece = 320;

  Kind KindOf(std::uint8_t payloadType) const;
  void Decode(PayloadDecoder& decoder, std::span<const std::uint8_t> payload, std::size_t chunkBytes,
              std::int64_t nowMs);
  void OutputDecoded(std::span<std::int32_t> block, std::int64_t nowMs);
  void Conceal(std::int64_t count, std::int64_t nowMs);
  void Noise(std::int64_t count, std::int64_t nowMs);
  // Writes to the output within the cap; returns the samples taken.
  std::size_t Write(std::span<std::int32_t> block, bool filler, std::int64_t nowMs);
  void ChoosePitchLag();
  // The i-th sample that concealment would produce next (without producing it).
  std::int32_t ConcealmentAhead(int i) const;
  std::int32_t History(int back) const { return history_[static_cast<std::uint8_t>(historyAt_ - back)]; }
  void AppendHistory(std::span<const std::int32_t> samples);

  AudioSink& output_;
  PlayoutTypes types_;
  std::array<std::int32_t, 256> history_{};
  std::uint8_t historyAt_ = 0;  // next history entry to write (wraps at 256)
  int concealRemaining_ = 0;    // 0 = not concealing
  int pitchLag_ = kMinPitchLag;
  PayloadDecoder pcmu_{CodecId::kPcmu};
  PayloadDecoder pcma_{CodecId::kPcma};
  PayloadDecoder gsm_{CodecId::kGsm};
  PayloadDecoder g726_{CodecId::kG726_32};
  bool ssrcKnown_ = false;
  std::uint32_t ssrc_ = 0;
  std::uint32_t expectedTimestamp_ = 0;
  std::int64_t playoutBase_;
  std::uint64_t samplesWritten_ = 0;
  bool gap_ = true;
  ComfortNoise noise_;
  PlayoutStats stats_;
  std::array<std::int32_t, kPiece> decoded_{};  // one decoded block
  std::array<std::int32_t, kPiece> filler_{};   // one piece of concealment or noise
};

}  // namespace corvina::media
