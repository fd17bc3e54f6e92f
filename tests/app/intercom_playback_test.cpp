// The intercom buffers between the lines' speaker feeds and the speaker, on fake feeds and a
// speaker read by the test: a line's audio is kept only while the line is not live and only
// around what is heard, plays only while the speaker is free, line 0's before line 1's, and
// only audible audio counts as use.
#include "app/controller/intercom_playback.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvina::app {
namespace {

class IntercomPlaybackTest : public ::testing::Test {
 protected:
  // Line n receives `count` samples of 16-bit `value`; the speaker reads up to `count`.
  void Receive(int line, int value, std::size_t count) {
    std::vector<std::int32_t> block(count, value * 16);
    feeds_[line]->Transfer(block);
  }
  std::vector<std::int32_t> Speak(std::size_t count) {
    std::vector<std::int32_t> out(count, -1);
    out.resize(speaker_->Transfer(out));
    return out;
  }

  media::AudioSinkPtr feeds_[2];
  int feedChanges_ = 0;
  media::AudioSinkPtr speaker_;
  std::vector<int> played_;
  IntercomPlayback playback_{[this](int line, media::AudioSinkPtr feed) { feeds_[line] = feed, ++feedChanges_; },
                             [this](media::AudioSinkPtr source) { return speaker_ = source, nullptr; },
                             [this](int line) { played_.push_back(line); }};
};

TEST_F(IntercomPlaybackTest, KeepsWhatIsNotLiveAndPlaysItWhenTheSpeakerIsFree) {
  ASSERT_TRUE(playback_.Start(1));
  ASSERT_TRUE(playback_.Start(0));
  playback_.Update({false, false}, false);  // a normal call holds the speaker
  Receive(1, 1000, 800);
  Receive(0, 0, 400);  // quiet before anything was heard is not kept,
  Receive(0, -300, 400);
  Receive(0, 0, 8000);  // nor after the hangover
  EXPECT_EQ(playback_.BufferedMs(0), (400 + IntercomPlayback::kHangoverSamples) / 8);
  EXPECT_EQ(playback_.BufferedMs(1), 100u);
  EXPECT_EQ(speaker_, nullptr);

  const int changes = feedChanges_;
  playback_.Update({true, false}, false);  // line 0 is live: its feed is the live path's
  EXPECT_EQ(feedChanges_, changes + 1);

  playback_.Update({false, false}, true);
  ASSERT_NE(speaker_, nullptr);
  EXPECT_EQ(Speak(400), std::vector<std::int32_t>(400, -300 * 16));
  EXPECT_EQ(Speak(8000), std::vector<std::int32_t>(IntercomPlayback::kHangoverSamples, 0));
  EXPECT_EQ(Speak(1000), std::vector<std::int32_t>(800, 1000 * 16));
  EXPECT_EQ(played_, (std::vector<int>{0, 1}));  // quiet is no use of the line
  EXPECT_TRUE(Speak(10).empty());

  Receive(1, 5, 80);
  playback_.Stop(1, false);
  EXPECT_EQ(feeds_[1], nullptr);
  EXPECT_EQ(playback_.BufferedMs(1), 0u);
}

}  // namespace
}  // namespace corvina::app
