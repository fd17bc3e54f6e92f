// The conference mixer. Proves: the speaker hears every line and each line hears the microphone
// and every other line (never itself); silence and lines with nothing stay silent; loud in-phase
// parties clip at full scale and never wrap; lines joining and leaving while the capture thread
// mixes (run under TSan) never free a stream in use.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "media/conference_mixer.h"
#include "tests/media/support/test_doubles.h"

namespace corvina::media {
namespace {

using testing::CollectingSink;

// A line's received audio: sample n is wave(n); after `limit` samples it has nothing more.
class WaveSource final : public AudioSink {
 public:
  explicit WaveSource(std::function<std::int32_t(std::size_t)> wave, std::size_t limit = SIZE_MAX)
      : AudioSink(8000, 1), wave_(std::move(wave)), limit_(limit) {}
  std::size_t Transfer(std::span<std::int32_t> samples) override {
    const std::size_t real = std::min(samples.size(), limit_ - std::min(limit_, next_));
    for (std::size_t n = 0; n < samples.size(); ++n) samples[n] = n < real ? wave_(next_ + n) : 0;
    next_ += real;
    return real;
  }

 private:
  std::function<std::int32_t(std::size_t)> wave_;
  std::size_t limit_;
  std::size_t next_ = 0;
};

std::function<std::int32_t(std::size_t)> Constant(std::int32_t value) {
  return [value](std::size_t) { return value; };
}

std::function<std::int32_t(std::size_t)> Tone(double hz, double ofFullScale) {
  return [=](std::size_t n) {
    return static_cast<std::int32_t>(std::lround(ofFullScale * (kFullScale - 1) * std::sin(2 * M_PI * hz * n / kSampleRate)));
  };
}

// Feeds `blocks` 20 ms blocks of microphone audio (in uneven pieces) and returns the speaker's.
std::vector<std::int32_t> Mix(ConferenceMixer& mixer, const std::function<std::int32_t(std::size_t)>& mic, int blocks) {
  std::vector<std::int32_t> samples(static_cast<std::size_t>(blocks) * kFrameSamples);
  for (std::size_t n = 0; n < samples.size(); ++n) samples[n] = mic(n);
  for (std::size_t at = 0; at < samples.size();) {
    const std::size_t piece = std::min<std::size_t>(samples.size() - at, 70);
    std::vector<std::int32_t> chunk(samples.begin() + at, samples.begin() + at + piece);
    mixer.Transfer(chunk);
    at += piece;
  }
  std::vector<std::int32_t> speaker(samples.size());
  mixer.SpeakerSource()->Transfer(speaker);
  return speaker;
}

TEST(ConferenceMixer, EachLineHearsTheMicrophoneAndEveryOtherLine) {
  struct Case {
    std::vector<std::int32_t> lines;  // each line's constant received level
    std::int32_t mic;
  };
  for (const Case& c : {Case{{1000, 20000}, 300}, Case{{1000, 20000, -7000}, 300}, Case{{5000}, -40}, Case{{0, 0}, 0}}) {
    ConferenceMixer mixer;
    std::vector<std::shared_ptr<CollectingSink>> sent;
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      sent.push_back(std::make_shared<CollectingSink>());
      ASSERT_TRUE(mixer.Join(static_cast<int>(i), std::make_shared<WaveSource>(Constant(c.lines[i])), sent.back()));
    }
    const auto speaker = Mix(mixer, Constant(c.mic), 3);
    std::int32_t all = 0;
    for (auto level : c.lines) all += level;
    EXPECT_EQ(speaker, std::vector<std::int32_t>(3 * kFrameSamples, all));
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      EXPECT_EQ(sent[i]->Got(), std::vector<std::int32_t>(3 * kFrameSamples, c.mic + all - c.lines[i])) << i;
    }
  }
}

TEST(ConferenceMixer, ALineWithNothingAddsSilenceAndAPartialBlockWaits) {
  ConferenceMixer mixer;
  auto quiet = std::make_shared<CollectingSink>();
  auto talker = std::make_shared<CollectingSink>();
  ASSERT_TRUE(mixer.Join(0, std::make_shared<WaveSource>(Constant(9), 0), quiet));
  ASSERT_TRUE(mixer.Join(1, std::make_shared<WaveSource>(Constant(500), 100), talker));
  std::vector<std::int32_t> part(159, 0);
  mixer.Transfer(part);
  EXPECT_TRUE(talker->Got().empty());  // no block until 160 microphone samples came
  const auto speaker = Mix(mixer, Constant(0), 1);  // completes block 1 and leaves 159 pending
  std::vector<std::int32_t> expected(kFrameSamples, 0);
  std::fill_n(expected.begin(), 100, 500);
  EXPECT_EQ(quiet->Got(), expected);
  EXPECT_EQ(talker->Got(), std::vector<std::int32_t>(kFrameSamples, 0));
  EXPECT_EQ(std::vector<std::int32_t>(speaker.begin(), speaker.begin() + kFrameSamples), expected);
}

TEST(ConferenceMixer, LoudInPhasePartiesClipAndNeverFlipSign) {
  ConferenceMixer mixer;
  auto toA = std::make_shared<CollectingSink>();
  auto toB = std::make_shared<CollectingSink>();
  ASSERT_TRUE(mixer.Join(0, std::make_shared<WaveSource>(Tone(400, 0.9)), toA));
  ASSERT_TRUE(mixer.Join(1, std::make_shared<WaveSource>(Tone(400, 0.9)), toB));
  const auto speaker = Mix(mixer, Tone(400, 0.9), 10);
  const auto wave = Tone(400, 0.9);
  bool clipped = false;
  for (const std::vector<std::int32_t>& out : {speaker, toA->Got(), toB->Got()}) {
    ASSERT_EQ(out.size(), 10u * kFrameSamples);
    for (std::size_t n = 0; n < out.size(); ++n) {
      const std::int32_t in = wave(n);
      const std::int32_t got = out[n];
      ASSERT_GE(got, -kFullScale);
      ASSERT_LT(got, kFullScale);
      if (in != 0) {
        ASSERT_EQ(got > 0, in > 0) << n;
      }
      ASSERT_EQ(got, ClipToFullScale(2LL * in)) << n;  // the sum of two, never their average
      clipped = clipped || got == kFullScale - 1 || got == -kFullScale;
    }
  }
  EXPECT_TRUE(clipped);
}

TEST(ConferenceMixer, LinesJoinAndLeaveWhileTheCaptureThreadMixes) {
  auto mixer = std::make_shared<ConferenceMixer>();
  std::atomic<bool> stop{false};
  std::thread capture([&] {
    std::vector<std::int32_t> block(kFrameSamples, 100);
    std::vector<std::int32_t> speaker(kFrameSamples);
    while (!stop.load()) {
      mixer->Transfer(block);
      mixer->SpeakerSource()->Transfer(speaker);
    }
  });
  auto kept = std::make_shared<CollectingSink>();
  ASSERT_TRUE(mixer->Join(7, std::make_shared<WaveSource>(Constant(1)), kept));
  for (int round = 0; round < 2000; ++round) {
    // Each joiner's streams are held by the mixer alone: leaving frees them once no block uses them.
    mixer->Join(round % 2, std::make_shared<WaveSource>(Constant(round)), std::make_shared<CollectingSink>());
    if (round % 3 == 0) mixer->Leave((round + 1) % 2);
  }
  mixer->Leave(0);
  mixer->Leave(1);
  EXPECT_EQ(mixer->Lines(), std::vector<int>{7});
  EXPECT_TRUE(testing::Eventually([&] { return kept->Got().size() >= 4 * kFrameSamples; }));
  stop.store(true);
  capture.join();
  // A block's sum is 100 from the microphone plus whatever others were in; never below it.
  for (std::int32_t sample : kept->Got()) ASSERT_GE(sample, 100);
}

}  // namespace
}  // namespace corvina::media
