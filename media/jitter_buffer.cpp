#include "media/jitter_buffer.h"

#include <algorithm>
#include <cstring>

namespace corvina::media {

JitterBuffer::JitterBuffer(std::uint32_t nowTick)
    : storage_(new std::uint8_t[static_cast<std::size_t>(kJitterSlots) * kRtpMaxDatagram]), startTick_(nowTick) {}

std::span<std::uint8_t> JitterBuffer::ReceiveArea() {
  area_ = -1;
  for (int i = 0; i < kJitterSlots; ++i) {
    if (!slots_[i].inUse) {
      area_ = i;
      return {SlotData(i), kRtpMaxDatagram};
    }
  }
  return {};
}

ReceiveResult JitterBuffer::Commit(std::size_t length, platform::SocketAddress source, std::uint32_t nowTick) {
  ReceiveResult result;
  if (area_ < 0) return result;
  const int index = area_;
  area_ = -1;
  if (length > kRtpMaxDatagram) {
    result.outcome = ReceiveOutcome::kTooLong;
    return result;
  }
  const std::optional<RtpHeader> header = ParseRtpHeader({SlotData(index), length});
  if (!header) {
    result.outcome = ReceiveOutcome::kMalformed;
    return result;
  }
  result.header = *header;
  result.outcome = ReceiveOutcome::kAccepted;
  if (!started_) {
    // Learning afresh: slots of another stream would only wait here until they are too late.
    if (header->ssrc != ssrc_) FreeAll();
    ssrc_ = header->ssrc;
    expected_ = header->sequence;
    started_ = true;
  } else if (header->ssrc != ssrc_) {
    if (nowTick - startTick_ >= kSsrcLearningMs) {
      result.outcome = ReceiveOutcome::kForeignSsrc;
      return result;
    }
    FreeAll();
    ssrc_ = header->ssrc;
    expected_ = header->sequence;
    result.outcome = ReceiveOutcome::kAdopted;
  }
  Slot& slot = slots_[index];
  slot.inUse = true;
  slot.length = static_cast<std::uint16_t>(length);
  slot.sequence = header->sequence;
  slot.source = source;
  ChooseNext();
  return result;
}

ReceiveResult JitterBuffer::Offer(std::span<const std::uint8_t> datagram, platform::SocketAddress source,
                                  std::uint32_t nowTick) {
  std::span<std::uint8_t> area = ReceiveArea();
  if (area.empty()) return {};
  std::memcpy(area.data(), datagram.data(), std::min(datagram.size(), area.size()));
  return Commit(datagram.size(), source, nowTick);
}

void JitterBuffer::RearmSsrcLearning(std::uint32_t nowTick) {
  started_ = false;
  startTick_ = nowTick;
}

bool JitterBuffer::NextInOrder() const { return next_ >= 0 && slots_[next_].sequence == expected_; }

std::optional<TakenPacket> JitterBuffer::Take() {
  if (next_ < 0) return std::nullopt;
  Slot& slot = slots_[next_];
  slot.inUse = false;
  expected_ = static_cast<std::uint16_t>(slot.sequence + 1);
  TakenPacket taken{{SlotData(next_), slot.length}, slot.source};
  ChooseNext();
  return taken;
}

int JitterBuffer::SlotsInUse() const {
  return static_cast<int>(std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.inUse; }));
}

void JitterBuffer::FreeAll() {
  for (Slot& slot : slots_) slot.inUse = false;
  next_ = -1;
}

void JitterBuffer::ChooseNext() {
  next_ = -1;
  std::uint16_t best = 0;
  for (int i = 0; i < kJitterSlots; ++i) {
    Slot& slot = slots_[i];
    if (!slot.inUse) continue;
    const auto d = static_cast<std::uint16_t>(slot.sequence - expected_);
    if (d >= kLateDistance) {
      slot.inUse = false;
      continue;
    }
    if (next_ < 0 || d < best) {
      next_ = i;
      best = d;
    }
  }
}

}  // namespace corvina::media
