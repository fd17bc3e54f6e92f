#include "media/wav_audio_device.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "media/sample_scale.h"
#include "media/wav_file.h"
#include "platform/paced_audio.h"

namespace corvina::media {
namespace {

using platform::AudioFormat;
using platform::AudioOpenError;

class WavBlockReader final : public platform::PcmBlockReader {
 public:
  explicit WavBlockReader(std::unique_ptr<WavReader> reader) : reader_(std::move(reader)) {}

  bool Read(std::span<std::int16_t> samples) override {
    scratch_.assign(samples.size(), 0);
    std::size_t got = 0;
    while (!ended_ && got < samples.size()) {
      std::size_t n = reader_->ReadMono(std::span(scratch_).subspan(got));
      if (n == 0) ended_ = true;  // then silence, for as long as the call lasts
      got += n;
    }
    std::transform(scratch_.begin(), scratch_.end(), samples.begin(), ToPcm16);
    return true;
  }

 private:
  std::unique_ptr<WavReader> reader_;
  std::vector<std::int32_t> scratch_;
  bool ended_ = false;
};

class WavBlockWriter final : public platform::PcmBlockWriter {
 public:
  explicit WavBlockWriter(std::unique_ptr<WavWriter> writer) : writer_(std::move(writer)) {}
  ~WavBlockWriter() override { writer_->Close(); }

  bool Write(std::span<const std::int16_t> samples) override {
    scratch_.resize(samples.size());
    std::transform(samples.begin(), samples.end(), scratch_.begin(), FromPcm16);
    return writer_->Write(scratch_) && writer_->Flush();
  }

 private:
  std::unique_ptr<WavWriter> writer_;
  std::vector<std::int32_t> scratch_;
};

}  // namespace

platform::AudioOpenResult<platform::AudioInput> OpenWavInput(const std::string& path, const AudioFormat& format) {
  auto reader = std::make_unique<WavReader>();
  WavError error = reader->Open(path);
  if (error != WavError::kNone) return {nullptr, AudioOpenError::kUnavailable, std::string(WavErrorText(error))};
  if (format != AudioFormat{reader->Format().sampleRate, 1}) return {nullptr, AudioOpenError::kBadFormat, {}};
  return {
      platform::MakePacedInput(format, std::make_unique<WavBlockReader>(std::move(reader))), AudioOpenError::kNone, {}};
}

platform::AudioOpenResult<platform::AudioOutput> OpenWavOutput(const std::string& path, const AudioFormat& format) {
  if (format != AudioFormat{static_cast<std::uint32_t>(kSampleRate), 1}) {
    return {nullptr, AudioOpenError::kBadFormat, {}};
  }
  auto writer = std::make_unique<WavWriter>();
  WavError error = writer->Create(path);
  if (error != WavError::kNone) return {nullptr, AudioOpenError::kUnavailable, std::string(WavErrorText(error))};
  return {platform::MakePacedOutput(format, std::make_unique<WavBlockWriter>(std::move(writer))),
          AudioOpenError::kNone,
          {}};
}

}  // namespace corvina::media
