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

class RingWriter final : public AudioSink {
 public:
  RingWriter(std::shared_ptr<Ring> ring, std::uint32_t rate) : AudioSink(rate, 1), ring_(std::move(ring)) {}

  std::size_t Transfer(std::span<std::int32_t> in) override {
    std::lock_guard guard(ring_->lock);
    const std::size_t capacity = ring_->samples.size();
    const std::size_t room = capacity - static_cast<std::size_t>(ring_->written - ring_->read);
    const std::size_t n = std::min(room, in.size());
    for (std::size_t i = 0; i < n; ++i) ring_->samples[(ring_->written + i) % capacity] = in[i];
    ring_->written += n;
    return n;
  }

  std::uint64_t Position() const override {
    std::lock_guard guard(ring_->lock);
    return ring_->written;
  }

 private:
  const std::shared_ptr<Ring> ring_;
};

class RingReader final : public AudioSink {
 public:
  RingReader(std::shared_ptr<Ring> ring, std::uint32_t rate) : AudioSink(rate, 1), ring_(std::move(ring)) {}

  std::size_t Transfer(std::span<std::int32_t> out) override {
    std::lock_guard guard(ring_->lock);
    const std::size_t capacity = ring_->samples.size();
    const std::size_t n = std::min(static_cast<std::size_t>(ring_->written - ring_->read), out.size());
    for (std::size_t i = 0; i < n; ++i) out[i] = ring_->samples[(ring_->read + i) % capacity];
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(n), out.end(), 0);
    ring_->read += n;
    return n;
  }

  std::uint64_t Position() const override {
    std::lock_guard guard(ring_->lock);
    return ring_->read;
  }

 private:
  const std::shared_ptr<Ring> ring_;
};

}  // namespace

AudioRingEnds MakeAudioRing(std::size_t capacity, std::uint32_t sampleRate) {
  auto ring = std::make_shared<Ring>(std::max<std::size_t>(capacity, 1));
  return {std::make_shared<RingWriter>(ring, sampleRate), std::make_shared<RingReader>(ring, sampleRate)};
}

}  // namespace corvina::media
