// corvina-codec run as a program: its raw files are the codecs' wire bytes, standard tools
// read them, and bad input ends with a message and a non-zero status.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media/g711.h"
#include "media/sample_scale.h"
#include "media/voice_codec.h"
#include "media/wav_file.h"
#include "tests/media/support/reference_codecs.h"
#include "tests/media/support/test_audio.h"

namespace corvina::media {
namespace {

using testing::ReadFileBytes;
using testing::RunCommand;
using testing::ScratchPath;
using testing::TestSpeech;

struct ToolRun {
  int status;
  std::string messages;
};

ToolRun Tool(const std::string& arguments) {
  const std::string errors = ScratchPath("tool-errors.txt");
  const int status = RunCommand(std::string("'") + CORVINA_CODEC_TOOL + "' " + arguments + " 2>'" + errors + "'");
  const std::vector<std::uint8_t> bytes = ReadFileBytes(errors);
  return {status, std::string(bytes.begin(), bytes.end())};
}

// The test speech as an 8 kHz WAV file of our own writer, and its samples at internal scale.
std::vector<std::int32_t> SpeechWav(const std::string& path) {
  const std::vector<std::int32_t> samples = testing::ToInternal(TestSpeech());
  WavWriter writer;
  EXPECT_EQ(writer.Create(path), WavError::kNone);
  EXPECT_TRUE(writer.Write(samples));
  EXPECT_EQ(writer.Close(), WavError::kNone);
  return samples;
}

std::vector<std::uint8_t> EncodeInProcess(CodecId codec, std::vector<std::int32_t> samples) {
  samples.resize((samples.size() + kFrameSamples - 1) / kFrameSamples * kFrameSamples, 0);
  FrameEncoder encoder(codec);
  std::vector<std::uint8_t> out;
  std::vector<std::uint8_t> frame(kFrameSamples);
  for (std::size_t i = 0; i < samples.size(); i += kFrameSamples) {
    const std::size_t n = encoder.Encode(std::span<const std::int32_t, kFrameSamples>(&samples[i], kFrameSamples), frame);
    out.insert(out.end(), frame.begin(), frame.begin() + static_cast<long>(n));
  }
  return out;
}

std::vector<std::int32_t> ReadWav(const std::string& path) {
  WavReader reader;
  EXPECT_EQ(reader.Open(path), WavError::kNone) << path;
  std::vector<std::int32_t> samples(reader.FrameCount());
  samples.resize(reader.ReadMono(samples));
  return samples;
}

TEST(CodecToolTest, EncodesAndDecodesEveryCodecLikeTheLibrary) {
  ASSERT_GT(TestSpeech().size(), 8000u);
  const std::string wav = ScratchPath("speech.wav");
  const std::vector<std::int32_t> samples = SpeechWav(wav);
  const std::size_t frames = (samples.size() + kFrameSamples - 1) / kFrameSamples;
  for (const char* name : {"pcmu", "pcma", "g726-32", "gsm"}) {
    const CodecId codec = *CodecFromName(name);
    const std::string raw = ScratchPath(std::string(name) + ".raw");
    const std::string back = ScratchPath(std::string(name) + "-back.wav");
    const ToolRun encode = Tool(std::string("encode ") + name + " '" + wav + "' '" + raw + "'");
    ASSERT_EQ(encode.status, 0) << name << ": " << encode.messages;
    const std::vector<std::uint8_t> bytes = ReadFileBytes(raw);
    EXPECT_EQ(bytes.size(), frames * FrameBytes(codec)) << name;
    EXPECT_EQ(bytes, EncodeInProcess(codec, samples)) << name;

    const ToolRun decode = Tool(std::string("decode ") + name + " '" + raw + "' '" + back + "'");
    ASSERT_EQ(decode.status, 0) << name << ": " << decode.messages;
    PayloadDecoder decoder(codec);
    std::vector<std::int32_t> expected(PayloadDecoder::SamplesFor(codec, bytes.size()));
    expected.resize(decoder.Decode(bytes, expected));
    for (std::int32_t& v : expected) v = FromPcm16(ToPcm16(v));  // what a 16-bit file holds
    EXPECT_EQ(ReadWav(back), expected) << name;
  }
}

// Standard decoders read the raw files: ffmpeg for µ-law, libgsm's untoast for GSM.
TEST(CodecToolTest, RawFilesAreWhatStandardToolsDecode) {
  const std::string wav = ScratchPath("speech.wav");
  SpeechWav(wav);
  const std::string ulaw = ScratchPath("speech.ulaw");
  ASSERT_EQ(Tool("encode pcmu '" + wav + "' '" + ulaw + "'").status, 0);
  const std::string viaFfmpeg = ScratchPath("ffmpeg.raw");
  ASSERT_EQ(RunCommand("ffmpeg -v error -y -f mulaw -ar 8000 -ac 1 -i '" + ulaw + "' -f s16le '" + viaFfmpeg + "'"), 0);
  const std::vector<std::uint8_t> codes = ReadFileBytes(ulaw);
  const std::vector<std::uint8_t> pcm = ReadFileBytes(viaFfmpeg);
  ASSERT_EQ(pcm.size(), 2 * codes.size());
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const auto v = static_cast<std::int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
    ASSERT_EQ(v * 16, MulawDecodeSample(codes[i])) << i;
  }

  const std::string gsmFile = ScratchPath("speech.gsm");
  ASSERT_EQ(Tool("encode gsm '" + wav + "' '" + gsmFile + "'").status, 0);
  const std::string untoastedPath = ScratchPath("untoasted.raw");
  ASSERT_EQ(RunCommand("untoast -l -c '" + gsmFile + "' > '" + untoastedPath + "' 2>/dev/null"), 0);
  const std::vector<std::uint8_t> untoasted = ReadFileBytes(untoastedPath);
  const std::vector<std::uint8_t> frames = ReadFileBytes(gsmFile);
  ASSERT_EQ(untoasted.size(), frames.size() / kGsmFrameBytes * kFrameSamples * 2);
  ::gsm reference = gsm_create();
  for (std::size_t f = 0; f * kGsmFrameBytes < frames.size(); ++f) {
    std::vector<std::uint8_t> frame(frames.begin() + static_cast<long>(f * kGsmFrameBytes),
                                    frames.begin() + static_cast<long>((f + 1) * kGsmFrameBytes));
    gsm_signal out[160];
    ASSERT_EQ(gsm_decode(reference, frame.data(), out), 0);
    for (int k = 0; k < 160; ++k) {
      const std::size_t at = 2 * (f * 160 + k);
      ASSERT_EQ(static_cast<std::int16_t>(untoasted[at] | (untoasted[at + 1] << 8)), out[k]);
    }
  }
  gsm_destroy(reference);
}

TEST(CodecToolTest, BadInputEndsWithAMessage) {
  const std::string wav = ScratchPath("speech.wav");
  SpeechWav(wav);
  const std::string out = ScratchPath("out.raw");
  struct Case {
    std::string arguments;
    int status;
    std::string message;
  };
  const std::string notWav = ScratchPath("not.wav");
  ASSERT_TRUE(testing::WriteFileBytes(notWav, std::vector<std::uint8_t>(100, 'x')));
  const std::string wideband = ScratchPath("16k.wav");
  ASSERT_EQ(RunCommand("sox -n -r 16000 -c 1 -b 16 '" + wideband + "' synth 0.1 sine 500 2>/dev/null"), 0);
  const std::string partialGsm = ScratchPath("partial.gsm");
  ASSERT_TRUE(testing::WriteFileBytes(partialGsm, std::vector<std::uint8_t>(33 + 10, 0xD0)));
  const Case cases[] = {
      {"", 2, "usage: corvina-codec encode"},
      {"transcode pcmu a b", 2, "usage"},
      {"encode opus '" + wav + "' '" + out + "'", 2, "unknown codec \"opus\""},
      {"encode pcmu '" + ScratchPath("missing.wav") + "' '" + out + "'", 1, "the file cannot be opened"},
      {"encode gsm '" + notWav + "' '" + out + "'", 1, "not a WAV file (no RIFF header)"},
      {"encode pcma '" + wideband + "' '" + out + "'", 1, "the sample rate must be 8000 Hz"},
      {"encode pcmu '" + wav + "' '" + ScratchPath("no/such/dir.raw") + "'", 1, "cannot be created"},
      {"decode gsm '" + partialGsm + "' '" + ScratchPath("partial.wav") + "'", 1,
       "ends with 10 bytes that are not a whole 33-byte frame"},
  };
  for (const Case& c : cases) {
    const ToolRun run = Tool(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments;
    EXPECT_NE(run.messages.find(c.message), std::string::npos) << c.arguments << " said: " << run.messages;
  }
  // The whole frame before the partial one was still decoded.
  EXPECT_EQ(ReadWav(ScratchPath("partial.wav")).size(), 160u);
}

}  // namespace
}  // namespace corvina::media
