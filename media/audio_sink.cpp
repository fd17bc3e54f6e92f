#include "media/audio_sink.h"

#include <algorithm>

namespace corvina::media {

std::size_t NullSink::Transfer(std::span<std::int32_t> samples) {
  std::fill(samples.begin(), samples.end(), 0);
  position_.fetch_add(samples.size());
  return samples.size();
}

}  // namespace corvina::media
