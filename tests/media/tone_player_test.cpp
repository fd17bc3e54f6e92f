// Tones. Proves:
// - a WAV source plays once or loops; a looping source over an empty file gives silence and
//   returns at once, every time;
// - the tone folder is filled with the phone's own tones only when it is created, and the
//   dial tone loops without a seam;
// - a missing tone is logged with its path; tones go to the play device at PlayVolume or to
//   the ring device; the key click plays without a wait.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "media/audio_devices.h"
#include "media/sample_scale.h"
#include "media/system_tones.h"
#include "media/tone_player.h"
#include "media/tone_texts.h"
#include "media/wav_file.h"
#include "media/wav_file_source.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/memory_settings_store.h"
#include "platform/null_audio.h"
#include "platform/settings.h"
#include "tests/media/support/test_doubles.h"
#include "tests/support/temp_folder.h"

namespace corvina::media {
namespace {

using corvina::testing::TempFolder;
using testing::Eventually;
using testing::RecordingLog;

void WriteWav(const std::string& path, const std::vector<std::int32_t>& samples) {
  WavWriter writer;
  ASSERT_EQ(writer.Create(path), WavError::kNone);
  ASSERT_TRUE(writer.Write(samples));
  ASSERT_EQ(writer.Close(), WavError::kNone);
}

std::vector<std::int32_t> ReadWav(const std::string& path) {
  WavReader reader;
  if (reader.Open(path) != WavError::kNone) return {};
  std::vector<std::int32_t> samples(reader.FrameCount());
  samples.resize(reader.ReadMono(samples));
  return samples;
}

TEST(WavFileSourceTest, PlaysOnceOrLoopsAndAnEmptyLoopIsSilence) {
  TempFolder folder;
  WriteWav(folder.Sub("abc.wav"), {16, 32, 48});
  WriteWav(folder.Sub("empty.wav"), {});
  std::vector<std::int32_t> buffer(10, 7);

  auto once = WavFileSource::Open(folder.Sub("abc.wav"), false);
  ASSERT_TRUE(once);
  EXPECT_EQ(once->Transfer(buffer), 3u);
  EXPECT_EQ(buffer, (std::vector<std::int32_t>{16, 32, 48, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(once->Transfer(buffer), 0u);

  auto looping = WavFileSource::Open(folder.Sub("abc.wav"), true);
  EXPECT_EQ(looping->Transfer(buffer), 10u);
  EXPECT_EQ(buffer, (std::vector<std::int32_t>{16, 32, 48, 16, 32, 48, 16, 32, 48, 16}));

  auto emptyLoop = WavFileSource::Open(folder.Sub("empty.wav"), true);
  ASSERT_TRUE(emptyLoop);
  for (int pass = 0; pass < 100; ++pass) {
    std::fill(buffer.begin(), buffer.end(), 7);
    ASSERT_EQ(emptyLoop->Transfer(buffer), 10u);
    ASSERT_EQ(buffer, std::vector<std::int32_t>(10, 0));
  }
  EXPECT_EQ(WavFileSource::Open(folder.Sub("empty.wav"), false)->Transfer(buffer), 0u);
  EXPECT_FALSE(WavFileSource::Open(folder.Sub("missing.wav"), true));
}

TEST(SystemTonesTest, EachMissingToneIsWrittenAndAUsersFileKept) {
  TempFolder data;
  ASSERT_TRUE(EnsureSystemTonesFolder(data.Path().string()));
  for (std::string_view name : ShippedToneNames()) {
    const std::string path = SystemToneFile(data.Path().string(), name);
    WavReader reader;
    ASSERT_EQ(reader.Open(path), WavError::kNone) << path;
    EXPECT_EQ(reader.Format().sampleRate, 8000u);
    EXPECT_EQ(reader.Format().channels, 1);
    std::vector<std::int32_t> expected = SynthesizeTone(name);
    ASSERT_FALSE(expected.empty());
    for (std::int32_t& s : expected) s = FromPcm16(ToPcm16(s));
    EXPECT_EQ(ReadWav(path), expected) << name;
  }
  // The dial tone loops without a seam: the sample before the first is the last.
  const std::vector<std::int32_t> dial = SynthesizeTone(kToneDialtone);
  EXPECT_EQ(dial[0], 0);
  EXPECT_EQ(dial.back(), -dial[1]);

  // A home made before Hold.wav shipped gains it; the user's own busy tone stays as it is.
  const std::string hold = SystemToneFile(data.Path().string(), "Hold");
  const std::string busy = SystemToneFile(data.Path().string(), kToneBusy);
  std::filesystem::remove(hold);
  { std::ofstream(busy, std::ios::trunc) << "mine"; }
  ASSERT_TRUE(EnsureSystemTonesFolder(data.Path().string()));
  EXPECT_FALSE(ReadWav(hold).empty());
  EXPECT_EQ(std::filesystem::file_size(busy), 4u);
}

struct TonePlayerFixture : ::testing::Test {
  TempFolder data;
  platform::MemorySettingsStore store;
  platform::Settings settings{store};
  RecordingLog log;
  platform::NullAudioSystem noCards;
  AudioDevices devices{noCards, log};
  platform::SystemMediaClock clock;
  TonePlayer player{devices, settings, log, clock, data.Path().string()};

  void SetUp() override {
    settings.SetSettingString(kSettingsSection, kSettingPlayDevice, "wav:" + data.Sub("play.wav"));
    settings.SetSettingString(kSettingsSection, kSettingRingPlayDevice, "wav:" + data.Sub("ring.wav"));
    std::filesystem::create_directories(SystemTonesFolder(data.Path().string()));
  }

  // Polls the device file for up to 10 s until it holds `frames` samples.
  std::vector<std::int32_t> WaitForFile(const std::string& path, std::size_t frames) {
    std::vector<std::int32_t> got;
    Eventually([&] { return (got = ReadWav(path)).size() >= frames; }, 10000);
    return got;
  }
};

TEST_F(TonePlayerFixture, AMissingToneIsLoggedWithItsPathAndPlaysNothing) {
  EXPECT_FALSE(player.Tone(kToneBusy, false, false));
  const std::string path = SystemToneFile(data.Path().string(), kToneBusy);
  EXPECT_EQ(log.LinesWithLevels(), std::vector<std::string>{"Cannot find system file: " + path + " @1"});
  EXPECT_FALSE(std::filesystem::exists(data.Sub("play.wav")));
}

TEST_F(TonePlayerFixture, RingingGoesToTheRingDeviceAndALoopedToneToThePlayDeviceAtItsVolume) {
  std::vector<std::int32_t> beep(400);
  for (std::size_t i = 0; i < beep.size(); ++i) beep[i] = static_cast<std::int32_t>((i % 40) * 1600) - 32000;
  WriteWav(SystemToneFile(data.Path().string(), kToneRinging), beep);

  ASSERT_TRUE(player.Ring());
  std::vector<std::int32_t> ring = WaitForFile(data.Sub("ring.wav"), 400);
  ASSERT_GE(ring.size(), 400u);
  EXPECT_EQ(std::vector(ring.begin(), ring.begin() + 400), beep);  // full level on the ring device

  settings.SetSettingInt(kSettingsSection, kSettingPlayVolume, 500);  // clamped to 127: full level
  ASSERT_TRUE(player.Tone(kToneRinging, true, false));
  std::vector<std::int32_t> play = WaitForFile(data.Sub("play.wav"), 1200);
  player.StopTone();
  ASSERT_GE(play.size(), 1200u);
  for (std::size_t i = 0; i < 1200; ++i) ASSERT_EQ(play[i], beep[i % 400]) << i;
  EXPECT_TRUE(log.Lines().empty());
}

TEST_F(TonePlayerFixture, TheKeyClickPlaysOnThePlayDeviceWithoutWaiting) {
  player.KeyClick();  // returns before the click has played
  std::vector<std::int32_t> click = WaitForFile(data.Sub("play.wav"), 800);
  ASSERT_GE(click.size(), 800u);
  EXPECT_TRUE(std::any_of(click.begin(), click.begin() + 800, [](std::int32_t s) { return s != 0; }));
}

}  // namespace
}  // namespace corvina::media
