// Any bytes as the head of a WAV file, with file sizes around the bytes' own length: the
// header parser must refuse or describe them without reading outside the buffer, and what it
// accepts must lie inside the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "media/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvina::media;
  std::span<const std::uint8_t> head(data, size);
  for (std::uint64_t fileSize : {static_cast<std::uint64_t>(size), static_cast<std::uint64_t>(size) + 1000,
                                 static_cast<std::uint64_t>(0xFFFFFFFFu)}) {
    WavHeaderResult r = ParseWavHeader(head, fileSize);
    if (r.error != WavError::kNone) continue;
    const WavLayout& layout = r.layout;
    if (layout.dataOffset > fileSize || layout.dataBytes > fileSize - layout.dataOffset) std::abort();
    if (layout.format.BlockBytes() == 0 || layout.dataBytes % layout.format.BlockBytes() != 0) std::abort();
  }
  return 0;
}
