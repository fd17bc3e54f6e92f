// The voice sender of an RTP session: an audio sink that cuts what it is given into 20 ms
// frames of 160 samples, encodes them with the session's audio codec and sends them, with
// silence suppression when comfort noise was negotiated:
//
// - without a comfort-noise type every frame is sent, silence included;
// - with one, a silent stream is tested every 5 ms (40 samples): it starts talking when the
//   first half of a frame peaks above 8192; a talking stream falls silent after a frame that
//   peaks below 4096. While silent, each 40-sample step sends nothing but moves the timestamp
//   on, except that a comfort-noise packet goes out at the first step, 85 ms later, and then
//   about once a second; the first voice packet after silence carries the marker bit.
//
// While the digit sender is busy, frames and steps move the timestamp and send nothing. Each
// frame is also handed to the session's sent-audio tap before it is encoded. After every frame
// or step the session's pacer may hold the writing thread back (a file source), which is never
// the case for a live microphone. The writing thread (capture or hold player) owns the object;
// destroying it takes one last 80-sample silence step.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "media/audio_sink.h"
#include "media/rtp_send_state.h"
#include "media/sample_scale.h"
#include "media/voice_codec.h"
#include "platform/thread_checker.h"

namespace corvina::media {

// How the writing thread is held back by the pacer: sleeps `ms` milliseconds.
using PacerSleep = std::function<void(int ms)>;

// The payload type's codec: 0 PCMU, 8 PCMA, 3 GSM, or G726-32 for its negotiated dynamic type;
// none for any other type.
std::optional<CodecId> CodecForPayloadType(const RtpPayloadTypes& types, std::uint8_t payloadType);

class RtpSender final : public AudioSink {
 public:
  // Sets the session's sender-attached flag. `sleep` defaults to sleeping the calling thread.
  explicit RtpSender(std::shared_ptr<RtpSendState> state, PacerSleep sleep = {});
  // Takes the final 80-sample silence step and clears the sender-attached flag.
  ~RtpSender() override;

  // How long a new sender should wait before its first frame: while the session's pacer says
  // more than 20 ms were sent ahead of real time, min(ahead, 200) - 20 ms (0: start now).
  static int StartDelayMs(RtpSendState& state);

  std::size_t Transfer(std::span<std::int32_t> samples) override;

 private:
  void OnFullFrame();
  void SendFrame();
  void SilenceStep(std::uint32_t samples);
  void Pace();

  const std::shared_ptr<RtpSendState> state_;
  const PacerSleep sleep_;
  platform::ThreadChecker writer_;  // the first thread to write owns the sender
  // The writing thread's own state.
  std::array<std::int32_t, kFrameSamples> frame_{};
  std::size_t fill_ = 0;
  bool markerPending_ = true;  // the next voice packet carries the marker bit
  bool silent_ = true;         // voice activity: silent until the first loud frame
  std::int32_t noiseCountdown_ = 0;  // samples until the next comfort-noise packet
  FrameEncoder pcmu_{CodecId::kPcmu};
  FrameEncoder pcma_{CodecId::kPcma};
  FrameEncoder gsm_{CodecId::kGsm};
  FrameEncoder g726_{CodecId::kG726_32};
};

}  // namespace corvina::media
