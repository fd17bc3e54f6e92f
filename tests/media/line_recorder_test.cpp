// The line recorder's mix: in step, a stalled side padded with silence once the other is 12801
// bytes ahead, blocks of at most 8192, 16-bit clipping, the tail mixed at stop, nothing recorded
// outside start and stop, and a second start keeping the running recording.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "media/line_recorder.h"
#include "media/sample_scale.h"

namespace corvina::media {
namespace {

using Runs = std::vector<std::pair<std::int32_t, std::size_t>>;  // value, how many in a row

struct CollectingSink final : RecordingSink {
  void Write(std::span<const std::int32_t> mixed) override {
    largest = std::max(largest, mixed.size());
    for (std::int32_t s : mixed) {
      (runs.empty() || runs.back().first != s ? runs.emplace_back(s, 0) : runs.back()).second++;
    }
  }
  void Close() override { ++closes; }
  RecordingTarget Target() const override { return {}; }
  Runs runs;
  std::size_t largest = 0;
  int closes = 0;
};

constexpr auto R = LineRecorder::kReceived;
constexpr auto S = LineRecorder::kSent;
constexpr std::int32_t kLoud = 30000 * 16;

TEST(LineRecorderTest, MixesBothDirectionsInStepAndPadsAStalledSide) {
  struct Step { LineRecorder::Direction direction; std::size_t samples; std::int32_t value; };
  struct Case { const char* name; std::vector<Step> steps; Runs beforeStop, afterStop; } cases[] = {
      {"in step", {{R, 160, 100}, {S, 160, 7}}, {{107, 160}}, {{107, 160}}},
      {"sent first", {{S, 100, 2}, {R, 160, 1}}, {{3, 100}}, {{3, 100}, {1, 60}}},
      {"12800 bytes ahead waits", {{R, 3200, 5}}, {}, {{5, 3200}}},
      {"12804 bytes ahead pads", {{R, 3200, 5}, {R, 1, 5}}, {{5, 3201}}, {{5, 3201}}},
      {"padded side stays padded", {{S, 3201, 4}, {S, 10, 6}, {R, 5, 1}}, {{4, 3201}, {6, 10}},
       {{4, 3201}, {6, 10}, {1, 5}}},
      {"one huge block", {{S, 20000, 1}}, {{1, 20000}}, {{1, 20000}}},
      {"clips high", {{R, 160, kLoud}, {S, 160, kLoud}}, {{kFullScale - 1, 160}}, {{kFullScale - 1, 160}}},
      {"clips low", {{R, 160, -kLoud}, {S, 160, -kLoud}}, {{-kFullScale, 160}}, {{-kFullScale, 160}}},
  };
  for (const Case& c : cases) {
    auto recorder = LineRecorder::Create();
    AudioSinkPtr taps[2] = {recorder->Tap(R), recorder->Tap(S)};
    auto sink = std::make_shared<CollectingSink>();
    auto second = std::make_shared<CollectingSink>();
    std::vector<std::int32_t> ignored(100, 9);
    taps[R]->Transfer(ignored);  // before the start: not recorded
    ASSERT_TRUE(recorder->Start(sink));
    EXPECT_FALSE(recorder->Start(second)) << "the running recording is kept";
    for (const Step& step : c.steps) {
      std::vector<std::int32_t> block(step.samples, step.value);
      taps[step.direction]->Transfer(block);
    }
    EXPECT_EQ(sink->runs, c.beforeStop) << c.name;
    EXPECT_EQ(recorder->Stop(), sink) << c.name;
    EXPECT_EQ(recorder->Stop(), nullptr) << c.name;
    taps[R]->Transfer(ignored);  // after the stop: dropped
    EXPECT_EQ(sink->runs, c.afterStop) << c.name;
    EXPECT_EQ(sink->closes, 1) << c.name;
    EXPECT_LE(sink->largest, LineRecorder::kMixBlock) << c.name;
    EXPECT_TRUE(second->runs.empty() && second->closes == 0) << c.name;
  }
}

}  // namespace
}  // namespace corvina::media
