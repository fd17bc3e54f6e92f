#include "media/gsm_frame.h"

namespace corvina::media::gsm {
namespace {

constexpr int kLarBits[8] = {6, 6, 5, 5, 4, 4, 3, 3};

class BitWriter {
 public:
  explicit BitWriter(std::span<std::uint8_t, kFrameBytes> out) : out_(out) {
    for (std::uint8_t& byte : out_) byte = 0;
  }
  void Put(int value, int bits) {
    for (int b = bits - 1; b >= 0; --b, ++position_) {
      if ((value >> b) & 1) out_[position_ / 8] |= static_cast<std::uint8_t>(0x80 >> (position_ % 8));
    }
  }

 private:
  std::span<std::uint8_t, kFrameBytes> out_;
  int position_ = 0;
};

class BitReader {
 public:
  explicit BitReader(std::span<const std::uint8_t, kFrameBytes> in) : in_(in) {}
  std::int16_t Get(int bits) {
    int value = 0;
    for (int b = 0; b < bits; ++b, ++position_) {
      value = (value << 1) | ((in_[position_ / 8] >> (7 - position_ % 8)) & 1);
    }
    return static_cast<std::int16_t>(value);
  }

 private:
  std::span<const std::uint8_t, kFrameBytes> in_;
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
