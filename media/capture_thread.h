// The capture thread: takes each block the capture device has filled, raises it to the
// internal scale (x * 16), applies the capture volume, reports the block's peak per channel,
// converts it to the chain's 8000 Hz mono when the device runs in another format, and writes
// it to the head of the capture chain.
//
// A device that goes away is replaced by the silent device (one activity-log line), so the
// chain keeps its pace and the call goes on without microphone.
#pragma once

#include <array>
#include <cstdint>
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
#include "platform/log_sink.h"
#include "platform/worker_thread.h"

namespace corvina::media {

// The meters' level of silence (see AudioLevels::MeterLevel).
inline constexpr int kSilentMeterLevel = -127;

// Peak absolute sample per channel of one block, at the internal scale.
struct AudioLevels {
  int channels = 1;
  std::array<std::int32_t, 2> peaks{};
  bool operator==(const AudioLevels&) const = default;
  // What a level meter shows of the block: its louder channel's peak in dB, -127 for silence.
  int MeterLevel() const;
};

class CaptureThread final : public platform::WorkerThread {
 public:
  using LevelsCallback = std::function<void(const AudioLevels&)>;

  // `volume` is the capture volume to start with (-127..127); `onLevels` runs on the capture
  // thread whenever the levels change (post them on from there).
  CaptureThread(std::unique_ptr<platform::AudioInput> input, std::string deviceName, platform::LogSink& log, int volume,
                LevelsCallback onLevels = {});
  ~CaptureThread() override;

  // Where the 8000 Hz mono blocks go; nullptr drops them. Any thread.
  void SetChainHead(AudioSinkPtr head);
  // Capture volume, -127..127 (-36 or lower mutes). Any thread.
  void SetVolume(int volume) { gain_.SetVolume(volume); }
  platform::AudioFormat DeviceFormat() const { return format_; }

 private:
  void Run() override;
  void Handle(const std::vector<std::int16_t>& block);
  void ReplaceLostDevice();

  const platform::AudioFormat format_;
  const std::string deviceName_;
  platform::LogSink& log_;
  const LevelsCallback onLevels_;
  std::unique_ptr<platform::AudioInput> input_;  // capture thread (after construction)
  std::optional<RateConverter> converter_;       // capture thread; set when the device is not 8000 Hz mono
  SoftwareGain gain_;                            // volume: any thread; samples: capture thread
  std::vector<std::int32_t> samples_;            // capture thread
  std::vector<std::int32_t> converted_;          // capture thread
  AudioLevels lastLevels_;                       // capture thread
  std::mutex headMutex_;                         // guards head_
  AudioSinkPtr head_;
};

}  // namespace corvina::media
