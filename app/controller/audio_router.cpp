#include "app/controller/audio_router.h"

#include <algorithm>

#include "app/options/link_pages.h"
#include "media/gain_control.h"

namespace corvina::app {

namespace {
constexpr const char* kSection = "Settings";
constexpr std::uint32_t kChainRate = 8000;

int Volume(const platform::Settings& settings, const char* name) {
  return std::clamp(settings.GetSettingInt(kSection, name, 0), -127, 127);
}

// The chain's format (8000 Hz mono) on the device channel the Audio page chose for the device.
platform::AudioFormat ChainFormat(const platform::Settings& settings, const char* channelName) {
  return {kChainRate, 1, std::clamp(settings.GetSettingInt(kSection, channelName, 0), 0, kMaxDeviceChannel)};
}
}  // namespace

AudioRouter::AudioRouter(media::AudioDevices& devices, platform::Settings& settings,
                         const platform::MediaClock& clock, SessionOf sessionOf, platform::UiQueue* ui)
    : devices_(devices),
      settings_(settings),
      clock_(clock),
      sessionOf_(std::move(sessionOf)),
      playedReport_(ui == nullptr ? nullptr
                                  : std::make_unique<media::UiReport<int>>(*ui,
                                                                           [this](const int& line) {
                                                                             if (playedListener_) playedListener_(line);
                                                                           })),
      intercom_([this](int line, media::AudioSinkPtr feed) { sessionOf_(line).SetSpeakerFeed(std::move(feed)); },
                [this](media::AudioSinkPtr source) { return OpenSpeaker(std::move(source)); },
                [report = playedReport_.get()](int line) {
                  if (report != nullptr) report->Report(line);
                }),
      levelsReport_(ui == nullptr ? nullptr
                                  : std::make_unique<media::UiReport<std::pair<int, int>>>(
                                        *ui, [this](const std::pair<int, int>& levels) {
                                          if (levelsListener_) levelsListener_(levels.first, levels.second);
                                        })) {}

AudioRouter::~AudioRouter() {
  levelsListener_ = nullptr;  // nobody is told of the silence of a router going away
  intercom_.Halt();
  Stop();
  for (int line : {0, 1}) StopHold(line);
}

void AudioRouter::RouteTo(AudioPlace place) {
  CORVINA_CHECK_THREAD(uiThread_);
  // The buffers' speaker gives the device up to a place.
  if (place.kind != AudioPlace::Kind::kNothing) intercom_.Halt();
  Stop();
  if (place.kind != AudioPlace::Kind::kNothing) Serve(place);
  UpdateIntercom();
}

void AudioRouter::Serve(AudioPlace place) {
  // The hold player's sender goes before the microphone's sender comes.
  if (place.kind == AudioPlace::Kind::kLine) StopHold(place.line);
  if (place.kind == AudioPlace::Kind::kConference) {
    mixer_ = std::make_shared<media::ConferenceMixer>();
    for (int line : {0, 1}) {
      if (joined_[static_cast<std::size_t>(line)]) JoinMixer(line);
    }
  }
  PlaceStreams streams = StreamsFor(place);
  if (!streams.speakerSource && !streams.microphoneSink) return;
  place_ = place;
  Start(std::move(streams));
}

AudioPlace AudioRouter::Place() const {
  CORVINA_CHECK_THREAD(uiThread_);
  return place_;
}

media::HoldSourceKind AudioRouter::PlayHold(int line) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (line != 0 && line != 1) return media::HoldSourceKind::kNone;
  StopHold(line);
  // Nothing from the microphone reaches the held party.
  if (place_ == AudioPlace::Line(line)) Stop();
  if (mixer_) mixer_->Leave(line);
  UpdateIntercom();
  HoldPlayback& hold = holds_[static_cast<std::size_t>(line)];
  hold.source = makeHoldSource_ ? makeHoldSource_() : media::HoldSource{};
  media::MediaSession* session = &sessionOf_(line);
  // The player's sender is made on the player's thread, paced behind whatever the session sent.
  hold.player = std::make_unique<media::HoldPlayer>(
      hold.source.source, [session]() -> media::AudioSinkPtr { return session->CreateSender(true); });
  hold.player->Start();
  return hold.source.kind;
}

void AudioRouter::StopHold(int line) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (line != 0 && line != 1) return;
  HoldPlayback& hold = holds_[static_cast<std::size_t>(line)];
  hold.player.reset();
  hold.source = {};
}

media::HoldSourceKind AudioRouter::HoldSourceOf(int line) const {
  CORVINA_CHECK_THREAD(uiThread_);
  if (line != 0 && line != 1) return media::HoldSourceKind::kNone;
  return holds_[static_cast<std::size_t>(line)].player ? holds_[static_cast<std::size_t>(line)].source.kind
                                                         : media::HoldSourceKind::kNone;
}

void AudioRouter::JoinConference(int line) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (line != 0 && line != 1) return;
  joined_[static_cast<std::size_t>(line)] = true;
  if (mixer_) JoinMixer(line);
  UpdateIntercom();
}

void AudioRouter::LeaveConference(int line) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (line != 0 && line != 1) return;
  joined_[static_cast<std::size_t>(line)] = false;
  if (mixer_) mixer_->Leave(line);
  UpdateIntercom();
}

void AudioRouter::StartIntercomBuffer(int line) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (intercom_.Start(line)) UpdateIntercom();
}

void AudioRouter::StopIntercomBuffer(int line) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (line != 0 && line != 1) return;
  intercom_.Stop(line, LiveLines()[static_cast<std::size_t>(line)]);
  UpdateIntercom();
}

std::uint64_t AudioRouter::IntercomBufferedMs(int line) const {
  CORVINA_CHECK_THREAD(uiThread_);
  return intercom_.BufferedMs(line);
}

void AudioRouter::SetIntercomPlayedListener(std::function<void(int line)> listener) {
  CORVINA_CHECK_THREAD(uiThread_);
  playedListener_ = std::move(listener);
}

void AudioRouter::SetLevelsListener(std::function<void(int play, int record)> listener) {
  CORVINA_CHECK_THREAD(uiThread_);
  levelsListener_ = std::move(listener);
}

void AudioRouter::ReportLevels() {
  if (levelsReport_) levelsReport_->Report({playLevel_.load(), recordLevel_.load()});
}

std::array<bool, 2> AudioRouter::LiveLines() const {
  std::array<bool, 2> live{};
  for (int line : {0, 1}) {
    live[static_cast<std::size_t>(line)] =
        place_ == AudioPlace::Line(line) || (mixer_ && joined_[static_cast<std::size_t>(line)]);
  }
  return live;
}

void AudioRouter::UpdateIntercom() { intercom_.Update(LiveLines(), place_.kind == AudioPlace::Kind::kNothing); }

std::unique_ptr<media::PlaybackThread> AudioRouter::OpenSpeaker(media::AudioSinkPtr source) {
  auto output = devices_.OpenPlayback(settings_.GetSettingString(kSection, "PlayDevice", ""),
                                      ChainFormat(settings_, "PlayDeviceChannel"));
  if (!output.stream) return nullptr;
  auto playback = std::make_unique<media::PlaybackThread>(std::move(output.stream), "play", devices_.Log(), clock_,
                                                          Volume(settings_, "PlayVolume"));
  playback->SetSource(std::move(source));
  playback->Start();
  return playback;
}

void AudioRouter::JoinMixer(int line) {
  // The hold player's sender goes before the mixer's sender comes.
  StopHold(line);
  media::MediaSession& session = sessionOf_(line);
  mixer_->Join(line, session.ReceivedAudioReader(), session.CreateSender(false));
}

AudioRouter::PlaceStreams AudioRouter::StreamsFor(const AudioPlace& place) {
  switch (place.kind) {
    case AudioPlace::Kind::kLine: {
      if (place.line != 0 && place.line != 1) return {};
      media::MediaSession& session = sessionOf_(place.line);
      return {session.ReceivedAudioReader(), session.CreateSender(false)};
    }
    case AudioPlace::Kind::kConference:
      // The speaker plays the lines' sum, so the echo suppressor's reference is that sum too.
      if (mixer_) return {mixer_->SpeakerSource(), mixer_};
      break;
    case AudioPlace::Kind::kNothing: break;
  }
  return {};
}

void AudioRouter::Start(PlaceStreams streams) {
  std::shared_ptr<media::EchoSuppressor> suppressor;
  if (settings_.GetSettingBool(kSection, "UseEchoCancellation", true)) {
    suppressor = std::make_shared<media::EchoSuppressor>(settings_);
  }
  auto output = devices_.OpenPlayback(settings_.GetSettingString(kSection, "PlayDevice", ""),
                                      ChainFormat(settings_, "PlayDeviceChannel"));
  if (output.stream && streams.speakerSource) {
    playback_ = std::make_unique<media::PlaybackThread>(std::move(output.stream), "play", devices_.Log(), clock_,
                                                        Volume(settings_, "PlayVolume"));
    playback_->SetPeakListener([this](std::int32_t peak) {
      playLevel_ = media::AutomaticGainControl::BlockLevel(peak);
      ReportLevels();
    });
    playback_->SetSource(media::BuildPlaybackChain(std::move(streams.speakerSource), suppressor));
    playback_->Start();
  }
  if (!streams.microphoneSink) return;
  auto input = devices_.OpenCapture(settings_.GetSettingString(kSection, "Record", ""),
                                    ChainFormat(settings_, "RecordChannel"));
  if (!input.stream) return;
  capture_ = std::make_unique<media::CaptureThread>(
      std::move(input.stream), "record", devices_.Log(), Volume(settings_, "RecordVolume"),
      [this](const media::AudioLevels& levels) {
        recordLevel_ = levels.MeterLevel();
        ReportLevels();
      });
  media::PlaybackThread* playback = playback_.get();
  media::CaptureChainOptions options{suppressor,
                                     [playback]() -> std::optional<std::uint64_t> {
                                       if (playback == nullptr) return std::nullopt;
                                       return playback->PlayingPosition();
                                     },
                                     settings_.GetSettingBool(kSection, "UseAGC", true)};
  capture_->SetChainHead(media::BuildCaptureChain(std::move(streams.microphoneSink), options));
  capture_->Start();
}

void AudioRouter::Stop() {
  CORVINA_CHECK_THREAD(uiThread_);
  // The device threads let go of both chains (and with them the place's streams and the
  // suppressor) before the threads go: nothing from the microphone reaches the old place.
  if (capture_) capture_->StopAndJoin();
  if (playback_) playback_->StopAndJoin();
  capture_.reset();
  playback_.reset();
  mixer_.reset();
  place_ = AudioPlace::Nothing();
  // The device threads are gone: the meters fall back to silence at once, and a report still
  // on its way carries silence too.
  playLevel_ = recordLevel_ = media::kSilentMeterLevel;
  if (!levelsListener_) return;
  ReportLevels();
  levelsListener_(media::kSilentMeterLevel, media::kSilentMeterLevel);
}

}  // namespace corvina::app
