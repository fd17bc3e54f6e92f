// The one owner of the local audio path: the microphone and the speaker connected to the place
// the phone controller names (AudioRoute), through the devices named by Record and PlayDevice,
// the echo suppressor (UseEchoCancellation) and the gain control (UseAGC).
//
// A place gives the path two streams: what the speaker plays and where the microphone's
// samples go. A line gives its session's received audio and a new sender; a later place (the
// conference mixer, an intercom buffer) gives its own pair, and the device side stays as it is.
#pragma once

#include <array>
#include <functional>
#include <memory>

#include "app/controller/audio_route.h"
#include "media/audio_chain.h"
#include "media/audio_devices.h"
#include "media/capture_thread.h"
#include "media/conference_mixer.h"
#include "media/media_session.h"
#include "media/playback_thread.h"
#include "platform/clock.h"
#include "platform/settings.h"
#include "platform/thread_checker.h"

namespace corvina::app {

class AudioRouter final : public AudioRoute {
 public:
  // The media session of a line index (0 or 1); the lines keep their sessions across calls.
  using SessionOf = std::function<media::MediaSession&(int line)>;
  // Builds what a held line plays (settings read afresh each time).
  using HoldSourceMaker = std::function<media::HoldSource()>;

  AudioRouter(media::AudioDevices& devices, platform::Settings& settings, const platform::MediaClock& clock,
              SessionOf sessionOf)
      : devices_(devices), settings_(settings), clock_(clock), sessionOf_(std::move(sessionOf)) {}
  ~AudioRouter() override {
    Stop();
    for (int line : {0, 1}) StopHold(line);
  }
  AudioRouter(const AudioRouter&) = delete;
  AudioRouter& operator=(const AudioRouter&) = delete;

  void RouteTo(AudioPlace place) override;
  AudioPlace Place() const override;
  media::HoldSourceKind PlayHold(int line) override;
  void StopHold(int line) override;
  media::HoldSourceKind HoldSourceOf(int line) const override;
  void JoinConference(int line) override;
  void LeaveConference(int line) override;

  // Before the first hold; without one a held line plays silence.
  void SetHoldSourceMaker(HoldSourceMaker maker) { makeHoldSource_ = std::move(maker); }

 private:
  // What a place gives the device path.
  struct PlaceStreams {
    media::AudioSinkPtr speakerSource;  // read by the playback thread
    media::AudioSinkPtr microphoneSink; // written by the capture thread
  };
  PlaceStreams StreamsFor(const AudioPlace& place);
  // Hands the line's received audio and a new sender to the running mixer.
  void JoinMixer(int line);
  void Start(PlaceStreams streams);
  void Stop();

  platform::ThreadChecker uiThread_;
  media::AudioDevices& devices_;
  platform::Settings& settings_;
  const platform::MediaClock& clock_;
  const SessionOf sessionOf_;
  // User-interface thread: the place served and the device threads serving it.
  AudioPlace place_;
  std::unique_ptr<media::PlaybackThread> playback_;
  std::unique_ptr<media::CaptureThread> capture_;
  // User-interface thread: the lines joined to the conference, and the mixer serving them while
  // the place is the conference (a fresh one each time: its capture thread owns it).
  std::array<bool, 2> joined_{};
  std::shared_ptr<media::ConferenceMixer> mixer_;
  // User-interface thread: the hold playback of each line.
  HoldSourceMaker makeHoldSource_;
  struct HoldPlayback {
    media::HoldSource source;
    std::unique_ptr<media::HoldPlayer> player;
  };
  std::array<HoldPlayback, 2> holds_;
};

}  // namespace corvina::app
