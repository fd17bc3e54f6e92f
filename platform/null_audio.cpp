#include "platform/null_audio.h"

#include <algorithm>

#include "platform/paced_audio.h"

namespace corvina::platform {
namespace {

class DiscardWriter final : public PcmBlockWriter {
 public:
  bool Write(std::span<const std::int16_t>) override { return true; }
};

class SilenceReader final : public PcmBlockReader {
 public:
  bool Read(std::span<std::int16_t> samples) override {
    std::fill(samples.begin(), samples.end(), 0);
    return true;
  }
};

bool Usable(const AudioFormat& format) { return format.sampleRate > 0 && format.channels > 0; }

}  // namespace

AudioOpenResult<AudioOutput> NullAudioSystem::OpenOutput(const std::string&, const AudioFormat& format) {
  if (!Usable(format)) return {nullptr, AudioOpenError::kBadFormat, {}};
  return {MakePacedOutput(format, std::make_unique<DiscardWriter>()), AudioOpenError::kNone, {}};
}

AudioOpenResult<AudioInput> NullAudioSystem::OpenInput(const std::string&, const AudioFormat& format) {
  if (!Usable(format)) return {nullptr, AudioOpenError::kBadFormat, {}};
  return {MakePacedInput(format, std::make_unique<SilenceReader>()), AudioOpenError::kNone, {}};
}

}  // namespace corvina::platform
