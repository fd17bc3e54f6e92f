// Sends the digits pressed during a call, one after the other, on the session's numbering:
//
// - with a negotiated telephone-event type, as RFC 2833 events: six 16-byte packets on the
//   digit's start timestamp t0, durations 0, 800, 800, 1600, 1600, 1600 (the last three with the
//   end bit), sequence numbers s, s+1, s+1, s+2, s+2, s+2, the marker on the first, 35, 35, 30,
//   35, 35 and 30 ms apart; a character without an event code is a 200 ms pause;
// - without one, in-band: 160 ms of audio (12.5 ms silence, the 125 ms tone pair, silence) sent
//   at once as eight 20 ms packets with the call's codec (timestamps t0 + 160k, the marker on
//   the first), then a 200 ms pause. Codecs other than G.711 and GSM send the headers alone.
//
// While a digit goes out the session's DTMF-sending flag keeps the voice sender quiet (it only
// moves the timestamp); after a digit the timestamp is at least t0 + 1600. Every wait ends
// early on the stop request.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "media/dtmf_queue.h"
#include "media/rtp_send_state.h"
#include "media/voice_codec.h"
#include "platform/event.h"
#include "platform/worker_thread.h"

namespace corvina::media {

// The pauses between digit packets, so that tests run them without sleeping.
class DtmfWaits {
 public:
  virtual ~DtmfWaits() = default;
  // Waits `ms` milliseconds; false when `stop` was set first (or is set).
  virtual bool Pause(int ms, platform::Event& stop) = 0;
};

// Waits on the stop event itself.
class EventDtmfWaits final : public DtmfWaits {
 public:
  bool Pause(int ms, platform::Event& stop) override;
};

// One digit on the wire (the digit sender's thread).
class DtmfDigitSender {
 public:
  explicit DtmfDigitSender(RtpSendState& state) : state_(state) {}
  // Sets the DTMF-sending flag (and leaves it set), sends `c` and waits as above; false when
  // the stop request cut it short.
  bool Send(char c, std::uint8_t telephoneEventType, DtmfWaits& waits, platform::Event& stop);

 private:
  bool SendEvent(std::uint8_t event, std::uint8_t payloadType, std::uint32_t t0, DtmfWaits& waits,
                 platform::Event& stop);
  void SendInBand(char c, std::uint32_t t0);

  RtpSendState& state_;
  FrameEncoder pcmu_{CodecId::kPcmu};  // the digit sender's own coder states
  FrameEncoder pcma_{CodecId::kPcma};
  FrameEncoder gsm_{CodecId::kGsm};
};

class DtmfSender final : public platform::WorkerThread {
 public:
  // `onQueueSent` runs on the sender's thread each time the queue has been worked off.
  // `waits` (tests) replaces the stop-aware sleeps; it must outlive the sender.
  explicit DtmfSender(std::shared_ptr<RtpSendState> state, std::function<void()> onQueueSent = {},
                      DtmfWaits* waits = nullptr);
  ~DtmfSender() override;

  // Queues the digits and wakes the thread (any thread). Digits that find the queue full are
  // dropped; returns how many were queued.
  std::size_t SendDigits(std::string_view digits);
  // (Re)starts: stops a running thread, empties the queue, clears the DTMF-sending flag, keeps
  // the telephone-event type (255: in-band) and starts the thread.
  bool Start(std::uint8_t telephoneEventType);
  // Stops the thread, waits for it, and clears the DTMF-sending flag.
  void Stop();

 private:
  void Run() override;

  const std::shared_ptr<RtpSendState> state_;
  const std::function<void()> onQueueSent_;
  EventDtmfWaits eventWaits_;
  DtmfWaits& waits_;
  DtmfQueue queue_;
  platform::Event wake_{platform::Event::Mode::kManualReset};
  std::uint8_t telephoneEventType_ = kPayloadNone;  // set while the thread is stopped
  DtmfDigitSender digits_;                            // the sender's thread
};

}  // namespace corvina::media
