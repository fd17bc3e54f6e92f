#include "media/audio_chain.h"

namespace corvina::media {

std::size_t EchoSuppressorSink::Transfer(std::span<std::int32_t> samples) {
  out_.clear();
  suppressor_->ProcessCapture(samples, playingNow_ ? playingNow_() : std::nullopt, out_);
  if (!out_.empty()) next_->Transfer(out_);
  return samples.size();
}

std::size_t EchoReferenceTap::Transfer(std::span<std::int32_t> samples) {
  const std::size_t got = next_->Transfer(samples);
  suppressor_->FeedReference(samples.first(std::min(got, samples.size())), next_->Position());
  return got;
}

std::size_t GainControlSink::Transfer(std::span<std::int32_t> samples) {
  agc_.Process(samples);  // a sink may work in the buffer it is given
  return next_->Transfer(samples);
}

AudioSinkPtr BuildCaptureChain(AudioSinkPtr sender, const CaptureChainOptions& options) {
  AudioSinkPtr head = std::move(sender);
  if (options.gainControl) head = std::make_shared<GainControlSink>(std::move(head));
  if (options.suppressor)
    head = std::make_shared<EchoSuppressorSink>(options.suppressor, options.playingNow, std::move(head));
  return head;
}

AudioSinkPtr BuildPlaybackChain(AudioSinkPtr reader, std::shared_ptr<EchoSuppressor> suppressor) {
  if (!suppressor) return reader;
  return std::make_shared<EchoReferenceTap>(std::move(suppressor), std::move(reader));
}

}  // namespace corvina::media
