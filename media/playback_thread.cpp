#include "media/playback_thread.h"

#include <algorithm>

#include "media/audio_texts.h"
#include "media/peak_meter.h"
#include "media/sample_scale.h"
#include "platform/null_audio.h"

namespace corvina::media {
namespace {

// How often the thread looks at a source that had nothing while no buffer is playing.
constexpr int kIdlePollMs = 10;
constexpr int kBufferWaitMs = 1000;
constexpr std::size_t kMaxReadSamples = 8192;

}  // namespace

PlaybackThread::PlaybackThread(std::unique_ptr<platform::AudioOutput> output, std::string deviceName,
                               platform::LogSink& log, const platform::MediaClock& clock, int volume,
                               std::function<void()> onDrained)
    : WorkerThread("audio-playback"),
      format_(output->Format()),
      plan_(output->Plan()),
      deviceName_(std::move(deviceName)),
      log_(log),
      clock_(clock),
      onDrained_(std::move(onDrained)),
      output_(std::move(output)),
      gain_(volume) {}

PlaybackThread::~PlaybackThread() { StopAndJoin(); }

void PlaybackThread::SetSource(AudioSinkPtr source) {
  std::lock_guard lock(sourceMutex_);
  source_ = std::move(source);
}

std::uint64_t PlaybackThread::PlayingPosition() const {
  const std::uint64_t written = written_.load();
  const std::uint64_t played = played_.load();
  const std::int64_t since = std::max<std::int64_t>(0, clock_.NowMs() - playedAtMs_.load());
  return std::min(written, played + static_cast<std::uint64_t>(since) * sourceRate_.load() / 1000);
}

void PlaybackThread::Run() {
  while (!StopRequested()) {
    if (output_->Lost()) ReplaceLostDevice();
    CountPlayedBuffers();
    QueuePending();
    if (pending_.empty() && output_->QueuedBuffers() < plan_.bufferCount) {
      AudioSinkPtr source;
      {
        std::lock_guard lock(sourceMutex_);
        source = source_;
      }
      if (source && FeedOnce(*source)) continue;
      if (output_->QueuedBuffers() == 0) {
        if (!drainedReported_ && onDrained_) onDrained_();
        drainedReported_ = true;
        if (Wait(output_->BufferDone(), kIdlePollMs) == platform::WaitOutcome::kStopped) return;
        continue;
      }
    }
    if (Wait(output_->BufferDone(), kBufferWaitMs) == platform::WaitOutcome::kStopped) return;
  }
}

bool PlaybackThread::FeedOnce(AudioSink& source) {
  const int channels = std::max<int>(1, source.Channels());
  const platform::AudioBufferPlan sourcePlan = platform::PlaybackBufferPlan(source.SampleRate());
  const std::size_t wanted =
      std::min(kMaxReadSamples / channels * channels, static_cast<std::size_t>(sourcePlan.blockFrames) * channels);
  read_.resize(wanted);
  const std::size_t got = std::min(source.Transfer(read_), wanted) / channels * channels;
  if (got == 0) return false;

  sourceRate_ = source.SampleRate();
  if (source.SampleRate() != format_.sampleRate || channels != format_.channels) {
    if (!converter_ || converter_->InRate() != static_cast<int>(source.SampleRate()) ||
        converter_->InChannels() != channels) {
      converter_.emplace(static_cast<int>(source.SampleRate()), channels, static_cast<int>(format_.sampleRate),
                         format_.channels);
    }
    converted_.clear();
    converter_->Process(std::span(read_).first(got), converted_);
  } else {
    converted_.assign(read_.begin(), read_.begin() + static_cast<std::ptrdiff_t>(got));
  }
  gain_.Apply(converted_, format_.channels);
  if (onPeak_) onPeak_(Peak(converted_));
  const std::size_t start = pending_.size();
  pending_.resize(start + converted_.size());
  std::transform(converted_.begin(), converted_.end(), pending_.begin() + static_cast<std::ptrdiff_t>(start), ToPcm16);
  pendingSourceFrames_ += got / channels;
  // Positions are counted in the source's own numbering (the echo reference's), or by the
  // thread for a source that does not count.
  const std::uint64_t reported = source.Position();
  ownCount_ = reported != 0 ? reported : ownCount_ + got / channels;
  pendingEndPosition_ = ownCount_;
  QueuePending();
  return true;
}

void PlaybackThread::QueuePending() {
  const std::size_t blockSamples = static_cast<std::size_t>(plan_.blockFrames) * format_.channels;
  while (!pending_.empty()) {
    const std::size_t chunk = std::min(pending_.size(), blockSamples);
    const bool wasIdle = output_->QueuedBuffers() == 0;
    if (!output_->Queue(std::span(pending_).first(chunk))) return;
    const std::uint64_t frames = pendingSourceFrames_ * chunk / pending_.size();
    pendingSourceFrames_ -= frames;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(chunk));
    const std::uint64_t end = pendingEndPosition_ - pendingSourceFrames_;
    // Playing starts again now after the device ran dry.
    if (wasIdle) {
      played_ = end - frames;
      playedAtMs_ = clock_.NowMs();
    }
    queuedEnds_.push_back(end);
    written_ = end;
    drainedReported_ = false;
  }
}

void PlaybackThread::CountPlayedBuffers() {
  const std::size_t stillQueued = static_cast<std::size_t>(std::max(0, output_->QueuedBuffers()));
  if (queuedEnds_.size() <= stillQueued) return;
  while (queuedEnds_.size() > stillQueued) {
    played_ = queuedEnds_.front();
    queuedEnds_.pop_front();
  }
  playedAtMs_ = clock_.NowMs();
}

void PlaybackThread::ReplaceLostDevice() {
  log_.Log(std::string(kLogPlaybackLost) + deviceName_, platform::kLogError);
  platform::NullAudioSystem silent;
  output_ = silent.OpenOutput({}, format_).stream;
  queuedEnds_.clear();
  pending_.clear();
  pendingSourceFrames_ = 0;
  played_ = written_.load();
  playedAtMs_ = clock_.NowMs();
}

}  // namespace corvina::media
