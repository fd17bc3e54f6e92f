#include "media/hold_player.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "media/rate_converter.h"
#include "media/sample_scale.h"
#include "media/system_tones.h"
#include "media/tone_texts.h"
#include "media/wav_file_source.h"

namespace corvina::media {

std::string_view HoldSourceName(HoldSourceKind kind) {
  switch (kind) {
    case HoldSourceKind::kFile:
      return "file";
    case HoldSourceKind::kLumo:
      return "lumo";
    case HoldSourceKind::kNone:
      break;
  }
  return {};
}

HoldSource MakeHoldSource(const HoldSettings& settings, const std::string& dataFolder, LumoSourceConfig lumo) {
  if (settings.useLumo) {
    lumo.server = settings.lumoServer;
    return {std::make_shared<LumoSource>(std::move(lumo)), HoldSourceKind::kLumo};
  }
  const std::string path = SystemToneFile(dataFolder, kToneHold);
  AudioSinkPtr file = WavFileSource::Open(path, true);
  if (!file && lumo.log != nullptr) lumo.log->Log(std::string(kLogCannotFindSystemFile) + path, platform::kLogError);
  return {std::move(file), HoldSourceKind::kFile};
}

void HoldPlayer::Run() {
  AudioSinkPtr sender = makeSender_ ? makeSender_() : nullptr;
  if (!sender) return;
  // A user's Hold.wav at another rate or in stereo is made 8000 Hz mono on the way.
  std::optional<RateConverter> converter;
  if (source_ && (source_->SampleRate() != kSampleRate || source_->Channels() != 1)) {
    converter.emplace(static_cast<int>(source_->SampleRate()), source_->Channels(), kSampleRate, 1);
  }
  // 20 ms of the source at a time (at least one frame of it).
  std::vector<std::int32_t> input(
      converter ? std::max<std::size_t>(1, source_->SampleRate() / 50) * source_->Channels() : 0);
  std::vector<std::int32_t> pending;
  std::array<std::int32_t, kFrameSamples> frame{};
  while (!StopRequested()) {
    if (converter) {
      while (pending.size() < frame.size()) {
        source_->Transfer(input);
        converter->Process(input, pending);
      }
      std::copy_n(pending.begin(), frame.size(), frame.begin());
      pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(frame.size()));
    } else if (source_) {
      source_->Transfer(frame);
    } else {
      frame.fill(0);
    }
    // The sender's pacer holds this thread back to real time.
    sender->Transfer(frame);
  }
}

}  // namespace corvina::media
