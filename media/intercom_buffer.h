// An intercom line's received audio, kept until the speaker is free to play it: a FIFO of
// 16-bit little-endian 8 kHz mono samples in a nameless scratch file, at most 120 s unplayed
// (what comes beyond is dropped). Shared between the thread that stores the line's audio and
// the playback thread, hence reference counted; its lock guards the file and the offsets.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

#include "platform/scratch_file.h"

namespace corvina::media {

class IntercomBuffer {
 public:
  static constexpr std::uint64_t kSampleRate = 8000;
  static constexpr std::uint64_t kMaxMs = 120'000;
  static constexpr std::uint64_t kMaxBytes = kMaxMs * kSampleRate / 1000 * 2;

  // Null when the scratch file cannot be made.
  static std::shared_ptr<IntercomBuffer> Create();

  // Appends what fits under the bound; returns the samples kept.
  std::size_t Write(std::span<const std::int16_t> samples);
  // Takes up to out.size() of the oldest samples; returns how many.
  std::size_t Read(std::span<std::int16_t> out);
  std::uint64_t BufferedMs() const;

  explicit IntercomBuffer(platform::ScratchFile file) : file_(std::move(file)) {}

 private:
  mutable std::mutex lock_;
  platform::ScratchFile file_;  // guarded by lock_
  std::uint64_t readAt_ = 0;    // guarded by lock_: byte offsets of the oldest unplayed sample
  std::uint64_t writeAt_ = 0;   // and of the end
};

}  // namespace corvina::media
