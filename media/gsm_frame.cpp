#include "media/gsm_frame.h"

namespace corvina::media::gsm {
namespace {

constexpr int kLarBits[8] = {6, 6, 5, 5, 4, 4, 3, 3};

// Most-significant-bit-first field writer and reader over the 33 bytes, through a 32-bit
// accumulator so that each field costs a shift or two rather than a loop over its bits.
class BitWriter {
 public:
  explicit BitWriter(std::span<std::uint8_t, kFrameBytes> out) : out_(out) {}
  void Put(int value, int bits) {
    pending_ = (pending_ << bits) | (static_cast<std::uint32_t>(value) & ((1u << bits) - 1));
    count_ += bits;
    while (count_ >= 8) {
      count_ -= 8;
      out_[position_++] = static_cast<std::uint8_t>(pending_ >> count_);
    }
  }

 private:
  std::span<std::uint8_t, kFrameBytes> out_;
  std::uint32_t pending_ = 0;
  int count_ = 0;
  int position_ = 0;
};

class BitReader {
 public:
  explicit BitReader(std::span<const std::uint8_t, kFrameBytes> in) : in_(in) {}
  std::int16_t Get(int bits) {
    while (count_ < bits) {
      pending_ = (pending_ << 8) | in_[position_++];
      count_ += 8;
    }
    count_ -= bits;
    return static_cast<std::int16_t>((pending_ >> count_) & ((1u << bits) - 1));
  }

 private:
  std::span<const std::uint8_t, kFrameBytes> in_;
  std::uint32_t pending_ = 0;
  int count_ = 0;
  int position_ = 0;
};

}  // namespace

void PackFrame(const FrameParams& params, std::span<std::uint8_t, kFrameBytes> out) {
  BitWriter writer(out);
  writer.Put(0xD, 4);
  for (int i = 0; i < 8; ++i) writer.Put(params.lar[i], kLarBits[i]);
  for (const SubFrameParams& sub : params.sub) {
    writer.Put(sub.lag, 7);
    writer.Put(sub.gain, 2);
    writer.Put(sub.grid, 2);
    writer.Put(sub.blockMax, 6);
    for (std::int16_t pulse : sub.pulses) writer.Put(pulse, 3);
  }
}

bool UnpackFrame(std::span<const std::uint8_t, kFrameBytes> in, FrameParams& params) {
  BitReader reader(in);
  const bool signature = reader.Get(4) == 0xD;
  for (int i = 0; i < 8; ++i) params.lar[i] = reader.Get(kLarBits[i]);
  for (SubFrameParams& sub : params.sub) {
    sub.lag = reader.Get(7);
    sub.gain = reader.Get(2);
    sub.grid = reader.Get(2);
    sub.blockMax = reader.Get(6);
    for (std::int16_t& pulse : sub.pulses) pulse = reader.Get(3);
  }
  return signature;
}

}  // namespace corvina::media::gsm
