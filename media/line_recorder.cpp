#include "media/line_recorder.h"

#include <algorithm>

#include "media/sample_scale.h"

namespace corvina::media {
namespace {

// What a session's recording tap is: it hands every block to its recorder.
class RecorderTap final : public AudioSink {
 public:
  RecorderTap(std::shared_ptr<LineRecorder> recorder, LineRecorder::Direction direction)
      : AudioSink(kSampleRate, 1), recorder_(std::move(recorder)), direction_(direction) {}
  std::size_t Transfer(std::span<std::int32_t> samples) override {
    recorder_->Feed(direction_, samples);
    return samples.size();
  }

 private:
  const std::shared_ptr<LineRecorder> recorder_;
  const LineRecorder::Direction direction_;
};

}  // namespace

std::shared_ptr<LineRecorder> LineRecorder::Create() { return std::shared_ptr<LineRecorder>(new LineRecorder()); }

AudioSinkPtr LineRecorder::Tap(Direction direction) {
  return std::make_shared<RecorderTap>(shared_from_this(), direction);
}

void LineRecorder::Ring::Append(std::span<const std::int32_t> in) {
  for (std::int32_t s : in) samples[(read + count++) % kRingSamples] = s;
}

void LineRecorder::Ring::AppendZeros(std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) samples[(read + count++) % kRingSamples] = 0;
}

void LineRecorder::Ring::Take(std::span<std::int32_t> out) {
  for (std::int32_t& s : out) {
    s = samples[read];
    read = (read + 1) % kRingSamples;
  }
  count -= out.size();
}

bool LineRecorder::Start(RecordingSinkPtr sink) {
  std::lock_guard guard(lock_);
  if (sink_) return false;
  for (Ring& ring : rings_) ring.read = ring.count = 0, ring.padded = false;
  sink_ = std::move(sink);
  return true;
}

RecordingSinkPtr LineRecorder::Stop() {
  RecordingSinkPtr sink;
  {
    std::lock_guard guard(lock_);
    if (!sink_) return nullptr;
    // The side that is ahead keeps its tail: the other gets silence to match.
    Ring& received = rings_[kReceived];
    Ring& sent = rings_[kSent];
    if (received.count > sent.count) sent.AppendZeros(received.count - sent.count);
    if (sent.count > received.count) received.AppendZeros(sent.count - received.count);
    while (received.count > 0) MixLocked(std::min(received.count, kMixBlock));
    sink = std::move(sink_);
  }
  sink->Close();
  return sink;
}

bool LineRecorder::Recording() const {
  std::lock_guard guard(lock_);
  return sink_ != nullptr;
}

void LineRecorder::Feed(Direction direction, std::span<const std::int32_t> samples) {
  std::lock_guard guard(lock_);
  if (!sink_) return;
  for (std::size_t at = 0; at < samples.size(); at += kMixBlock) {
    FeedPieceLocked(direction, samples.subspan(at, std::min(kMixBlock, samples.size() - at)));
  }
}

void LineRecorder::FeedPieceLocked(Direction direction, std::span<const std::int32_t> piece) {
  Ring& own = rings_[direction];
  Ring& other = rings_[1 - direction];
  own.Append(piece);
  if (own.count > other.count) {
    const std::size_t excess = own.count - other.count;
    if (other.padded || excess * 4 >= kPadBytes) {
      other.AppendZeros(excess);
      other.padded = true;
    }
  }
  for (std::size_t m = std::min(own.count, other.count); m > 0; m = std::min(own.count, other.count)) {
    MixLocked(std::min(m, kMixBlock));
  }
  own.padded = false;
}

void LineRecorder::MixLocked(std::size_t samples) {
  const std::span<std::int32_t> mix(mix_.data(), samples);
  const std::span<std::int32_t> other(other_.data(), samples);
  rings_[kReceived].Take(mix);
  rings_[kSent].Take(other);
  for (std::size_t i = 0; i < samples; ++i) {
    mix[i] = ClipToFullScale(static_cast<std::int64_t>(mix[i]) + other[i]);
  }
  sink_->Write(mix);
}

}  // namespace corvina::media
