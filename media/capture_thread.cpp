#include "media/capture_thread.h"

#include <algorithm>
#include <cstdlib>

#include "media/audio_texts.h"
#include "media/gain_control.h"
#include "media/sample_scale.h"
#include "platform/null_audio.h"

namespace corvina::media {

int AudioLevels::MeterLevel() const { return AutomaticGainControl::BlockLevel(std::max(peaks[0], peaks[1])); }

CaptureThread::CaptureThread(std::unique_ptr<platform::AudioInput> input, std::string deviceName,
                             platform::LogSink& log, int volume, LevelsCallback onLevels)
    : WorkerThread("audio-capture"),
      format_(input->Format()),
      deviceName_(std::move(deviceName)),
      log_(log),
      onLevels_(std::move(onLevels)),
      input_(std::move(input)),
      gain_(volume) {
  if (format_.sampleRate != static_cast<std::uint32_t>(kSampleRate) || format_.channels != 1) {
    converter_.emplace(static_cast<int>(format_.sampleRate), format_.channels, kSampleRate, 1);
  }
}

CaptureThread::~CaptureThread() { StopAndJoin(); }

void CaptureThread::SetChainHead(AudioSinkPtr head) {
  std::lock_guard lock(headMutex_);
  head_ = std::move(head);
}

void CaptureThread::Run() {
  std::vector<std::int16_t> block;
  while (!StopRequested()) {
    platform::WaitOutcome outcome = Wait(input_->BlockReady(), 1000);
    if (outcome == platform::WaitOutcome::kStopped) return;
    // A chain slower than the device (a sender holding itself to real time) always finds the
    // next block waiting: the stop request is looked at between blocks, not only when idle.
    while (!StopRequested() && input_->TakeBlock(&block)) Handle(block);
    if (input_->Lost()) ReplaceLostDevice();
  }
}

void CaptureThread::ReplaceLostDevice() {
  log_.Log(std::string(kLogCaptureLost) + deviceName_, platform::kLogError);
  platform::NullAudioSystem silent;
  input_ = silent.OpenInput({}, format_).stream;
}

void CaptureThread::Handle(const std::vector<std::int16_t>& block) {
  samples_.resize(block.size());
  std::transform(block.begin(), block.end(), samples_.begin(), FromPcm16);
  gain_.Apply(samples_, format_.channels);

  AudioLevels levels;
  levels.channels = std::min(format_.channels, 2);
  for (std::size_t i = 0; i < samples_.size(); ++i) {
    int channel = static_cast<int>(i % static_cast<std::size_t>(format_.channels));
    if (channel < 2) levels.peaks[channel] = std::max(levels.peaks[channel], std::abs(samples_[i]));
  }
  if (onLevels_ && levels != lastLevels_) onLevels_(levels);
  lastLevels_ = levels;

  std::span<std::int32_t> out(samples_);
  if (converter_) {
    converted_.clear();
    converter_->Process(samples_, converted_);
    out = converted_;
  }
  AudioSinkPtr head;
  {
    std::lock_guard lock(headMutex_);
    head = head_;
  }
  if (head && !out.empty()) head->Transfer(out);
}

}  // namespace corvina::media
