#include "media/receive_taps.h"

#include <algorithm>
#include <utility>

#include "media/sample_scale.h"

namespace corvina::media {

namespace {

AudioSinkPtr OrNull(AudioSinkPtr sink) { return sink ? std::move(sink) : std::make_shared<NullSink>(); }

}  // namespace

ReceiveTaps::ReceiveTaps()
    : AudioSink(kSampleRate, 1), feed_(std::make_shared<NullSink>()), tap_(std::make_shared<NullSink>()) {}

void ReceiveTaps::SetSpeakerFeed(AudioSinkPtr feed) {
  feed = OrNull(std::move(feed));
  std::lock_guard guard(lock_);
  std::swap(feed_, feed);
  // The old feed goes when `feed` leaves scope, after the lock.
}

void ReceiveTaps::SetReceivedTap(AudioSinkPtr tap) {
  tap = OrNull(std::move(tap));
  std::lock_guard guard(lock_);
  std::swap(tap_, tap);
}

AudioSinkPtr ReceiveTaps::SpeakerFeed() const {
  std::lock_guard guard(lock_);
  return feed_;
}

AudioSinkPtr ReceiveTaps::ReceivedTap() const {
  std::lock_guard guard(lock_);
  return tap_;
}

std::size_t ReceiveTaps::Transfer(std::span<std::int32_t> samples) {
  std::lock_guard guard(lock_);
  std::size_t fed = 0;
  for (std::size_t at = 0; at < samples.size(); at += kChunk) {
    const std::size_t n = std::min(kChunk, samples.size() - at);
    const std::span<std::int32_t> chunk = samples.subspan(at, n);
    // Each sink may use what it is given as scratch: the feed gets a copy, the tap the original.
    std::copy(chunk.begin(), chunk.end(), scratch_.begin());
    fed += std::min(feed_->Transfer(std::span(scratch_.data(), n)), n);
    tap_->Transfer(chunk);
  }
  return fed;
}

}  // namespace corvina::media
