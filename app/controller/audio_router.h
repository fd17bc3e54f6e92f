// The one owner of the local audio path: the microphone and the speaker connected to the place
// the phone controller names (AudioRoute), through the devices named by Record and PlayDevice,
// the echo suppressor (UseEchoCancellation) and the gain control (UseAGC).
//
// A place gives the path two streams: what the speaker plays and where the microphone's
// samples go. A line gives its session's received audio and a new sender; the conference mixer
// gives its own pair, and the device side stays as it is. Beside the place, the intercom
// buffers (IntercomPlayback) keep what intercom lines receive and play it while the place is
// nothing.
#pragma once

#include <array>
#include <atomic>
#include <utility>
#include <functional>
#include <memory>

#include "app/controller/audio_route.h"
#include "app/controller/intercom_playback.h"
#include "media/audio_chain.h"
#include "media/audio_devices.h"
#include "media/capture_thread.h"
#include "media/conference_mixer.h"
#include "media/media_session.h"
#include "media/playback_thread.h"
#include "platform/clock.h"
#include "platform/settings.h"
#include "media/ui_report.h"
#include "platform/thread_checker.h"
#include "platform/ui_queue.h"

namespace corvina::app {

class AudioRouter final : public AudioRoute {
 public:
  // The media session of a line index (0 or 1); the lines keep their sessions across calls.
  using SessionOf = std::function<media::MediaSession&(int line)>;
  // Builds what a held line plays (settings read afresh each time).
  using HoldSourceMaker = std::function<media::HoldSource()>;

  // `ui` carries the intercom playback's reports to the user-interface thread (null: none).
  AudioRouter(media::AudioDevices& devices, platform::Settings& settings, const platform::MediaClock& clock,
              SessionOf sessionOf, platform::UiQueue* ui = nullptr);
  ~AudioRouter() override;
  AudioRouter(const AudioRouter&) = delete;
  AudioRouter& operator=(const AudioRouter&) = delete;

  void RouteTo(AudioPlace place) override;
  AudioPlace Place() const override;
  media::HoldSourceKind PlayHold(int line) override;
  void StopHold(int line) override;
  media::HoldSourceKind HoldSourceOf(int line) const override;
  void JoinConference(int line) override;
  void LeaveConference(int line) override;
  void StartIntercomBuffer(int line) override;
  void StopIntercomBuffer(int line) override;
  std::uint64_t IntercomBufferedMs(int line) const override;
  void SetIntercomPlayedListener(std::function<void(int line)> listener) override;
  void SetLevelsListener(std::function<void(int play, int record)> listener) override;

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
  // Builds the path to a place other than nothing (the path was stopped).
  void Serve(AudioPlace place);
  void Start(PlaceStreams streams);
  void Stop();
  // The lines whose received audio the speaker serves live now.
  std::array<bool, 2> LiveLines() const;
  // After every change of the place or of the conference: the intercom buffers follow.
  void UpdateIntercom();
  std::unique_ptr<media::PlaybackThread> OpenSpeaker(media::AudioSinkPtr source);

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
  // User-interface thread: who hears of intercom playback, and the report that carries it
  // there from the playback thread (declared before intercom_, whose thread reports).
  std::function<void(int)> playedListener_;
  std::unique_ptr<media::UiReport<int>> playedReport_;
  IntercomPlayback intercom_;
  // The meters: the listener (user-interface thread), the latest level of each direction
  // (written by its device thread) and the report that carries them over.
  std::function<void(int, int)> levelsListener_;
  std::atomic<int> playLevel_{media::kSilentMeterLevel};
  std::atomic<int> recordLevel_{media::kSilentMeterLevel};
  std::unique_ptr<media::UiReport<std::pair<int, int>>> levelsReport_;
  void ReportLevels();
};

}  // namespace corvina::app
