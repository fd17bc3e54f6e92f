#include "media/intercom_buffer.h"

#include <algorithm>
#include <vector>

namespace corvina::media {

std::shared_ptr<IntercomBuffer> IntercomBuffer::Create() {
  std::optional<platform::ScratchFile> file = platform::ScratchFile::Create();
  if (!file) return nullptr;
  return std::make_shared<IntercomBuffer>(std::move(*file));
}

std::size_t IntercomBuffer::Write(std::span<const std::int16_t> samples) {
  std::lock_guard<std::mutex> hold(lock_);
  const std::uint64_t room = (kMaxBytes - (writeAt_ - readAt_)) / 2;
  const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(room, samples.size()));
  std::vector<unsigned char> bytes(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    const auto v = static_cast<std::uint16_t>(samples[i]);
    bytes[2 * i] = static_cast<unsigned char>(v & 0xFF);
    bytes[2 * i + 1] = static_cast<unsigned char>(v >> 8);
  }
  if (count == 0 || !file_.WriteAt(writeAt_, bytes.data(), bytes.size())) return 0;
  writeAt_ += bytes.size();
  return count;
}

std::size_t IntercomBuffer::Read(std::span<std::int16_t> out) {
  std::lock_guard<std::mutex> hold(lock_);
  const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>((writeAt_ - readAt_) / 2, out.size()));
  std::vector<unsigned char> bytes(count * 2);
  if (count == 0 || !file_.ReadAt(readAt_, bytes.data(), bytes.size())) return 0;
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
  }
  readAt_ += bytes.size();
  // All played: the file starts again from nothing rather than growing for ever.
  if (readAt_ == writeAt_) readAt_ = writeAt_ = 0, file_.Clear();
  return count;
}

std::uint64_t IntercomBuffer::BufferedMs() const {
  std::lock_guard<std::mutex> hold(lock_);
  return (writeAt_ - readAt_) / 2 * 1000 / kSampleRate;
}

}  // namespace corvina::media
