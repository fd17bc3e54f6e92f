#include "app/controller/intercom_playback.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "media/sample_scale.h"

namespace corvina::app {
namespace {

int Peak(std::span<const std::int16_t> pcm) {
  int peak = 0;
  for (std::int16_t s : pcm) peak = std::max(peak, std::abs(static_cast<int>(s)));
  return peak;
}

// A line's speaker feed while it is not live: the receive thread's blocks go into the buffer.
// The receive thread plays out at the device's pace whether packets come or not, so only what
// is heard is kept, with its pauses up to the hangover: a message waits, silence does not.
class BufferFeed final : public media::AudioSink {
 public:
  explicit BufferFeed(std::shared_ptr<media::IntercomBuffer> buffer)
      : AudioSink(media::kSampleRate, 1), buffer_(std::move(buffer)) {}
  std::size_t Transfer(std::span<std::int32_t> samples) override {
    pcm_.resize(samples.size());
    std::ranges::transform(samples, pcm_.begin(), media::ToPcm16);
    std::size_t keep = samples.size();
    if (Peak(pcm_) >= IntercomPlayback::kAudiblePeak) {
      hangover_ = IntercomPlayback::kHangoverSamples;
    } else {
      keep = std::min(hangover_, keep);
      hangover_ -= keep;
    }
    if (keep > 0) buffer_->Write(std::span(pcm_).first(keep));
    return samples.size();
  }

 private:
  const std::shared_ptr<media::IntercomBuffer> buffer_;
  std::vector<std::int16_t> pcm_;  // receive thread
  std::size_t hangover_ = 0;       // receive thread: quiet samples still kept
};

// What the speaker reads while the buffers play: line 0's unplayed audio, then line 1's.
class BufferPlayout final : public media::AudioSink {
 public:
  BufferPlayout(std::array<std::shared_ptr<media::IntercomBuffer>, 2> buffers, IntercomPlayback::Played played)
      : AudioSink(media::kSampleRate, 1), buffers_(std::move(buffers)), played_(std::move(played)) {}
  std::size_t Transfer(std::span<std::int32_t> samples) override {
    std::ranges::fill(samples, 0);
    pcm_.resize(samples.size());
    for (int line : {0, 1}) {
      const auto& buffer = buffers_[static_cast<std::size_t>(line)];
      const std::size_t got = buffer ? buffer->Read(pcm_) : 0;
      if (got == 0) continue;
      std::transform(pcm_.begin(), pcm_.begin() + static_cast<std::ptrdiff_t>(got), samples.begin(),
                     media::FromPcm16);
      // Silence is no use of the line.
      if (played_ && Peak(std::span(pcm_).first(got)) >= IntercomPlayback::kAudiblePeak) played_(line);
      return got;
    }
    return 0;
  }

 private:
  const std::array<std::shared_ptr<media::IntercomBuffer>, 2> buffers_;
  const IntercomPlayback::Played played_;
  std::vector<std::int16_t> pcm_;  // playback thread
};

}  // namespace

IntercomPlayback::~IntercomPlayback() {
  Halt();
  for (int line : {0, 1}) {
    if (Has(line)) setFeed_(line, nullptr);
  }
}

bool IntercomPlayback::Start(int line) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (line != 0 && line != 1) return false;
  if (!buffers_[Index(line)]) buffers_[Index(line)] = media::IntercomBuffer::Create();
  return buffers_[Index(line)] != nullptr;
}

void IntercomPlayback::Stop(int line, bool live) {
  CORVINA_CHECK_THREAD(uiThread_);
  if ((line != 0 && line != 1) || !buffers_[Index(line)]) return;
  // The feed lets go first, then the speaker's source; the file goes with the last of them.
  if (!live) setFeed_(line, nullptr);
  buffers_[Index(line)].reset();
  if (playing_[Index(line)]) Halt();
}

std::uint64_t IntercomPlayback::BufferedMs(int line) const {
  CORVINA_CHECK_THREAD(uiThread_);
  if (line != 0 && line != 1) return 0;
  const auto& buffer = buffers_[Index(line)];
  return buffer ? buffer->BufferedMs() : 0;
}

void IntercomPlayback::Halt() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (speaker_) speaker_->StopAndJoin();
  speaker_.reset();
  source_.reset();
  playing_ = {};
}

void IntercomPlayback::Update(std::array<bool, 2> live, bool speakerFree) {
  CORVINA_CHECK_THREAD(uiThread_);
  for (int line : {0, 1}) {
    const auto& buffer = buffers_[Index(line)];
    if (buffer && !live[Index(line)]) setFeed_(line, std::make_shared<BufferFeed>(buffer));
  }
  const bool any = buffers_[0] || buffers_[1];
  if (!speakerFree || !any) {
    Halt();
    return;
  }
  // The speaker keeps playing unless the set of buffers changed.
  if (source_ && playing_ == buffers_) return;
  Halt();
  playing_ = buffers_;
  source_ = std::make_shared<BufferPlayout>(playing_, played_);
  speaker_ = openSpeaker_(source_);
}

}  // namespace corvina::app
