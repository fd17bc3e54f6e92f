#include "media/hold_player.h"

#include <array>

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
  std::array<std::int32_t, kFrameSamples> frame{};
  while (!StopRequested()) {
    if (source_) {
      source_->Transfer(frame);
    } else {
      frame.fill(0);
    }
    // The sender's pacer holds this thread back to real time.
    sender->Transfer(frame);
  }
}

}  // namespace corvina::media
