// The playback thread: reads up to one block at a time from its source (the call's received
// audio, or the echo reference tap in front of it), converts the samples to 16 bits with
// (x + 8) >> 4 (clipping, never wrapping), applies the playback volume, converts to the
// device's format when it is not the source's, and queues the block on the playback device.
// When the source has nothing it waits for a buffer to finish (up to 1000 ms while buffers
// are queued); when everything queued has played it says so once through `onDrained`.
//
// It also keeps the estimate of which source sample the loudspeaker is playing now, for the
// echo suppressor: samples of the buffers that have finished, plus the time since the last one
// finished at the source's rate, never more than was queued.
//
// A device that goes away is replaced by the silent device (one activity-log line): the
// source is still drained at the device's pace and the call goes on without sound.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "media/audio_sink.h"
#include "media/rate_converter.h"
#include "media/software_gain.h"
#include "platform/audio_device.h"
#include "platform/clock.h"
#include "platform/log_sink.h"
#include "platform/worker_thread.h"

namespace corvina::media {

class PlaybackThread final : public platform::WorkerThread {
 public:
  // `volume` is the playback volume to start with (-127..127); `onDrained` runs on the playback
  // thread each time the device has played everything.
  PlaybackThread(std::unique_ptr<platform::AudioOutput> output, std::string deviceName, platform::LogSink& log,
                 const platform::MediaClock& clock, int volume, std::function<void()> onDrained = {});
  ~PlaybackThread() override;

  // Hears the peak (internal scale, after the volume) of every block queued, on the playback
  // thread; set before Start.
  void SetPeakListener(std::function<void(std::int32_t peak)> listener) { onPeak_ = std::move(listener); }
  // What the thread plays; nullptr plays nothing. Any thread.
  void SetSource(AudioSinkPtr source);
  // Playback volume, -127..127 (-36 or lower mutes). Any thread.
  void SetVolume(int volume) { gain_.SetVolume(volume); }
  platform::AudioFormat DeviceFormat() const { return format_; }

  // The source position playing now (estimated), and the source position queued so far, both
  // counted like the source's Position(). Any thread.
  std::uint64_t PlayingPosition() const;
  std::uint64_t WrittenPosition() const { return written_.load(); }

 private:
  void Run() override;
  // Reads the source once and queues what it gave; false when it gave nothing.
  bool FeedOnce(AudioSink& source);
  void QueuePending();
  void CountPlayedBuffers();
  void ReplaceLostDevice();

  const platform::AudioFormat format_;
  const platform::AudioBufferPlan plan_;
  const std::string deviceName_;
  platform::LogSink& log_;
  const platform::MediaClock& clock_;
  const std::function<void()> onDrained_;
  std::function<void(std::int32_t)> onPeak_;  // set before Start, then the playback thread's
  std::unique_ptr<platform::AudioOutput> output_;  // playback thread (after construction)
  SoftwareGain gain_;                              // volume: any thread; samples: playback thread

  // Playback thread only.
  std::optional<RateConverter> converter_;  // when the source's format is not the device's
  std::vector<std::int32_t> read_;          // one block from the source
  std::vector<std::int32_t> converted_;
  std::vector<std::int16_t> pending_;      // device samples not yet queued
  std::deque<std::uint64_t> queuedEnds_;   // per queued buffer: source position at its end
  std::uint64_t pendingSourceFrames_ = 0;  // source frames behind pending_
  std::uint64_t pendingEndPosition_ = 0;   // source position at the end of pending_
  std::uint64_t ownCount_ = 0;             // source position (the source's own when it counts)
  bool drainedReported_ = true;

  std::mutex sourceMutex_;  // guards source_
  AudioSinkPtr source_;

  // Written by the playback thread, read by any thread.
  std::atomic<std::uint64_t> written_{0};    // source position at the end of the queued audio
  std::atomic<std::uint64_t> played_{0};     // source position at the end of the played audio
  std::atomic<std::int64_t> playedAtMs_{0};  // when the last buffer finished
  std::atomic<std::uint32_t> sourceRate_{8000};
};

}  // namespace corvina::media
