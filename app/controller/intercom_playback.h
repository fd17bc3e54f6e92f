// The audio router's intercom side: one buffer per intercom line, fed with the line's received
// audio while the line is not served live, and played on the speaker while the speaker is
// free. The router tells it after every change which lines are live and whether the speaker is
// free; it sets the lines' speaker feeds and runs its own playback thread accordingly.
//
// Threads: every method runs on the user-interface thread. The buffers are shared with the
// sessions' receive threads (through the feeds) and with the playback thread (through the
// playout source); IntercomBuffer locks itself.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "media/audio_sink.h"
#include "media/intercom_buffer.h"
#include "media/playback_thread.h"
#include "platform/thread_checker.h"

namespace corvina::app {

class IntercomPlayback {
 public:
  // Replaces a line's speaker feed (nullptr: its received audio goes nowhere).
  using SetFeed = std::function<void(int line, media::AudioSinkPtr feed)>;
  // Starts the speaker on `source` (8000 Hz mono); the thread, or null when no device opened.
  using OpenSpeaker = std::function<std::unique_ptr<media::PlaybackThread>(media::AudioSinkPtr source)>;
  // Called on the playback thread each time it took audible audio of a line's buffer.
  using Played = std::function<void(int line)>;
  // A block counts as audible from this 16-bit peak on; the quiet after audible audio is kept
  // for this many samples (a pause between words), later quiet is not kept.
  static constexpr int kAudiblePeak = 128;
  static constexpr std::size_t kHangoverSamples = 4000;

  IntercomPlayback(SetFeed setFeed, OpenSpeaker openSpeaker, Played played)
      : setFeed_(std::move(setFeed)), openSpeaker_(std::move(openSpeaker)), played_(std::move(played)) {}
  ~IntercomPlayback();
  IntercomPlayback(const IntercomPlayback&) = delete;
  IntercomPlayback& operator=(const IntercomPlayback&) = delete;

  // A buffer for the line (kept when there is one already); false when none could be made.
  // Update() must follow to connect it.
  bool Start(int line);
  // Releases the line's buffer (its feed goes nowhere unless the line is live).
  void Stop(int line, bool live);
  bool Has(int line) const { return buffers_[Index(line)] != nullptr; }
  std::uint64_t BufferedMs(int line) const;

  // Stops the speaker (before the router opens the device for a place).
  void Halt();
  // Connects the buffers of the lines that are not live to their feeds, and plays the buffers
  // while `speakerFree`.
  void Update(std::array<bool, 2> live, bool speakerFree);

 private:
  static std::size_t Index(int line) { return static_cast<std::size_t>(line); }

  platform::ThreadChecker uiThread_;
  const SetFeed setFeed_;
  const OpenSpeaker openSpeaker_;
  const Played played_;
  // User-interface thread: each line's buffer (shared with its feed and the speaker's source).
  std::array<std::shared_ptr<media::IntercomBuffer>, 2> buffers_;
  // User-interface thread: the speaker's source while the buffers play (and the buffers it
  // reads), and the playback thread that reads it.
  media::AudioSinkPtr source_;
  std::array<std::shared_ptr<media::IntercomBuffer>, 2> playing_;
  std::unique_ptr<media::PlaybackThread> speaker_;
};

}  // namespace corvina::app
