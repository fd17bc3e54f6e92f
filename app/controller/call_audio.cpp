#include "app/controller/call_audio.h"

namespace corvina::app {

namespace {
constexpr const char* kSection = "Settings";
constexpr platform::AudioFormat kChainFormat{8000, 1};

int Volume(const platform::Settings& settings, const char* name) {
  return std::clamp(settings.GetSettingInt(kSection, name, 0), -127, 127);
}
}  // namespace

void CallAudio::Connect(int line, media::MediaSession& session) {
  Disconnect();
  line_ = line;
  std::shared_ptr<media::EchoSuppressor> suppressor;
  if (settings_.GetSettingBool(kSection, "UseEchoCancellation", true)) {
    suppressor = std::make_shared<media::EchoSuppressor>(settings_);
  }
  auto output = devices_.OpenPlayback(settings_.GetSettingString(kSection, "PlayDevice", ""), kChainFormat);
  if (output.stream) {
    playback_ = std::make_unique<media::PlaybackThread>(std::move(output.stream), "play", devices_.Log(), clock_,
                                                        Volume(settings_, "PlayVolume"));
    playback_->SetSource(media::BuildPlaybackChain(session.ReceivedAudioReader(), suppressor));
    playback_->Start();
  }
  auto input = devices_.OpenCapture(settings_.GetSettingString(kSection, "Record", ""), kChainFormat);
  if (input.stream) {
    sender_ = session.CreateSender(false);
    capture_ = std::make_unique<media::CaptureThread>(std::move(input.stream), "record", devices_.Log(),
                                                      Volume(settings_, "RecordVolume"));
    media::PlaybackThread* playback = playback_.get();
    media::CaptureChainOptions options{suppressor,
                                       [playback]() -> std::optional<std::uint64_t> {
                                         if (playback == nullptr) return std::nullopt;
                                         return playback->PlayingPosition();
                                       },
                                       settings_.GetSettingBool(kSection, "UseAGC", true)};
    capture_->SetChainHead(media::BuildCaptureChain(sender_, options));
    capture_->Start();
  }
}

void CallAudio::Disconnect() {
  // The device threads let go of both chains before the chains (and the suppressor) go.
  if (capture_) capture_->StopAndJoin();
  if (playback_) playback_->StopAndJoin();
  capture_.reset();
  playback_.reset();
  sender_.reset();
  line_ = 0;
}

}  // namespace corvina::app
