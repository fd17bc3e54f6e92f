// The conference mixer. Proves: the speaker hears every line and each line hears the microphone
// and every other line, never itself (a line with nothing adds silence); loud in-phase parties
// clip at full scale and never wrap; lines joining and leaving while the capture thread mixes
// (run under TSan) never free a stream in use.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <thread>

#include "media/conference_mixer.h"
#include "tests/media/support/test_doubles.h"

namespace corvina::media {
namespace {

using testing::CollectingSink;
using Wave = std::function<std::int32_t(std::size_t)>;

// A line's received audio: sample n is wave(n); after `limit` samples it has nothing more.
class WaveSource final : public AudioSink {
 public:
  explicit WaveSource(Wave wave, std::size_t limit = SIZE_MAX) : AudioSink(8000, 1), wave_(std::move(wave)), limit_(limit) {}
  std::size_t Transfer(std::span<std::int32_t> samples) override {
    const std::size_t real = std::min(samples.size(), limit_ - std::min(limit_, next_));
    for (std::size_t n = 0; n < samples.size(); ++n) samples[n] = n < real ? wave_(next_ + n) : 0;
    next_ += real;
    return real;
  }

 private:
  Wave wave_;
  std::size_t limit_;
  std::size_t next_ = 0;
};

Wave Constant(std::int32_t value) { return [value](std::size_t) { return value; }; }
Wave Tone(double hz, double ofFullScale) {
  return [=](std::size_t n) {
    return static_cast<std::int32_t>(std::lround(ofFullScale * (kFullScale - 1) * std::sin(2 * M_PI * hz * n / kSampleRate)));
  };
}

// Feeds `blocks` 20 ms blocks of microphone audio in uneven pieces; returns what the speaker got.
std::vector<std::int32_t> Mix(ConferenceMixer& mixer, const Wave& mic, int blocks) {
  std::vector<std::int32_t> samples(static_cast<std::size_t>(blocks) * kFrameSamples);
  for (std::size_t n = 0; n < samples.size(); ++n) samples[n] = mic(n);
  for (std::size_t at = 0; at < samples.size(); at += 70) {
    std::vector<std::int32_t> piece(samples.begin() + at, samples.begin() + std::min(at + 70, samples.size()));
    mixer.Transfer(piece);
  }
  std::vector<std::int32_t> speaker(samples.size());
  mixer.SpeakerSource()->Transfer(speaker);
  return speaker;
}

TEST(ConferenceMixer, EachLineHearsTheMicrophoneAndEveryOtherLine) {
  struct Case {
    std::vector<std::int32_t> lines;  // each line's constant received level (0: it has nothing)
    std::int32_t mic;
  };
  for (const Case& c : {Case{{1000, 20000}, 300}, Case{{1000, 20000, -7000}, 300}, Case{{5000, 0}, -40}, Case{{0, 0}, 0}}) {
    ConferenceMixer mixer;
    std::vector<std::shared_ptr<CollectingSink>> sent;
    std::int32_t all = 0;
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      sent.push_back(std::make_shared<CollectingSink>());
      auto reader = std::make_shared<WaveSource>(Constant(c.lines[i]), c.lines[i] == 0 ? 0 : SIZE_MAX);
      ASSERT_TRUE(mixer.Join(static_cast<int>(i), reader, sent.back()));
      all += c.lines[i];
    }
    EXPECT_EQ(Mix(mixer, Constant(c.mic), 3), std::vector<std::int32_t>(3 * kFrameSamples, all));
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      EXPECT_EQ(sent[i]->Got(), std::vector<std::int32_t>(3 * kFrameSamples, c.mic + all - c.lines[i])) << i;
    }
  }
}

TEST(ConferenceMixer, LoudInPhasePartiesClipAndNeverFlipSign) {
  ConferenceMixer mixer;
  auto toA = std::make_shared<CollectingSink>(), toB = std::make_shared<CollectingSink>();
  ASSERT_TRUE(mixer.Join(0, std::make_shared<WaveSource>(Tone(400, 0.9)), toA));
  ASSERT_TRUE(mixer.Join(1, std::make_shared<WaveSource>(Tone(400, 0.9)), toB));
  const auto speaker = Mix(mixer, Tone(400, 0.9), 10);
  const Wave wave = Tone(400, 0.9);
  int clipped = 0;
  for (const std::vector<std::int32_t>& out : {speaker, toA->Got(), toB->Got()}) {
    ASSERT_EQ(out.size(), 10u * kFrameSamples);
    for (std::size_t n = 0; n < out.size(); ++n) {
      // The sum of two, never their average, clipped into range: a sign never flips.
      ASSERT_EQ(out[n], ClipToFullScale(2LL * wave(n))) << n;
      clipped += out[n] == kFullScale - 1 || out[n] == -kFullScale;
    }
  }
  EXPECT_GT(clipped, 0);
}

TEST(ConferenceMixer, LinesJoinAndLeaveWhileTheCaptureThreadMixes) {
  auto mixer = std::make_shared<ConferenceMixer>();
  std::atomic<bool> stop{false};
  std::thread capture([&] {
    std::vector<std::int32_t> block(kFrameSamples, 100), speaker(kFrameSamples);
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
  // Each block sends the microphone's 100 plus whichever lines were in: never less.
  for (std::int32_t sample : kept->Got()) ASSERT_GE(sample, 100);
}

}  // namespace
}  // namespace corvina::media
