#include "media/wav_file_source.h"

#include <algorithm>

namespace corvina::media {

std::shared_ptr<WavFileSource> WavFileSource::Open(const std::string& path, bool loop) {
  auto reader = std::make_unique<WavReader>();
  if (reader->Open(path) != WavError::kNone) return nullptr;
  return std::shared_ptr<WavFileSource>(new WavFileSource(std::move(reader), loop));
}

WavFileSource::WavFileSource(std::unique_ptr<WavReader> reader, bool loop)
    : AudioSink(reader->Format().sampleRate, 1), reader_(std::move(reader)), loop_(loop) {}

std::size_t WavFileSource::Transfer(std::span<std::int32_t> samples) {
  std::size_t got = silentForever_ ? 0 : reader_->ReadMono(samples);
  while (loop_ && !silentForever_ && got < samples.size()) {
    // Back to the start; a pass that yields nothing means there is nothing to loop.
    const std::size_t more = reader_->Rewind() ? reader_->ReadMono(samples.subspan(got)) : 0;
    if (more == 0) silentForever_ = true;
    got += more;
  }
  std::fill(samples.begin() + static_cast<std::ptrdiff_t>(got), samples.end(), 0);
  return loop_ ? samples.size() : got;
}

std::size_t SampleBufferSource::Transfer(std::span<std::int32_t> samples) {
  const std::size_t n = std::min(samples.size(), samples_.size() - at_);
  std::copy_n(samples_.begin() + static_cast<std::ptrdiff_t>(at_), n, samples.begin());
  std::fill(samples.begin() + static_cast<std::ptrdiff_t>(n), samples.end(), 0);
  at_ += n;
  return n;
}

}  // namespace corvina::media
