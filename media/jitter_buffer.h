// The receive side's reordering store: 64 preallocated slots of one datagram each, for one
// RTP stream at a time.
//
// The first packet names the stream (SSRC) and the sequence number expected next. For 5000 ms
// after creation or after RearmSsrcLearning another SSRC is adopted (the old stream's slots are
// freed, since they would never be played); after that, foreign packets are dropped. The next
// slot to play is the one with the smallest distance d = (sequence - expected) mod 65536;
// slots with d >= 65280 (up to 256 behind) are too late and freed, so anything further behind
// counts as far ahead.
//
// The receive thread drives it: ReceiveArea() gives the free slot to read the next datagram
// into, Commit() files it. Owned by the receive thread; not locked.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "media/rtp_packet.h"
#include "platform/socket_address.h"

namespace corvina::media {

inline constexpr int kJitterSlots = 64;
inline constexpr std::uint32_t kSsrcLearningMs = 5000;
// Distances from here on are packets behind the expected one.
inline constexpr std::uint16_t kLateDistance = 65280;

enum class ReceiveOutcome {
  kAccepted,      // filed under the current stream
  kAdopted,       // filed as the first packet of a new stream
  kMalformed,     // shorter than the header or not version 2
  kTooLong,       // longer than kRtpMaxDatagram (cut short by the socket)
  kForeignSsrc,   // another stream after the learning window
  kFull,          // no free slot was handed out
};

struct ReceiveResult {
  ReceiveOutcome outcome = ReceiveOutcome::kFull;
  RtpHeader header;  // valid unless kMalformed, kTooLong or kFull
};

// A packet taken for playing: its bytes stay valid until the next datagram is read into
// ReceiveArea().
struct TakenPacket {
  std::span<const std::uint8_t> datagram;
  platform::SocketAddress source;
};

class JitterBuffer {
 public:
  // `nowTick` starts the SSRC learning window (system tick count, ms).
  explicit JitterBuffer(std::uint32_t nowTick);

  // Room for the next datagram (kRtpMaxDatagram bytes), or empty when every slot is in use.
  std::span<std::uint8_t> ReceiveArea();
  // Files the datagram just read into ReceiveArea(): `length` is its full size as the socket
  // reported it (larger than the area when it was cut short).
  ReceiveResult Commit(std::size_t length, platform::SocketAddress source, std::uint32_t nowTick);
  // Copies `datagram` into the receive area and commits it.
  ReceiveResult Offer(std::span<const std::uint8_t> datagram, platform::SocketAddress source, std::uint32_t nowTick);

  // Forget the stream: the next packet names it again, and another SSRC may be adopted for
  // 5000 ms from `nowTick`.
  void RearmSsrcLearning(std::uint32_t nowTick);

  bool HasNext() const { return next_ >= 0; }
  // Whether the next slot carries the expected sequence number (false without a next slot).
  bool NextInOrder() const;
  // Frees the next slot and hands its packet over; the expected number moves past it.
  std::optional<TakenPacket> Take();

  std::uint16_t ExpectedSequence() const { return expected_; }
  std::uint32_t Ssrc() const { return ssrc_; }
  bool Started() const { return started_; }
  int SlotsInUse() const;

 private:
  struct Slot {
    bool inUse = false;
    std::uint16_t length = 0;
    std::uint16_t sequence = 0;
    platform::SocketAddress source;
  };

  std::uint8_t* SlotData(int index) { return storage_.get() + static_cast<std::size_t>(index) * kRtpMaxDatagram; }
  void FreeAll();
  void ChooseNext();

  std::unique_ptr<std::uint8_t[]> storage_;  // kJitterSlots datagrams, allocated once
  std::array<Slot, kJitterSlots> slots_{};
  int area_ = -1;  // slot handed out by ReceiveArea(), -1 none
  int next_ = -1;  // slot to play next, -1 none
  bool started_ = false;
  std::uint32_t startTick_;
  std::uint32_t ssrc_ = 0;
  std::uint16_t expected_ = 0;
};

}  // namespace corvina::media
