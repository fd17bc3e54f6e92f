// What the media tests share: a bounded poll of a condition, an activity log that keeps its
// lines, and an audio sink that keeps its samples.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "media/audio_sink.h"
#include "platform/event.h"
#include "platform/log_sink.h"

namespace corvina::media::testing {

// Polls `done` every 2 ms until it holds or `timeoutMs` has passed; false on the time-out.
template <typename Pred>
bool Eventually(Pred done, int timeoutMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    platform::Event idle;
    platform::WaitForAny({platform::WaitSource::Of(idle)}, 2);
  }
  return true;
}

// Keeps every line logged, from any thread.
class RecordingLog final : public platform::LogSink {
 public:
  void Log(std::string_view message, std::uint8_t level) override {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(message);
    levels_.push_back(level);
  }
  std::vector<std::string> Lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  // Each line as "<message> @<level>".
  std::vector<std::string> LinesWithLevels() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < lines_.size(); ++i) out.push_back(lines_[i] + " @" + std::to_string(levels_[i]));
    return out;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
  std::vector<std::uint8_t> levels_;
};

// An 8000 Hz mono chain end that keeps everything written to it, from any thread.
class CollectingSink final : public AudioSink {
 public:
  CollectingSink() : AudioSink(8000, 1) {}
  std::size_t Transfer(std::span<std::int32_t> samples) override {
    std::lock_guard lock(mutex_);
    got_.insert(got_.end(), samples.begin(), samples.end());
    return samples.size();
  }
  std::vector<std::int32_t> Got() {
    std::lock_guard lock(mutex_);
    return got_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::int32_t> got_;
};

}  // namespace corvina::media::testing
