// GSM 06.10 against libgsm: the analysis and synthesis cores bit for bit (with the standard's
// own front and back end applied around them here), the frame layout, and speech quality
// when each side decodes the other's frames.
#include <algorithm>
#include <array>
#include <cstdint>
#include <iostream>
#include <vector>

#include <gtest/gtest.h>

#include "media/gsm_arith.h"
#include "media/gsm_codec.h"
#include "media/sample_scale.h"
#include "tests/media/support/reference_codecs.h"
#include "tests/media/support/test_audio.h"

namespace corvina::media {
namespace {

using gsm::MultR;
using testing::SegmentalSnr;
using testing::TestSpeech;
using testing::Tone;
using Frame = std::array<std::uint8_t, kGsmFrameBytes>;

// The standard's front end on 16-bit input: downscaling to 13 bits, offset compensation and
// pre-emphasis by 28180/32768.
class StandardPreprocess {
 public:
  std::int16_t Process(std::int16_t input) {
    const std::int32_t so = (input >> 3) << 2;
    const std::int32_t s1 = so - z1_;
    z1_ = so;
    std::int32_t s2 = s1 << 15;
    const std::int32_t msp = z2_ >> 15;
    const std::int32_t lsp = z2_ - (msp << 15);
    s2 += MultR(static_cast<std::int16_t>(lsp), 32735);
    z2_ = msp * 32735 + s2;
    const auto sof = static_cast<std::int16_t>((z2_ + 16384) >> 15);
    const std::int16_t out = gsm::Add(sof, MultR(mp_, -28180));
    mp_ = sof;
    return out;
  }

 private:
  std::int32_t z1_ = 0;
  std::int32_t z2_ = 0;
  std::int16_t mp_ = 0;
};

// The standard's back end: de-emphasis, upscaling and truncation to 13 bits.
class StandardPostprocess {
 public:
  std::int16_t Process(std::int16_t sr) {
    msr_ = gsm::Add(sr, MultR(msr_, 28180));
    return static_cast<std::int16_t>(gsm::Add(msr_, msr_) & 0xFFF8);
  }

 private:
  std::int16_t msr_ = 0;
};

class LibGsm {
 public:
  LibGsm() : handle_(gsm_create()) {}
  ~LibGsm() { gsm_destroy(handle_); }
  LibGsm(const LibGsm&) = delete;
  LibGsm& operator=(const LibGsm&) = delete;
  Frame Encode(const std::int16_t* samples) {
    std::array<gsm_signal, 160> in;
    std::copy(samples, samples + 160, in.begin());
    Frame out;
    gsm_encode(handle_, in.data(), out.data());
    return out;
  }
  std::array<std::int16_t, 160> Decode(const Frame& frame) {
    Frame copy = frame;
    std::array<gsm_signal, 160> out{};
    gsm_decode(handle_, copy.data(), out.data());
    std::array<std::int16_t, 160> result;
    std::copy(out.begin(), out.end(), result.begin());
    return result;
  }

 private:
  ::gsm handle_;
};

std::vector<std::int16_t> Whole(std::vector<std::int16_t> samples) {
  samples.resize(samples.size() / 160 * 160);
  return samples;
}

std::vector<std::pair<const char*, std::vector<std::int16_t>>> Signals() {
  std::vector<std::int16_t> tones = Tone(250, 12000, 4000);
  for (std::int16_t v : Tone(1800, 25000, 4000)) tones.push_back(v);
  for (std::int16_t v : Tone(3300, 4000, 4000)) tones.push_back(v);
  std::vector<std::int16_t> square(3200);
  for (std::size_t i = 0; i < square.size(); ++i) square[i] = (i / 25) % 2 ? 32767 : -32768;
  return {{"speech", Whole(TestSpeech())}, {"tones", Whole(tones)}, {"square", square}};
}

std::vector<Frame> EncodeWithLibGsm(const std::vector<std::int16_t>& pcm) {
  LibGsm reference;
  std::vector<Frame> frames;
  for (std::size_t i = 0; i + 160 <= pcm.size(); i += 160) frames.push_back(reference.Encode(&pcm[i]));
  return frames;
}

std::vector<std::int16_t> DecodeWithLibGsm(const std::vector<Frame>& frames) {
  LibGsm reference;
  std::vector<std::int16_t> pcm;
  for (const Frame& frame : frames) {
    const auto block = reference.Decode(frame);
    pcm.insert(pcm.end(), block.begin(), block.end());
  }
  return pcm;
}

std::vector<Frame> EncodeOurs(const std::vector<std::int16_t>& pcm) {
  GsmEncoder encoder;
  std::vector<Frame> frames;
  std::array<std::int32_t, 160> block;
  for (std::size_t i = 0; i + 160 <= pcm.size(); i += 160) {
    for (int k = 0; k < 160; ++k) block[k] = FromPcm16(pcm[i + k]);
    Frame frame;
    encoder.EncodeFrame(block, frame);
    frames.push_back(frame);
  }
  return frames;
}

std::vector<std::int16_t> DecodeOurs(const std::vector<Frame>& frames) {
  GsmDecoder decoder;
  std::vector<std::int16_t> pcm;
  std::array<std::int32_t, 160> block;
  for (const Frame& frame : frames) {
    decoder.DecodeFrame(frame, block);
    for (std::int32_t v : block) pcm.push_back(ToPcm16(v));
  }
  return pcm;
}

TEST(GsmTest, AnalysisMatchesLibgsmBitForBit) {
  ASSERT_GT(TestSpeech().size(), 8000u);
  for (const auto& [name, pcm] : Signals()) {
    const std::vector<Frame> reference = EncodeWithLibGsm(pcm);
    StandardPreprocess front;
    gsm::AnalysisState state;
    std::size_t differing = 0;
    for (std::size_t f = 0; f < reference.size(); ++f) {
      std::array<std::int16_t, 160> s;
      for (int k = 0; k < 160; ++k) s[k] = front.Process(pcm[f * 160 + k]);
      gsm::FrameParams params;
      gsm::AnalyseFrame(state, s, params);
      Frame ours;
      gsm::PackFrame(params, ours);
      if (ours != reference[f]) ++differing;
    }
    EXPECT_EQ(differing, 0u) << name << " of " << reference.size() << " frames";
  }
}

TEST(GsmTest, SynthesisMatchesLibgsmBitForBit) {
  for (const auto& [name, pcm] : Signals()) {
    const std::vector<Frame> frames = EncodeWithLibGsm(pcm);
    const std::vector<std::int16_t> reference = DecodeWithLibGsm(frames);
    StandardPostprocess back;
    gsm::SynthesisState state;
    std::size_t differing = 0;
    for (std::size_t f = 0; f < frames.size(); ++f) {
      gsm::FrameParams params;
      ASSERT_TRUE(gsm::UnpackFrame(frames[f], params));
      std::array<std::int16_t, 160> sr;
      gsm::SynthesiseFrame(state, params, sr);
      for (int k = 0; k < 160; ++k) {
        if (back.Process(sr[k]) != reference[f * 160 + k]) ++differing;
      }
    }
    EXPECT_EQ(differing, 0u) << name;
  }
}

// Each side decodes the other's frames about as well as libgsm decodes its own.
TEST(GsmTest, CrossDecodedSpeechIsAsGoodAsLibgsmsOwnRoundTrip) {
  const std::vector<std::int16_t> speech = Whole(TestSpeech());
  ASSERT_GT(speech.size(), 8000u);
  const std::vector<Frame> ourFrames = EncodeOurs(speech);
  const std::vector<Frame> theirFrames = EncodeWithLibGsm(speech);
  const double reference = SegmentalSnr(speech, DecodeWithLibGsm(theirFrames));
  const double oursToLibgsm = SegmentalSnr(speech, DecodeWithLibGsm(ourFrames));
  const double libgsmToOurs = SegmentalSnr(speech, DecodeOurs(theirFrames));
  const double oursToOurs = SegmentalSnr(speech, DecodeOurs(ourFrames));
  std::cout << "GSM segmental SNR: libgsm->libgsm " << reference << " dB, ours->libgsm " << oursToLibgsm
            << " dB, libgsm->ours " << libgsmToOurs << " dB, ours->ours " << oursToOurs << " dB\n";
  EXPECT_GT(reference, 5.0);
  EXPECT_GT(oursToLibgsm, reference - 1.0);
  EXPECT_GT(libgsmToOurs, reference - 1.0);
  EXPECT_GT(oursToOurs, reference - 1.0);
}

TEST(GsmTest, LibgsmFramesRoundTripThroughUnpackAndPackAndPayloadsDecodeInWholeFrames) {
  const std::vector<Frame> frames = EncodeWithLibGsm(Whole(TestSpeech()));
  ASSERT_FALSE(frames.empty());
  for (const Frame& frame : frames) {
    EXPECT_EQ(frame[0] >> 4, 0xD);
    gsm::FrameParams params;
    EXPECT_TRUE(gsm::UnpackFrame(frame, params));
    Frame again;
    gsm::PackFrame(params, again);
    ASSERT_EQ(again, frame);
  }
  // Field order and widths: a frame of known parameters lands on known bits.
  gsm::FrameParams params;
  params.lar[0] = 0x3F;  // 6 bits right after the signature
  params.sub[3].pulses[12] = 5;  // the last 3 bits of the frame
  Frame packed;
  gsm::PackFrame(params, packed);
  EXPECT_EQ(packed[0], 0xDF);
  EXPECT_EQ(packed[1] & 0xC0, 0xC0);
  EXPECT_EQ(packed[32] & 0x07, 5);
  Frame bad = packed;
  bad[0] = 0x3F;
  EXPECT_FALSE(gsm::UnpackFrame(bad, params));

  ASSERT_GE(frames.size(), 2u);
  std::vector<std::uint8_t> payload(frames[0].begin(), frames[0].end());
  payload.insert(payload.end(), frames[1].begin(), frames[1].end());
  std::vector<std::int32_t> samples(480);
  GsmDecoder decoder;
  EXPECT_EQ(decoder.DecodePayload(payload, samples), 320u);
  payload.pop_back();
  EXPECT_EQ(decoder.DecodePayload(payload, samples), 160u);
  payload.resize(32);
  EXPECT_EQ(decoder.DecodePayload(payload, samples), 0u);
  // The output buffer bounds the work too.
  payload.assign(99, 0xD0);
  EXPECT_EQ(decoder.DecodePayload(payload, std::span<std::int32_t>(samples.data(), 200)), 160u);
}

TEST(GsmTest, LoudInputClipsInsteadOfWrapping) {
  std::vector<std::int32_t> loud(1600);
  std::vector<std::int32_t> clipped(1600);
  for (std::size_t i = 0; i < loud.size(); ++i) {
    loud[i] = (i / 30) % 2 ? 5 * kFullScale : -7 * kFullScale;
    clipped[i] = (i / 30) % 2 ? kFullScale - 1 : -kFullScale;
  }
  GsmEncoder a;
  GsmEncoder b;
  GsmDecoder decoder;
  std::array<std::int32_t, 160> out;
  for (std::size_t i = 0; i < loud.size(); i += 160) {
    Frame fromLoud;
    Frame fromClipped;
    a.EncodeFrame(std::span<const std::int32_t, 160>(&loud[i], 160), fromLoud);
    b.EncodeFrame(std::span<const std::int32_t, 160>(&clipped[i], 160), fromClipped);
    EXPECT_EQ(fromLoud, fromClipped);
    decoder.DecodeFrame(fromLoud, out);
    for (std::int32_t v : out) {
      ASSERT_GE(v, -kFullScale);
      ASSERT_LT(v, kFullScale);
    }
  }
}

TEST(GsmTest, FrontEndRemovesDcAndBackEndUndoesTheEmphasis) {
  GsmPreFilter pre;
  GsmPostFilter post;
  std::int16_t last = 0;
  for (int i = 0; i < 16000; ++i) last = pre.Process(200000);
  EXPECT_EQ(last, 0);
  // A 1 kHz tone through both filters comes back as itself (the DC notch is far below it).
  GsmPreFilter pre2;
  const std::vector<std::int32_t> tone = testing::ToInternal(Tone(1000, 8000, 1600));
  std::int32_t worst = 0;
  for (std::size_t i = 0; i < tone.size(); ++i) {
    const std::int32_t back = post.Process(pre2.Process(tone[i]));
    if (i >= 800) worst = std::max(worst, std::abs(back - tone[i]));
  }
  EXPECT_LT(worst, 8000 * 16 / 50);
}

}  // namespace
}  // namespace corvina::media
