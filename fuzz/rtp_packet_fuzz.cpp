// Any bytes as a stream of datagrams reaching the receive side: each one goes through the
// packet reader, the jitter buffer and the playout as the receive thread would drive them,
// with time moving on between datagrams. The reader's payload always lies inside its
// datagram; played audio stays within full scale; the output never holds more than the cap;
// every wait is positive and a pass always ends.
//
// Layout: byte 0 picks the negotiated CN and G726-32 types; then records of
//   [time step in ms][length high][length low][length bytes of datagram]
// (a record cut short takes what is left).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "media/rtp_receiver.h"
#include "media/rtp_trace.h"
#include "media/sample_scale.h"

namespace {

using namespace corvina;
using namespace corvina::media;

class CheckingSink final : public AudioSink {
 public:
  CheckingSink() : AudioSink(kSampleRate, 1) {}
  std::size_t Transfer(std::span<std::int32_t> samples) override {
    for (std::int32_t s : samples) {
      if (s > kFullScale || s < -kFullScale) std::abort();
    }
    // Now and then refuse part of a block, as a full ring does.
    ++calls_;
    return calls_ % 7 == 0 ? samples.size() / 2 : samples.size();
  }

 private:
  std::uint64_t calls_ = 0;
};

void CheckPass(RtpReceiver& rx, const PlayoutPass& pass, std::int64_t now) {
  if (pass.waitMs <= 0) std::abort();
  if (rx.Playout().LevelMs(now) > kPlayoutCapMs) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::uint8_t choice = data[0];
  PlayoutTypes types;
  types.comfortNoise = (choice & 1) ? 98 : kPayloadNone;
  types.g726 = (choice & 2) ? 96 : kPayloadNone;
  CheckingSink sink;
  RtpReceiver rx(sink, types, choice, 0, 0);
  std::int64_t now = 0;
  std::size_t at = 1;
  CheckPass(rx, rx.RunPlayout(now), now);
  while (at < size) {
    now += data[at++];
    std::size_t length = 0;
    if (at + 2 <= size) {
      length = static_cast<std::size_t>(data[at] << 8 | data[at + 1]);
      at += 2;
    } else {
      at = size;
    }
    length = std::min(length, size - at);
    const std::span<const std::uint8_t> datagram(data + at, length);
    at += length;

    if (const auto view = ParseRtpPacket(datagram)) {
      const std::uint8_t* begin = view->payload.data();
      const std::uint8_t* end = begin + view->payload.size();
      if (!view->payload.empty() && (begin < datagram.data() || end > datagram.data() + datagram.size())) std::abort();
      FormatRtpTrace(RtpTraceDirection::kReceived, now, {0x7F000001, 4000}, view->header, datagram.size());
    }
    if ((choice & 4) && length == 0) rx.RearmSsrcLearning(static_cast<std::uint32_t>(now));
    const ReceiveResult r = rx.Buffer().Offer(datagram, {0x7F000001, 4000}, static_cast<std::uint32_t>(now));
    if (r.outcome == ReceiveOutcome::kFull) now += kFullBufferWaitMs;
    CheckPass(rx, rx.RunPlayout(now), now);
    if (rx.Buffer().SlotsInUse() > kJitterSlots) std::abort();
  }
  // Let the output run dry: starvation, concealment and noise.
  for (int i = 0; i < 20; ++i) {
    const PlayoutPass pass = rx.RunPlayout(now);
    CheckPass(rx, pass, now);
    now += pass.waitMs;
  }
  return 0;
}
