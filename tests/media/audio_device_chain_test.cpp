// The device half of the audio chain:
// - the capture thread raises samples to the internal scale (x * 16), reports per-channel
//   peaks only when they change, and converts a device that only opened at 44100 Hz to the
//   chain's 8000 Hz;
// - the playback thread narrows with (x + 8) >> 4 and clips instead of wrapping;
// - a device that goes away mid-call gives one activity-log line and the call goes on;
// - level reports never pile up in the user-interface queue;
// - devices by stored name: the lists, the silent device, the fallback to it without a sound
//   card (logged once), the format ladder, and a card without the channel asked for (logged).
#include <gtest/gtest.h>

#include <deque>
#include <mutex>

#include "media/audio_chain.h"
#include "media/audio_devices.h"
#include "media/audio_texts.h"
#include "media/capture_thread.h"
#include "media/playback_thread.h"
#include "media/ui_report.h"
#include "platform/manual_loop.h"
#include "platform/memory_settings_store.h"
#include "platform/settings.h"
#include "tests/media/support/test_doubles.h"

namespace corvina::media {
namespace {

using platform::AudioFormat;
using platform::AudioOpenError;
using testing::CollectingSink;
using testing::Eventually;
using testing::RecordingLog;

// A playback device that plays each buffer the moment it is queued, and can be pulled out.
class FakeOutput final : public platform::AudioOutput {
 public:
  explicit FakeOutput(AudioFormat format = {8000, 1}) : format_(format) {}
  AudioFormat Format() const override { return format_; }
  platform::AudioBufferPlan Plan() const override { return platform::PlaybackBufferPlan(format_.sampleRate); }
  bool Queue(std::span<const std::int16_t> samples) override {
    if (lost_) return false;
    std::lock_guard lock(mutex_);
    played_.insert(played_.end(), samples.begin(), samples.end());
    done_.Set();
    return true;
  }
  int QueuedBuffers() const override { return 0; }
  platform::Event& BufferDone() override { return done_; }
  bool Lost() const override { return lost_; }

  std::vector<std::int16_t> Played() {
    std::lock_guard lock(mutex_);
    return played_;
  }
  std::atomic<bool> lost_{false};

 private:
  AudioFormat format_;
  std::mutex mutex_;
  std::vector<std::int16_t> played_;
  platform::Event done_;
};

// A capture device whose blocks the test hands in.
class FakeInput final : public platform::AudioInput {
 public:
  explicit FakeInput(AudioFormat format = {8000, 1}) : format_(format) {}
  AudioFormat Format() const override { return format_; }
  platform::AudioBufferPlan Plan() const override { return platform::CaptureBufferPlan(format_.sampleRate); }
  bool TakeBlock(std::vector<std::int16_t>* block) override {
    std::lock_guard lock(mutex_);
    if (endless_) {
      block->assign(160, 0);
      return true;
    }
    if (blocks_.empty()) return false;
    *block = std::move(blocks_.front());
    blocks_.pop_front();
    return true;
  }
  platform::Event& BlockReady() override { return ready_; }
  bool Lost() const override { return lost_; }

  void Deliver(std::vector<std::int16_t> block) {
    {
      std::lock_guard lock(mutex_);
      blocks_.push_back(std::move(block));
    }
    ready_.Set();
  }
  void PullOut() {
    lost_ = true;
    ready_.Set();
  }
  // Every take finds another block waiting, as for a chain that falls behind the device.
  void SetEndless(bool endless) {
    {
      std::lock_guard lock(mutex_);
      endless_ = endless;
    }
    ready_.Set();
  }

 private:
  AudioFormat format_;
  std::mutex mutex_;
  std::deque<std::vector<std::int16_t>> blocks_;
  bool endless_ = false;  // guarded by mutex_
  platform::Event ready_;
  std::atomic<bool> lost_{false};
};

// A source that gives its samples once, then nothing.
class OnceSource final : public AudioSink {
 public:
  explicit OnceSource(std::vector<std::int32_t> samples) : AudioSink(8000, 1), samples_(std::move(samples)) {}
  std::size_t Transfer(std::span<std::int32_t> out) override {
    std::fill(out.begin(), out.end(), 0);
    std::size_t n = std::min(out.size(), samples_.size() - next_);
    std::copy_n(samples_.begin() + static_cast<std::ptrdiff_t>(next_), n, out.begin());
    next_ += n;
    return n;
  }

 private:
  std::vector<std::int32_t> samples_;
  std::size_t next_ = 0;
};

constexpr int kUnityVolume = 127;

TEST(CaptureThread, RaisesSamplesSixteenTimesAndReportsChangedPeaks) {
  auto input = std::make_unique<FakeInput>();
  FakeInput* device = input.get();
  RecordingLog log;
  std::mutex levelsMutex;
  std::vector<AudioLevels> levels;
  CaptureThread capture(std::move(input), "mic", log, kUnityVolume, [&](const AudioLevels& l) {
    std::lock_guard lock(levelsMutex);
    levels.push_back(l);
  });
  auto head = std::make_shared<CollectingSink>();
  capture.SetChainHead(head);
  ASSERT_TRUE(capture.Start());
  device->Deliver({1, -1, 32767, -32768});
  device->Deliver({-32768, 5, 0, 0});  // same peak: no new report
  device->Deliver({100, -200, 0, 0});
  ASSERT_TRUE(Eventually([&] { return head->Got().size() == 12; }));
  EXPECT_EQ(head->Got(), (std::vector<std::int32_t>{16, -16, 524272, -524288, -524288, 80, 0, 0, 1600, -3200, 0, 0}));
  capture.StopAndJoin();
  ASSERT_EQ(levels.size(), 2u);
  EXPECT_EQ(levels[0].peaks[0], 524288);
  EXPECT_EQ(levels[1].peaks[0], 3200);
  EXPECT_TRUE(log.Lines().empty());
}

TEST(CaptureThread, ConvertsADeviceAt44100HzToTheChainsRate) {
  auto input = std::make_unique<FakeInput>(AudioFormat{44100, 1});
  FakeInput* device = input.get();
  RecordingLog log;
  CaptureThread capture(std::move(input), "mic", log, kUnityVolume);
  auto head = std::make_shared<CollectingSink>();
  capture.SetChainHead(head);
  ASSERT_TRUE(capture.Start());
  for (int i = 0; i < 50; ++i) device->Deliver(std::vector<std::int16_t>(882, 1000));  // one second
  ASSERT_TRUE(Eventually([&] { return head->Got().size() >= 7900; }));
  capture.StopAndJoin();
  std::vector<std::int32_t> got = head->Got();
  EXPECT_NEAR(static_cast<double>(got.size()), 8000.0, 100.0);
  // Past the converter's start-up, a constant stays that constant.
  EXPECT_NEAR(got[got.size() / 2], 16000, 16);
}

// A chain head that counts the blocks it is given.
class CountingSink final : public AudioSink {
 public:
  CountingSink() : AudioSink(8000, 1) {}
  std::size_t Transfer(std::span<std::int32_t> samples) override {
    ++blocks;
    return samples.size();
  }
  std::atomic<int> blocks{0};
};

TEST(CaptureThread, StopsBetweenBlocksWhenTheChainNeverCatchesUp) {
  auto input = std::make_unique<FakeInput>();
  FakeInput* device = input.get();
  RecordingLog log;
  CaptureThread capture(std::move(input), "mic", log, kUnityVolume);
  auto head = std::make_shared<CountingSink>();
  capture.SetChainHead(head);
  ASSERT_TRUE(capture.Start());
  device->SetEndless(true);
  ASSERT_TRUE(Eventually([&] { return head->blocks >= 10; }));
  capture.RequestStop();
  EXPECT_TRUE(capture.Join(2000));
  device->SetEndless(false);  // lets a thread that missed the stop end
}

TEST(PlaybackThread, NarrowsWithRoundingAndClipsInsteadOfWrapping) {
  auto output = std::make_unique<FakeOutput>();
  FakeOutput* device = output.get();
  RecordingLog log;
  platform::SystemMediaClock clock;
  PlaybackThread playback(std::move(output), "speaker", log, clock, kUnityVolume);
  playback.SetSource(std::make_shared<OnceSource>(
      std::vector<std::int32_t>{8, 7, -8, -9, 16000, 524287, 524288, -524289, 1 << 30, -(1 << 30)}));
  ASSERT_TRUE(playback.Start());
  ASSERT_TRUE(Eventually([&] { return device->Played().size() == 10; }));
  playback.StopAndJoin();
  EXPECT_EQ(device->Played(), (std::vector<std::int16_t>{1, 0, 0, -1, 1000, 32767, 32767, -32768, 32767, -32768}));
  EXPECT_EQ(playback.WrittenPosition(), 10u);
  EXPECT_LE(playback.PlayingPosition(), 10u);
}

TEST(AudioDeviceThreads, ADeviceThatGoesAwayIsLoggedOnceAndTheCallGoesOn) {
  RecordingLog log;
  platform::SystemMediaClock clock;

  auto output = std::make_unique<FakeOutput>();
  FakeOutput* speaker = output.get();
  PlaybackThread playback(std::move(output), "USB headset", log, clock, kUnityVolume);
  auto source = std::make_shared<NullSink>();  // endless silence, like a call's received audio
  playback.SetSource(source);

  auto input = std::make_unique<FakeInput>();
  FakeInput* mic = input.get();
  CaptureThread capture(std::move(input), "USB headset", log, kUnityVolume);
  auto head = std::make_shared<CollectingSink>();
  capture.SetChainHead(head);

  ASSERT_TRUE(playback.Start());
  ASSERT_TRUE(capture.Start());
  speaker->lost_ = true;
  mic->PullOut();
  ASSERT_TRUE(Eventually([&] { return log.Lines().size() == 2; }));
  // The silent device stands in: the received audio is still taken at a device's pace and the
  // chain still gets (silent) microphone blocks.
  const std::uint64_t taken = source->Position();
  ASSERT_TRUE(Eventually([&] { return source->Position() > taken && head->Got().size() >= 320; }));
  capture.StopAndJoin();
  playback.StopAndJoin();
  std::vector<std::string> lines = log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(std::find(lines.begin(), lines.end(), std::string(kLogPlaybackLost) + "USB headset"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), std::string(kLogCaptureLost) + "USB headset"), lines.end());
}

TEST(UiReport, AtMostOneReportIsPendingAndItCarriesTheLatestValue) {
  platform::UiPostbox postbox;
  platform::ManualUiLoop queue(postbox);
  std::vector<int> delivered;
  {
    UiReport<int> report(postbox, [&](const int& v) { delivered.push_back(v); });
    for (int v = 1; v <= 100; ++v) report.Report(v);
    EXPECT_EQ(queue.PendingCount(), 1u);
    queue.RunPending();
    report.Report(7);
    EXPECT_EQ(queue.PendingCount(), 1u);
    queue.RunPending();
    report.Report(8);  // still queued when its owner goes
  }
  queue.RunPending();
  EXPECT_EQ(delivered, (std::vector<int>{100, 7}));
}

TEST(UiReport, AReportDroppedForWantOfALoopDoesNotHoldBackTheNext) {
  platform::UiPostbox postbox;
  std::vector<int> delivered;
  UiReport<int> report(postbox, [&](const int& v) { delivered.push_back(v); });
  report.Report(1);  // no loop attached yet: the postbox drops it
  platform::ManualUiLoop loop(postbox);
  report.Report(2);
  loop.RunPending();
  EXPECT_EQ(delivered, (std::vector<int>{2}));
}

// A sound system whose devices take only the formats the test lists.
class FakeCards final : public platform::AudioDeviceSystem {
 public:
  std::vector<std::string> names = {"HDA Intel PCH: ALC256 Analog (hw:0,0)", "pipewire", "default"};
  bool hasDefault = true;
  std::vector<AudioFormat> accepted = {{8000, 1}};
  AudioOpenError refusal = AudioOpenError::kBadFormat;
  std::vector<std::pair<std::string, AudioFormat>> attempts;
  int maxChannels = 2;  // a mono stream gets its channel when the card has it, as on a real card

  std::vector<std::string> PlaybackDevices() override { return names; }
  std::vector<std::string> CaptureDevices() override { return names; }
  bool HasDefaultPlayback() override { return hasDefault; }
  bool HasDefaultCapture() override { return hasDefault; }
  platform::AudioOpenResult<platform::AudioOutput> OpenOutput(const std::string& name,
                                                              const AudioFormat& format) override {
    if (!Accepts(name, format)) return {nullptr, refusal, "refused"};
    return {std::make_unique<FakeOutput>(Placed(format)), AudioOpenError::kNone, {}};
  }
  platform::AudioOpenResult<platform::AudioInput> OpenInput(const std::string& name,
                                                            const AudioFormat& format) override {
    if (!Accepts(name, format)) return {nullptr, refusal, "refused"};
    return {std::make_unique<FakeInput>(Placed(format)), AudioOpenError::kNone, {}};
  }

 private:
  bool Accepts(const std::string& name, const AudioFormat& format) {
    attempts.emplace_back(name, format);
    return std::find(accepted.begin(), accepted.end(), AudioFormat{format.sampleRate, format.channels}) !=
           accepted.end();
  }
  AudioFormat Placed(AudioFormat format) const {
    format.deviceChannel = platform::PlaceStream(format, maxChannels).channel;
    return format;
  }
};

TEST(AudioDevices, ListsStartWithTheDefaultEntryAndNamesOpenTheRightDevice) {
  FakeCards cards;
  RecordingLog log;
  AudioDevices devices(cards, log);
  EXPECT_EQ(devices.PlaybackChoices(),
            (std::vector<std::string>{"[Default Sound Out]", "HDA Intel PCH: ALC256 Analog (hw:0,0)", "pipewire",
                                      "default"}));
  EXPECT_EQ(devices.CaptureChoices().front(), "[Default Sound In]");

  ASSERT_TRUE(devices.OpenOutput("[Default Sound Out]", {8000, 1}).stream);
  ASSERT_TRUE(devices.OpenInput("pipewire", {8000, 1}).stream);
  EXPECT_EQ(cards.attempts[0].first, "");  // the default entry opens the default card
  EXPECT_EQ(cards.attempts[1].first, "pipewire");
  // The silent device takes any format and never reaches the cards.
  EXPECT_TRUE(devices.OpenOutput("null", {44100, 2}).stream);
  EXPECT_EQ(cards.attempts.size(), 2u);
  EXPECT_TRUE(log.Lines().empty());
}

TEST(AudioDevices, WithoutASoundCardTheDefaultIsTheSilentDeviceSaidOnce) {
  FakeCards cards;
  cards.names.clear();
  cards.hasDefault = false;
  RecordingLog log;
  AudioDevices devices(cards, log);
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(devices.OpenPlayback("", {8000, 1}).stream);
    EXPECT_TRUE(devices.OpenCapture("[Default Sound In]", {8000, 1}).stream);
  }
  EXPECT_TRUE(cards.attempts.empty());
  EXPECT_EQ(log.Lines(), std::vector<std::string>{std::string(kLogNoSoundCard)});
}

TEST(AudioDevices, ACardWithoutTheChannelAskedForUsesChannelZeroAndSaysSo) {
  FakeCards cards;
  RecordingLog log;
  AudioDevices devices(cards, log);
  const struct {
    std::string choice;
    int channel, got;
  } cases[] = {{"pipewire", 1, 1}, {"pipewire", 2, 0}, {"", 5, 0}, {"null", 1, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(devices.OpenCapture(c.choice, {8000, 1, c.channel}).stream->Format().deviceChannel, c.got) << c.choice;
  }
  const std::string missing(kLogCaptureChannelMissing);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{missing + "pipewire (channel 2)",
                                                   missing + "[Default Sound In] (channel 5)"}));
}

TEST(AudioDevices, AFormatRefusalWalksTheLadderAndOtherErrorsDoNot) {
  FakeCards cards;
  cards.accepted = {{22050, 1}};
  RecordingLog log;
  AudioDevices devices(cards, log);
  auto capture = devices.OpenCapture("default", {8000, 1});
  ASSERT_TRUE(capture.stream);
  EXPECT_EQ(capture.stream->Format(), (AudioFormat{22050, 1}));
  ASSERT_EQ(cards.attempts.size(), 3u);  // 8000, 44100, 22050
  EXPECT_EQ(cards.attempts[1].second, (AudioFormat{44100, 1}));

  // Stereo asked: both channel counts are tried before giving up.
  cards.attempts.clear();
  cards.accepted.clear();
  EXPECT_FALSE(devices.OpenPlayback("default", {8000, 2}).stream);
  EXPECT_EQ(cards.attempts.size(), 1u + 3u + 4u);  // 8000 stereo is not asked twice

  cards.attempts.clear();
  cards.refusal = AudioOpenError::kUnavailable;
  EXPECT_FALSE(devices.OpenCapture("default", {8000, 1}).stream);
  EXPECT_EQ(cards.attempts.size(), 1u);

  // A file device that cannot open is not a sound card: nothing else is tried.
  cards.attempts.clear();
  EXPECT_FALSE(devices.OpenCapture("wav:/nonexistent/folder/in.wav", {8000, 1}).stream);
  EXPECT_TRUE(cards.attempts.empty());
  std::vector<std::string> lines = log.Lines();
  ASSERT_EQ(lines.size(), 3u);  // one line per failed open
  EXPECT_EQ(lines[2].rfind(std::string(kLogCaptureFailed) + "wav:/nonexistent/folder/in.wav", 0), 0u);
}

// A reader standing in for a session's received audio: a constant, counted.
class ConstantSource final : public AudioSink {
 public:
  explicit ConstantSource(std::int32_t value) : AudioSink(8000, 1), value_(value) {}
  std::size_t Transfer(std::span<std::int32_t> out) override {
    std::fill(out.begin(), out.end(), value_);
    position_ += out.size();
    return out.size();
  }
  std::uint64_t Position() const override { return position_; }

 private:
  std::int32_t value_;
  std::uint64_t position_ = 0;
};

TEST(AudioChain, ProcessorsSitInTheirOrderAndSwitchedOffOnesAreLeftOut) {
  platform::MemorySettingsStore store;
  platform::Settings settings(store);
  auto sender = std::make_shared<CollectingSink>();
  EXPECT_EQ(BuildCaptureChain(sender, {nullptr, {}, false}), sender);

  auto suppressor = std::make_shared<EchoSuppressor>(settings);
  AudioSinkPtr head = BuildCaptureChain(sender, {suppressor, [] { return std::optional<std::uint64_t>(); }, true});
  auto* echo = dynamic_cast<EchoSuppressorSink*>(head.get());
  ASSERT_NE(echo, nullptr);
  ASSERT_NE(dynamic_cast<GainControlSink*>(echo->Next().get()), nullptr);
  EXPECT_EQ(dynamic_cast<GainControlSink*>(echo->Next().get())->Next(), sender);
  std::vector<std::int32_t> silence(800, 0);
  head->Transfer(silence);
  std::vector<std::int32_t> got = sender->Got();
  EXPECT_GE(got.size(), 720u);  // at most one 80-sample block held back
  EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](std::int32_t v) { return v == 0; }));

  // The loudspeaker side hands the reader's samples on unchanged and keeps its position.
  auto reader = std::make_shared<ConstantSource>(4000);
  AudioSinkPtr source = BuildPlaybackChain(reader, suppressor);
  ASSERT_NE(dynamic_cast<EchoReferenceTap*>(source.get()), nullptr);
  std::vector<std::int32_t> block(800, 1);
  EXPECT_EQ(source->Transfer(block), 800u);
  EXPECT_EQ(block, std::vector<std::int32_t>(800, 4000));
  EXPECT_EQ(source->Position(), 800u);
  EXPECT_EQ(BuildPlaybackChain(reader, nullptr), reader);
}

// A playback device whose buffers finish only when the test says so.
class ManualOutput final : public platform::AudioOutput {
 public:
  platform::AudioFormat Format() const override { return {8000, 1}; }
  platform::AudioBufferPlan Plan() const override { return platform::PlaybackBufferPlan(8000); }
  bool Queue(std::span<const std::int16_t> samples) override {
    std::lock_guard lock(mutex_);
    if (queued_ >= 8) return false;
    ++queued_;
    last_.assign(samples.begin(), samples.end());
    return true;
  }
  int QueuedBuffers() const override {
    std::lock_guard lock(mutex_);
    return queued_;
  }
  platform::Event& BufferDone() override { return done_; }
  bool Lost() const override { return false; }
  void Finish(int buffers) {
    {
      std::lock_guard lock(mutex_);
      queued_ -= buffers;
    }
    done_.Set();
  }
  std::vector<std::int16_t> Last() {
    std::lock_guard lock(mutex_);
    return last_;
  }

 private:
  mutable std::mutex mutex_;
  int queued_ = 0;
  std::vector<std::int16_t> last_;
  platform::Event done_;
};

TEST(PlaybackThread, EstimatesThePlayingPositionFromFinishedBuffersAndTheClock) {
  auto output = std::make_unique<ManualOutput>();
  ManualOutput* device = output.get();
  RecordingLog log;
  platform::FakeMediaClock clock(1000);
  PlaybackThread playback(std::move(output), "speaker", log, clock, kUnityVolume);
  playback.SetSource(std::make_shared<ConstantSource>(1600));
  ASSERT_TRUE(playback.Start());
  // Eight buffers of 100 ms queued; playing started when the first one went in.
  ASSERT_TRUE(Eventually([&] { return playback.WrittenPosition() == 6400; }));
  EXPECT_EQ(playback.PlayingPosition(), 0u);
  clock.Advance(50);
  EXPECT_EQ(playback.PlayingPosition(), 400u);
  clock.Advance(5000);
  EXPECT_EQ(playback.PlayingPosition(), 6400u);  // never past what was queued

  device->Finish(2);
  ASSERT_TRUE(Eventually([&] { return playback.WrittenPosition() == 8000; }));
  EXPECT_EQ(playback.PlayingPosition(), 1600u);
  clock.Advance(125);
  EXPECT_EQ(playback.PlayingPosition(), 2600u);

  // The volume is applied at the device: -36 and below mute.
  playback.SetVolume(-36);
  device->Finish(1);
  ASSERT_TRUE(Eventually([&] { return playback.WrittenPosition() == 8800; }));
  device->Finish(1);
  ASSERT_TRUE(Eventually([&] { return playback.WrittenPosition() == 9600; }));
  playback.StopAndJoin();
  EXPECT_EQ(device->Last(), std::vector<std::int16_t>(800, 0));
}

}  // namespace
}  // namespace corvina::media
