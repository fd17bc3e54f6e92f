// WAV files made by sox, read by the phone's reader.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "media/wav_file.h"
#include "tests/media/support/test_audio.h"

namespace corvina::media {
namespace {

using testing::ReadFileBytes;
using testing::RunCommand;
using testing::ScratchPath;

struct SoxCase {
  const char* options;
  int channels;
  std::uint32_t rate;
  int bits;
};

// Files of every supported shape, made by sox; our mono mix is checked against sox's raw data.
TEST(WavTest, ReadsSoxFilesOfEverySupportedShape) {
  const SoxCase cases[] = {{"-r 8000 -c 1 -b 16 -e signed-integer", 1, 8000, 16},
                           {"-r 22050 -c 2 -b 16 -e signed-integer", 2, 22050, 16},
                           {"-r 11025 -c 1 -b 8 -e unsigned-integer", 1, 11025, 8},
                           {"-r 44100 -c 2 -b 8 -e unsigned-integer", 2, 44100, 8}};
  for (const SoxCase& c : cases) {
    const std::string wav = ScratchPath("sox.wav");
    const std::string raw = ScratchPath("sox.raw");
    ASSERT_EQ(RunCommand(std::string("sox -D -n ") + c.options + " '" + wav +
                         "' synth 0.3 sine 440 sine 1250 gain -2 2>/dev/null"), 0);
    ASSERT_EQ(RunCommand("sox -D '" + wav + "' -t raw '" + raw + "' 2>/dev/null"), 0);
    const std::vector<std::uint8_t> data = ReadFileBytes(raw);
    WavReader reader;
    ASSERT_EQ(reader.Open(wav), WavError::kNone) << c.options;
    EXPECT_EQ(reader.Format().channels, c.channels);
    EXPECT_EQ(reader.Format().sampleRate, c.rate);
    EXPECT_EQ(reader.Format().bitsPerSample, c.bits);
    const std::size_t block = static_cast<std::size_t>(c.channels * c.bits / 8);
    ASSERT_EQ(reader.FrameCount(), data.size() / block);
    std::vector<std::int32_t> mono(reader.FrameCount() + 10);
    ASSERT_EQ(reader.ReadMono(mono), data.size() / block);
    for (std::size_t f = 0; f < data.size() / block; ++f) {
      int sum = 0;
      for (int ch = 0; ch < c.channels; ++ch) {
        const std::uint8_t* p = &data[f * block + ch * c.bits / 8];
        sum += c.bits == 8 ? (p[0] - 128) * 256 : static_cast<std::int16_t>(p[0] | (p[1] << 8));
      }
      ASSERT_EQ(mono[f], sum / c.channels * 16) << c.options << " frame " << f;
    }
  }
}

}  // namespace
}  // namespace corvina::media
