// The processors of the audio chain as streams, and the two chains a call connects:
//
//   capture:  capture thread -> EchoSuppressorSink -> GainControlSink -> the session's sender
//   playback: the session's reader -> EchoReferenceTap -> playback thread
//
// Each processor is left out when its switch is off. One EchoSuppressor serves both chains
// (the tap feeds its reference, the sink cleans the microphone); it lives as long as either
// chain holds it and saves what it learned when the last one lets go, so a call disconnects
// both chains from the device threads before dropping them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "media/audio_sink.h"
#include "media/echo_suppressor.h"
#include "media/gain_control.h"

namespace corvina::media {

// The source position the loudspeaker is playing now, when there is a playback device.
using PlayingPositionFn = std::function<std::optional<std::uint64_t>()>;

// Capture side of the suppressor: cleans what is written and hands it on (capture thread).
class EchoSuppressorSink final : public AudioFilter {
 public:
  EchoSuppressorSink(std::shared_ptr<EchoSuppressor> suppressor, PlayingPositionFn playingNow, AudioSinkPtr next)
      : AudioFilter(std::move(next)), suppressor_(std::move(suppressor)), playingNow_(std::move(playingNow)) {}
  std::size_t Transfer(std::span<std::int32_t> samples) override;

 private:
  const std::shared_ptr<EchoSuppressor> suppressor_;
  const PlayingPositionFn playingNow_;
  std::vector<std::int32_t> out_;  // capture thread
};

// Loudspeaker side: reads from the wrapped source, hands the samples on unchanged and keeps
// them as the suppressor's reference (playback thread).
class EchoReferenceTap final : public AudioFilter {
 public:
  EchoReferenceTap(std::shared_ptr<EchoSuppressor> suppressor, AudioSinkPtr source)
      : AudioFilter(std::move(source)), suppressor_(std::move(suppressor)) {}
  std::size_t Transfer(std::span<std::int32_t> samples) override;

 private:
  const std::shared_ptr<EchoSuppressor> suppressor_;
};

// The automatic gain control as a sink (capture thread).
class GainControlSink final : public AudioFilter {
 public:
  explicit GainControlSink(AudioSinkPtr next) : AudioFilter(std::move(next)), agc_(SampleRate(), Channels()) {}
  std::size_t Transfer(std::span<std::int32_t> samples) override;

 private:
  AutomaticGainControl agc_;  // capture thread
};

struct CaptureChainOptions {
  std::shared_ptr<EchoSuppressor> suppressor;  // null: no echo suppression
  PlayingPositionFn playingNow;                // the playback thread's estimate
  bool gainControl = true;
};

// The head the capture thread writes to, ending in `sender`.
AudioSinkPtr BuildCaptureChain(AudioSinkPtr sender, const CaptureChainOptions& options);
// The source the playback thread reads from, starting at `reader`.
AudioSinkPtr BuildPlaybackChain(AudioSinkPtr reader, std::shared_ptr<EchoSuppressor> suppressor);

}  // namespace corvina::media
