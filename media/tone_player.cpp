#include "media/tone_player.h"

#include <algorithm>

#include "media/sample_scale.h"
#include "media/software_gain.h"
#include "media/system_tones.h"
#include "media/tone_texts.h"
#include "media/wav_file_source.h"

namespace corvina::media {

TonePlayer::TonePlayer(AudioDevices& devices, platform::Settings& settings, platform::LogSink& log,
                       const platform::MediaClock& clock, std::string dataFolder)
    : devices_(devices), settings_(settings), log_(log), clock_(clock), dataFolder_(std::move(dataFolder)) {}

TonePlayer::~TonePlayer() {
  StopTone();
  StopKeyClick();
}

bool TonePlayer::Tone(std::string_view name, bool loop, bool ringDevice) {
  CORVINA_CHECK_THREAD(thread_);
  // The ring device keeps its own level: unity gain in our path.
  const std::string device =
      settings_.GetSettingString(kSettingsSection, ringDevice ? kSettingRingPlayDevice : kSettingPlayDevice, "");
  const int volume = ringDevice ? kMaxVolume : settings_.GetSettingInt(kSettingsSection, kSettingPlayVolume, 0);
  return ToneOn(name, device, volume, loop);
}

bool TonePlayer::ToneOn(std::string_view name, const std::string& deviceChoice, int volume, bool loop) {
  CORVINA_CHECK_THREAD(thread_);
  StopTone();
  const std::string path = SystemToneFile(dataFolder_, name);
  std::shared_ptr<WavFileSource> source = WavFileSource::Open(path, loop);
  if (!source) {
    log_.Log(std::string(kLogCannotFindSystemFile) + path, platform::kLogError);
    return false;
  }
  tone_ = Play(std::move(source), deviceChoice, std::clamp(volume, kMinVolume, kMaxVolume));
  return tone_ != nullptr;
}

bool TonePlayer::Ring() { return Tone(kToneRinging, false, true); }

void TonePlayer::StopTone() {
  CORVINA_CHECK_THREAD(thread_);
  tone_.reset();
}

void TonePlayer::KeyClick() {
  CORVINA_CHECK_THREAD(thread_);
  StopKeyClick();
  const std::string device = settings_.GetSettingString(kSettingsSection, kSettingPlayDevice, "");
  const int volume =
      std::clamp(settings_.GetSettingInt(kSettingsSection, kSettingPlayVolume, 0), kMinVolume, kMaxVolume);
  click_ = Play(std::make_shared<SampleBufferSource>(KeyClickSamples(), kSampleRate), device, volume);
}

void TonePlayer::StopKeyClick() {
  CORVINA_CHECK_THREAD(thread_);
  click_.reset();
}

std::unique_ptr<PlaybackThread> TonePlayer::Play(AudioSinkPtr source, const std::string& deviceChoice, int volume) {
  auto opened = devices_.OpenPlayback(deviceChoice, {source->SampleRate(), 1});
  if (!opened.stream) return nullptr;
  auto thread = std::make_unique<PlaybackThread>(std::move(opened.stream), deviceChoice, log_, clock_, volume);
  thread->SetSource(std::move(source));
  if (!thread->Start()) return nullptr;
  return thread;
}

}  // namespace corvina::media
