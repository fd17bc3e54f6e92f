#include "media/audio_ring.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace corvina::media {

namespace {

struct Ring {
  explicit Ring(std::size_t capacity) : samples(capacity) {}

  std::mutex lock;
  std::vector<std::int32_t> samples;  // guarded by lock; fixed size
  std::uint64_t written = 0;          // guarded by lock
  std::uint64_t read = 0;             // guarded by lock
};

// One end of the ring; Transfer moves samples in (the writer) or out (the reader), and
// Position counts what that end has moved.
template <bool kWriter>
class RingEnd final : public AudioSink {
 public:
  RingEnd(std::shared_ptr<Ring> ring, std::uint32_t rate) : AudioSink(rate, 1), ring_(std::move(ring)) {}

  std::size_t Transfer(std::span<std::int32_t> samples) override {
    std::lock_guard guard(ring_->lock);
    const std::size_t capacity = ring_->samples.size();
    const auto filled = static_cast<std::size_t>(ring_->written - ring_->read);
    const std::size_t n = std::min(kWriter ? capacity - filled : filled, samples.size());
    std::uint64_t& at = kWriter ? ring_->written : ring_->read;
    for (std::size_t i = 0; i < n; ++i) {
      std::int32_t& slot = ring_->samples[(at + i) % capacity];
      if constexpr (kWriter) {
        slot = samples[i];
      } else {
        samples[i] = slot;
      }
    }
    if constexpr (!kWriter) std::fill(samples.begin() + static_cast<std::ptrdiff_t>(n), samples.end(), 0);
    at += n;
    return n;
  }

  std::uint64_t Position() const override {
    std::lock_guard guard(ring_->lock);
    return kWriter ? ring_->written : ring_->read;
  }

 private:
  const std::shared_ptr<Ring> ring_;
};

}  // namespace

AudioRingEnds MakeAudioRing(std::size_t capacity, std::uint32_t sampleRate) {
  auto ring = std::make_shared<Ring>(std::max<std::size_t>(capacity, 1));
  return {std::make_shared<RingEnd<true>>(ring, sampleRate), std::make_shared<RingEnd<false>>(ring, sampleRate)};
}

}  // namespace corvina::media
