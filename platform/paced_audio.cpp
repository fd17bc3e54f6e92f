#include "platform/paced_audio.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/worker_thread.h"

namespace corvina::platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

// The time `frames` frames take at `rate`, from `epoch`.
SteadyClock::time_point FramesAfter(SteadyClock::time_point epoch, std::uint64_t frames, std::uint32_t rate) {
  return epoch + std::chrono::microseconds(frames * 1000000 / rate);
}

// Milliseconds left until `when`, rounded up (0 when it has passed).
int MsUntil(SteadyClock::time_point when) {
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(when - SteadyClock::now()).count();
  return left <= 0 ? 0 : static_cast<int>((left + 999) / 1000);
}

class PacedOutput final : public AudioOutput, private WorkerThread {
 public:
  PacedOutput(const AudioFormat& format, std::unique_ptr<PcmBlockWriter> writer)
      : WorkerThread("audio-out-pace"),
        format_(format),
        plan_(PlaybackBufferPlan(format.sampleRate)),
        writer_(std::move(writer)) {
    Start();
  }
  ~PacedOutput() override { StopAndJoin(); }

  AudioFormat Format() const override { return format_; }
  AudioBufferPlan Plan() const override { return plan_; }
  bool Queue(std::span<const std::int16_t> samples) override {
    if (samples.empty()) return !Lost();  // nothing to play: no buffer is taken
    {
      std::lock_guard lock(mutex_);
      if (lost_ || static_cast<int>(queue_.size()) >= plan_.bufferCount) return false;
      queue_.emplace_back(samples.begin(), samples.end());
    }
    wake_.Set();
    return true;
  }
  int QueuedBuffers() const override {
    std::lock_guard lock(mutex_);
    return static_cast<int>(queue_.size());
  }
  Event& BufferDone() override { return done_; }
  bool Lost() const override {
    std::lock_guard lock(mutex_);
    return lost_;
  }

 private:
  void Run() override {
    SteadyClock::time_point epoch = SteadyClock::now();
    std::uint64_t frames = 0;  // frames played since `epoch`
    while (!StopRequested()) {
      std::vector<std::int16_t> block;
      {
        std::lock_guard lock(mutex_);
        if (!queue_.empty()) block = queue_.front();
      }
      if (block.empty()) {
        // Ran dry: the device plays silence and its clock starts again with the next buffer.
        if (Wait(wake_, 100) == WaitOutcome::kStopped) return;
        epoch = SteadyClock::now();
        frames = 0;
        continue;
      }
      bool written = writer_->Write(block);
      frames += block.size() / static_cast<std::size_t>(std::max(1, format_.channels));
      if (written && !Sleep(MsUntil(FramesAfter(epoch, frames, format_.sampleRate)))) return;
      {
        std::lock_guard lock(mutex_);
        if (!queue_.empty()) queue_.pop_front();
        if (!written) {
          lost_ = true;
          queue_.clear();
        }
      }
      done_.Set();
      if (!written) return;
    }
  }

  const AudioFormat format_;
  const AudioBufferPlan plan_;
  const std::unique_ptr<PcmBlockWriter> writer_;  // pacing thread only
  mutable std::mutex mutex_;
  std::deque<std::vector<std::int16_t>> queue_;  // guarded by mutex_; the front is playing
  bool lost_ = false;                            // guarded by mutex_
  Event wake_;
  Event done_;
};

class PacedInput final : public AudioInput, private WorkerThread {
 public:
  PacedInput(const AudioFormat& format, std::unique_ptr<PcmBlockReader> reader)
      : WorkerThread("audio-in-pace"),
        format_(format),
        plan_(CaptureBufferPlan(format.sampleRate)),
        reader_(std::move(reader)) {
    Start();
  }
  ~PacedInput() override { StopAndJoin(); }

  AudioFormat Format() const override { return format_; }
  AudioBufferPlan Plan() const override { return plan_; }
  bool TakeBlock(std::vector<std::int16_t>* block) override {
    std::lock_guard lock(mutex_);
    if (ready_.empty()) return false;
    *block = std::move(ready_.front());
    ready_.pop_front();
    return true;
  }
  Event& BlockReady() override { return readyEvent_; }
  bool Lost() const override { return lost_.load(); }

 private:
  void Run() override {
    const SteadyClock::time_point epoch = SteadyClock::now();
    const std::size_t blockSamples = static_cast<std::size_t>(plan_.blockFrames) * format_.channels;
    std::uint64_t frames = 0;
    while (!StopRequested()) {
      frames += static_cast<std::uint64_t>(plan_.blockFrames);
      if (!Sleep(MsUntil(FramesAfter(epoch, frames, format_.sampleRate)))) return;
      std::vector<std::int16_t> block(blockSamples);
      if (!reader_->Read(block)) {
        lost_ = true;
        readyEvent_.Set();
        return;
      }
      {
        std::lock_guard lock(mutex_);
        // Like a sound card with no free buffer, a block nobody took in time is lost.
        if (static_cast<int>(ready_.size()) < plan_.bufferCount) ready_.push_back(std::move(block));
      }
      readyEvent_.Set();
    }
  }

  const AudioFormat format_;
  const AudioBufferPlan plan_;
  const std::unique_ptr<PcmBlockReader> reader_;  // pacing thread only
  std::mutex mutex_;
  std::deque<std::vector<std::int16_t>> ready_;  // guarded by mutex_
  std::atomic<bool> lost_{false};
  Event readyEvent_;
};

}  // namespace

std::unique_ptr<AudioOutput> MakePacedOutput(const AudioFormat& format, std::unique_ptr<PcmBlockWriter> writer) {
  return std::make_unique<PacedOutput>(format, std::move(writer));
}

std::unique_ptr<AudioInput> MakePacedInput(const AudioFormat& format, std::unique_ptr<PcmBlockReader> reader) {
  return std::make_unique<PacedInput>(format, std::move(reader));
}

}  // namespace corvina::platform
