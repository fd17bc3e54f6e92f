// Sound devices below the media layer:
// - buffer plans follow the block sizes and buffer counts of wave-in and wave-out;
// - a mono stream sits on the device channel asked for, or on channel 0 when the device lacks it;
// - real PortAudio streams on a machine without sound hardware (ALSA's file plugin as the
//   default device, set up in a private HOME): playback puts our tone into the plugin's file,
//   also when the stored device name is no longer present, and capture delivers the plugin's
//   input file block by block, sample for sample, also on the second channel of a two-channel
//   opening; no ALSA or JACK noise on standard error;
// - the silent device keeps a device's pace in both directions.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/null_audio.h"
#include "platform/portaudio_system.h"
#include "tests/support/temp_folder.h"

namespace corvina::platform {
namespace {

using Clock = std::chrono::steady_clock;

TEST(AudioBufferPlan, BlockSizesAndCountsFollowTheRate) {
  struct Case {
    std::uint32_t rate;
    int playFrames, captureFrames;
  } cases[] = {{8000, 800, 160}, {44100, 4410, 882}, {100, 20, 32}, {192000, 8192, 3840}, {500000, 8192, 8192}};
  for (const Case& c : cases) {
    EXPECT_EQ(PlaybackBufferPlan(c.rate).blockFrames, c.playFrames) << c.rate;
    EXPECT_EQ(PlaybackBufferPlan(c.rate).bufferCount, 8);
    EXPECT_EQ(CaptureBufferPlan(c.rate).blockFrames, c.captureFrames) << c.rate;
    EXPECT_EQ(CaptureBufferPlan(c.rate).bufferCount, 50);
  }
}

TEST(ChannelPlacement, AMonoStreamTakesAndFillsOnlyItsDeviceChannel) {
  const std::int16_t device[] = {1, 2, 3, 4, 5, 6}, mono[] = {7, 8};
  struct Case {
    int channel, maxChannels;
    ChannelPlacement placement;
    std::vector<std::int16_t> captured, played;  // from `device`; `played` plays `mono`
  } cases[] = {
      {0, 2, {1, 0}, {1, 2, 3, 4, 5, 6}, {7, 8}},
      {1, 2, {2, 1}, {2, 4, 6}, {0, 7, 0, 8}},
      {2, 2, {1, 0}, {1, 2, 3, 4, 5, 6}, {7, 8}},  // the device lacks channel 2
  };
  for (const Case& c : cases) {
    const ChannelPlacement got = PlaceStream({8000, 1, c.channel}, c.maxChannels);
    EXPECT_EQ(got, c.placement) << c.channel;
    std::vector<std::int16_t> captured(6 / got.deviceChannels), played(c.played.size(), -1);
    StreamFromDevice(device, got, 1, captured.data(), captured.size());
    StreamToDevice(mono, 1, got, played.data(), 2);
    EXPECT_EQ(captured, c.captured);
    EXPECT_EQ(played, c.played);
  }
}

// Queues `samples` block by block and waits until the device has played them all.
bool PlayAll(AudioOutput& out, const std::vector<std::int16_t>& samples) {
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  const std::size_t block = static_cast<std::size_t>(out.Plan().blockFrames);
  std::size_t done = 0;
  while (Clock::now() < deadline && !out.Lost()) {
    if (done < samples.size()) {
      std::size_t n = std::min(block, samples.size() - done);
      if (out.Queue(std::span(samples).subspan(done, n))) {
        done += n;
        continue;
      }
    } else if (out.QueuedBuffers() == 0) {
      return true;
    }
    WaitForAny({WaitSource::Of(out.BufferDone())}, 200);
  }
  return false;
}

std::vector<std::int16_t> WithoutZeros(std::vector<std::int16_t> v) {
  std::erase(v, 0);
  return v;
}

TEST(PortAudioSystem, RealStreamsPlayIntoAndCaptureFromAlsasFilePlugin) {
  testing::TempFolder folder("pa");
  const std::string raw = folder.Sub("out.raw");
  const std::string input = folder.Sub("in.raw");
  std::vector<std::int16_t> tone(4000);
  for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<std::int16_t>(9000 * std::sin(0.3 + i * 0.35));
  std::ofstream(input, std::ios::binary).write(reinterpret_cast<const char*>(tone.data()), tone.size() * 2);
  std::ofstream(folder.Sub(".asoundrc")) << "pcm.!default { type file slave.pcm \"null\" file \"" << raw
                                         << "\" infile \"" << input << "\" format \"raw\" }\n";
  setenv("HOME", folder.Path().c_str(), 1);

  ::testing::internal::CaptureStderr();
  PortAudioSystem system;
  for (bool capture : {false, true}) {
    std::vector<std::string> names = capture ? system.CaptureDevices() : system.PlaybackDevices();
    EXPECT_NE(std::find(names.begin(), names.end(), "default"), names.end());
  }
  EXPECT_TRUE(system.HasDefaultPlayback());
  // A headset that was unplugged since it was chosen: the default device plays instead.
  // The second channel of a two-channel opening carries the tone, the first stays silent.
  const struct {
    const char* choice;
    int channel;
  } plays[] = {{"", 0}, {"USB headset no longer present", 0}, {"", 1}};
  for (const auto& [choice, channel] : plays) {
    std::filesystem::remove(raw);
    AudioOpenResult<AudioOutput> opened = system.OpenOutput(choice, {8000, 1, channel});
    ASSERT_TRUE(opened.stream) << opened.detail;
    EXPECT_EQ(opened.stream->Format(), (AudioFormat{8000, 1, channel}));
    EXPECT_TRUE(PlayAll(*opened.stream, tone));
    EXPECT_FALSE(opened.stream->Lost());
    opened.stream.reset();

    std::ifstream in(raw, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::int16_t> written(bytes.size() / 2), own, others;
    std::memcpy(written.data(), bytes.data(), written.size() * 2);
    for (std::size_t i = 0; i < written.size(); ++i) {
      (static_cast<int>(i) % (channel + 1) == channel ? own : others).push_back(written[i]);
    }
    // The device fills with silence whenever our queue is empty; the tone itself comes through
    // sample for sample and in order.
    EXPECT_EQ(WithoutZeros(own), WithoutZeros(tone)) << "choice \"" << choice << "\" channel " << channel;
    EXPECT_EQ(WithoutZeros(others), std::vector<std::int16_t>{});
  }

  for (int channel : {0, 1}) {
    AudioOpenResult<AudioInput> mic = system.OpenInput("", {8000, 1, channel});
    ASSERT_TRUE(mic.stream) << mic.detail;
    EXPECT_EQ(mic.stream->Plan().blockFrames, 160);
    const std::size_t wanted = 3200 / static_cast<std::size_t>(channel + 1);
    std::vector<std::int16_t> captured, block, expected;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (captured.size() < wanted && Clock::now() < deadline) {
      if (mic.stream->TakeBlock(&block)) {
        EXPECT_EQ(block.size(), 160u);
        captured.insert(captured.end(), block.begin(), block.end());
      } else {
        WaitForAny({WaitSource::Of(mic.stream->BlockReady())}, 200);
      }
    }
    for (std::size_t i = 0; i < wanted; ++i) expected.push_back(tone[i * (channel + 1) + channel]);
    EXPECT_EQ(captured, expected) << "channel " << channel;
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(NullAudioSystem, KeepsThePaceOfADeviceBothWays) {
  NullAudioSystem silent;
  auto out = silent.OpenOutput({}, {8000, 1}).stream;
  auto in = silent.OpenInput({}, {8000, 1}).stream;
  ASSERT_TRUE(out && in);
  std::vector<std::int16_t> block(160, 1000);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(out->Queue(block));
  // 60 ms of audio: still queued right away, all played a little later.
  EXPECT_GT(out->QueuedBuffers(), 0);
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (out->QueuedBuffers() > 0 && Clock::now() < deadline) WaitForAny({WaitSource::Of(out->BufferDone())}, 100);
  EXPECT_EQ(out->QueuedBuffers(), 0);

  std::vector<std::int16_t> got;
  while (!in->TakeBlock(&got) && Clock::now() < deadline) WaitForAny({WaitSource::Of(in->BlockReady())}, 100);
  EXPECT_EQ(got, std::vector<std::int16_t>(160, 0));
  EXPECT_FALSE(in->Lost());
}

}  // namespace
}  // namespace corvina::platform
