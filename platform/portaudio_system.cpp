#include "platform/portaudio_system.h"

#include "platform/portaudio_library.h"


#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

namespace corvina::platform {
namespace {

// PortAudio keeps process-wide state; every call that touches it (start, stop, device
// lists, opening and closing streams) holds this lock. Stream callbacks never take it. It is
// recursive because a stream that fails to open is closed while the lock is still held.
std::recursive_mutex& LibraryMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}
// Streams open in this process; the device lists are re-read only when there are none.
std::atomic<int> gOpenStreams{0};

// The loaded library. Only called once `PortAudioSystem::Ready` has succeeded (every stream is
// opened after it), so the library is there.
const PortAudioLibrary& Pa() { return *PortAudioLibrary::Get(); }

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A device that has not called back for this long while running is taken for gone.
constexpr std::int64_t kStallMs = 2500;

bool IsFormatError(PaError e) {
  return e == paInvalidSampleRate || e == paInvalidChannelCount || e == paSampleFormatNotSupported;
}

// The device of that exact name and direction, or paNoDevice.
int FindNamed(const std::string& name, bool capture) {
  int count = Pa().GetDeviceCount();
  for (int i = 0; !name.empty() && i < count; ++i) {
    const PaDeviceInfo* info = Pa().GetDeviceInfo(i);
    if (info == nullptr || info->name == nullptr || name != info->name) continue;
    if ((capture ? info->maxInputChannels : info->maxOutputChannels) > 0) return i;
  }
  return paNoDevice;
}

int DefaultDevice(bool capture) { return capture ? Pa().GetDefaultInputDevice() : Pa().GetDefaultOutputDevice(); }

// What both stream kinds share: the PortAudio stream with its own library reference, its
// start and its orderly end, and the signs that the device went away. The holder is the
// stream's user data; it hands each callback on to the stream object that owns it.
class PaStreamHolder {
 public:
  using Process = void (*)(void* owner, const void* input, void* output, unsigned long frames);

  PaStreamHolder(void* owner, Process process) : owner_(owner), process_(process) { gOpenStreams.fetch_add(1); }
  ~PaStreamHolder() {
    std::lock_guard lock(LibraryMutex());
    if (stream_ != nullptr) {
      Pa().AbortStream(stream_);
      Pa().CloseStream(stream_);
    }
    if (initialised_) Pa().Terminate();
    gOpenStreams.fetch_sub(1);
  }
  PaStreamHolder(const PaStreamHolder&) = delete;
  PaStreamHolder& operator=(const PaStreamHolder&) = delete;

  // Opens and starts the stream. Call with the library lock held.
  PaError Open(const PaStreamParameters* in, const PaStreamParameters* out, double rate) {
    PaError e = Pa().Initialize();
    if (e != paNoError) return e;
    initialised_ = true;
    e = Pa().IsFormatSupported(in, out, rate);
    if (e != paFormatIsSupported) return e;
    e = Pa().OpenStream(&stream_, in, out, rate, paFramesPerBufferUnspecified, paNoFlag, &PaStreamHolder::Callback, this);
    if (e != paNoError) {
      stream_ = nullptr;
      return e;
    }
    e = Pa().SetStreamFinishedCallback(stream_, &PaStreamHolder::Finished);
    lastCallbackMs_ = NowMs();
    if (e == paNoError) e = Pa().StartStream(stream_);
    return e;
  }

  bool DeviceGone() const {
    if (finished_.load() || stream_ == nullptr) return true;
    if (Pa().IsStreamActive(stream_) != 1) return true;
    return NowMs() - lastCallbackMs_.load(std::memory_order_relaxed) > kStallMs;
  }

 private:
  static int Callback(const void* input, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                      PaStreamCallbackFlags, void* user) {
    auto* self = static_cast<PaStreamHolder*>(user);
    self->lastCallbackMs_.store(NowMs(), std::memory_order_relaxed);
    self->process_(self->owner_, input, output, frames);
    return paContinue;
  }
  static void Finished(void* user) { static_cast<PaStreamHolder*>(user)->finished_ = true; }

  void* const owner_;
  const Process process_;
  bool initialised_ = false;                     // this holder took a library reference
  PaStream* stream_ = nullptr;                   // set at open, under the library lock
  std::atomic<bool> finished_{false};            // set when the stream ends by itself
  std::atomic<std::int64_t> lastCallbackMs_{0};  // written by the callback thread
};

class PaOutput final : public AudioOutput {
 public:
  explicit PaOutput(const AudioFormat& format)
      : format_(format),
        plan_(PlaybackBufferPlan(format.sampleRate)),
        buffers_(plan_.bufferCount,
                 std::vector<std::int16_t>(static_cast<std::size_t>(plan_.blockFrames) * format.channels)),
        lengths_(plan_.bufferCount, 0),
        holder_(this, &PaOutput::Process) {}

  PaError Open(int device) {
    const PaDeviceInfo* info = Pa().GetDeviceInfo(device);
    placement_ = PlaceStream(format_, info != nullptr ? info->maxOutputChannels : 0);
    PaStreamParameters p{device, placement_.deviceChannels, paInt16,
                         info != nullptr ? info->defaultLowOutputLatency : 0.1, nullptr};
    return holder_.Open(nullptr, &p, format_.sampleRate);
  }

  AudioFormat Format() const override { return {format_.sampleRate, format_.channels, placement_.channel}; }
  AudioBufferPlan Plan() const override { return plan_; }
  bool Queue(std::span<const std::int16_t> samples) override {
    if (queued_.load(std::memory_order_acquire) >= plan_.bufferCount || Lost()) return false;
    std::vector<std::int16_t>& buffer = buffers_[writeIndex_];
    std::size_t n = std::min(samples.size(), buffer.size());
    std::copy_n(samples.begin(), n, buffer.begin());
    lengths_[writeIndex_] = n;
    writeIndex_ = (writeIndex_ + 1) % plan_.bufferCount;
    queued_.fetch_add(1, std::memory_order_release);
    return true;
  }
  int QueuedBuffers() const override { return queued_.load(std::memory_order_acquire); }
  Event& BufferDone() override { return done_; }
  bool Lost() const override { return holder_.DeviceGone(); }

 private:
  static void Process(void* self, const void*, void* output, unsigned long frames) {
    static_cast<PaOutput*>(self)->Play(static_cast<std::int16_t*>(output), frames);
  }

  // Callback thread: copies queued buffers out in order, silence where there are none. Counts
  // in frames; a buffer's trailing part frame is dropped.
  void Play(std::int16_t* out, unsigned long frames) {
    const auto channels = static_cast<std::size_t>(format_.channels);
    const auto deviceChannels = static_cast<std::size_t>(placement_.deviceChannels);
    std::size_t wanted = frames;
    while (wanted > 0) {
      if (queued_.load(std::memory_order_acquire) == 0) {
        std::fill_n(out, wanted * deviceChannels, 0);
        return;
      }
      const std::vector<std::int16_t>& buffer = buffers_[readIndex_];
      std::size_t take = std::min(wanted, (lengths_[readIndex_] - readOffset_) / channels);
      StreamToDevice(buffer.data() + readOffset_, format_.channels, placement_, out, take);
      out += take * deviceChannels;
      wanted -= take;
      readOffset_ += take * channels;
      if (lengths_[readIndex_] - readOffset_ < channels) {
        readOffset_ = 0;
        readIndex_ = (readIndex_ + 1) % plan_.bufferCount;
        queued_.fetch_sub(1, std::memory_order_release);
        done_.Set();
      }
    }
  }

  const AudioFormat format_;
  const AudioBufferPlan plan_;
  ChannelPlacement placement_;  // set by Open() before the stream starts, then only read
  // The buffers form a single-producer single-consumer ring: Queue() (the playback thread)
  // owns writeIndex_ and the buffers not queued; the callback owns readIndex_, readOffset_ and
  // the queued buffers; queued_ hands buffers over in both directions.
  std::vector<std::vector<std::int16_t>> buffers_;
  std::vector<std::size_t> lengths_;
  int writeIndex_ = 0;
  int readIndex_ = 0;
  std::size_t readOffset_ = 0;
  std::atomic<int> queued_{0};
  Event done_;
  PaStreamHolder holder_;  // last member: the stream stops before the ring goes
};

class PaInput final : public AudioInput {
 public:
  explicit PaInput(const AudioFormat& format)
      : format_(format),
        plan_(CaptureBufferPlan(format.sampleRate)),
        buffers_(plan_.bufferCount,
                 std::vector<std::int16_t>(static_cast<std::size_t>(plan_.blockFrames) * format.channels)),
        holder_(this, &PaInput::Process) {}

  PaError Open(int device) {
    const PaDeviceInfo* info = Pa().GetDeviceInfo(device);
    placement_ = PlaceStream(format_, info != nullptr ? info->maxInputChannels : 0);
    PaStreamParameters p{device, placement_.deviceChannels, paInt16,
                         info != nullptr ? info->defaultLowInputLatency : 0.1, nullptr};
    return holder_.Open(&p, nullptr, format_.sampleRate);
  }

  AudioFormat Format() const override { return {format_.sampleRate, format_.channels, placement_.channel}; }
  AudioBufferPlan Plan() const override { return plan_; }
  bool TakeBlock(std::vector<std::int16_t>* block) override {
    if (filled_.load(std::memory_order_acquire) == 0) return false;
    *block = buffers_[readIndex_];
    readIndex_ = (readIndex_ + 1) % plan_.bufferCount;
    filled_.fetch_sub(1, std::memory_order_release);
    return true;
  }
  Event& BlockReady() override { return ready_; }
  bool Lost() const override { return holder_.DeviceGone(); }

 private:
  static void Process(void* self, const void* input, void*, unsigned long frames) {
    static_cast<PaInput*>(self)->Record(static_cast<const std::int16_t*>(input), frames);
  }

  // Callback thread: fills the buffer at writeIndex_ and hands it over when full; with every
  // buffer waiting to be taken, what comes in is dropped (as a sound card with no free buffer).
  void Record(const std::int16_t* in, unsigned long frames) {
    const auto channels = static_cast<std::size_t>(format_.channels);
    std::size_t left = frames;
    while (left > 0) {
      if (filled_.load(std::memory_order_acquire) >= plan_.bufferCount) return;
      std::vector<std::int16_t>& buffer = buffers_[writeIndex_];
      std::size_t take = std::min(left, (buffer.size() - writeOffset_) / channels);
      if (in != nullptr) {
        StreamFromDevice(in, placement_, format_.channels, buffer.data() + writeOffset_, take);
        in += take * static_cast<std::size_t>(placement_.deviceChannels);
      } else {
        std::fill_n(buffer.begin() + static_cast<std::ptrdiff_t>(writeOffset_), take * channels, 0);
      }
      left -= take;
      writeOffset_ += take * channels;
      if (writeOffset_ == buffer.size()) {
        writeOffset_ = 0;
        writeIndex_ = (writeIndex_ + 1) % plan_.bufferCount;
        filled_.fetch_add(1, std::memory_order_release);
        ready_.Set();
      }
    }
  }

  const AudioFormat format_;
  const AudioBufferPlan plan_;
  ChannelPlacement placement_;  // set by Open() before the stream starts, then only read
  // Single-producer single-consumer ring: the callback owns writeIndex_/writeOffset_ and the
  // buffers not yet filled; TakeBlock() (the capture thread) owns readIndex_ and the filled
  // ones; filled_ hands them over.
  std::vector<std::vector<std::int16_t>> buffers_;
  int writeIndex_ = 0;
  std::size_t writeOffset_ = 0;
  int readIndex_ = 0;
  std::atomic<int> filled_{0};
  Event ready_;
  PaStreamHolder holder_;  // last member: the stream stops before the ring goes
};

// Opens `device` as a `Stream`. Call with the library lock held.
template <typename Base, typename Stream>
AudioOpenResult<Base> OpenDevice(int device, const AudioFormat& format) {
  auto stream = std::make_unique<Stream>(format);
  PaError e = stream->Open(device);
  if (e != paNoError) {
    return {nullptr, IsFormatError(e) ? AudioOpenError::kBadFormat : AudioOpenError::kUnavailable, Pa().GetErrorText(e)};
  }
  return {std::move(stream), AudioOpenError::kNone, {}};
}

}  // namespace

PortAudioSystem::~PortAudioSystem() {
  std::lock_guard lock(LibraryMutex());
  if (initialised_) Pa().Terminate();
}

bool PortAudioSystem::Ready(bool reread) {
  if (PortAudioLibrary::Get(&startupProblem_) == nullptr) return false;
  if (reread && initialised_ && gOpenStreams.load() == 0) {
    Pa().Terminate();
    initialised_ = false;
  }
  if (!initialised_) {
    PaError e = Pa().Initialize();
    if (e != paNoError) {
      startupProblem_ = Pa().GetErrorText(e);
      return false;
    }
    initialised_ = true;
    startupProblem_.clear();
  }
  return true;
}

std::vector<std::string> PortAudioSystem::Names(bool capture) {
  std::lock_guard lock(LibraryMutex());
  std::vector<std::string> names;
  if (!Ready(true)) return names;
  int count = Pa().GetDeviceCount();
  for (int i = 0; i < count; ++i) {
    const PaDeviceInfo* info = Pa().GetDeviceInfo(i);
    if (info == nullptr || info->name == nullptr) continue;
    if ((capture ? info->maxInputChannels : info->maxOutputChannels) <= 0) continue;
    // The same name under two host interfaces is one choice; the first one opens.
    if (std::find(names.begin(), names.end(), info->name) == names.end()) names.emplace_back(info->name);
  }
  return names;
}

bool PortAudioSystem::HasDefault(bool capture) {
  std::lock_guard lock(LibraryMutex());
  if (!Ready(false)) return false;
  return DefaultDevice(capture) != paNoDevice;
}

int PortAudioSystem::FindDevice(const std::string& name, bool capture) {
  if (!Ready(false)) return paNoDevice;
  int device = FindNamed(name, capture);
  // A device plugged in since the lists were read: read them again before settling for the
  // default.
  if (device == paNoDevice && !name.empty() && gOpenStreams.load() == 0 && Ready(true)) {
    device = FindNamed(name, capture);
  }
  return device != paNoDevice ? device : DefaultDevice(capture);
}

std::vector<std::string> PortAudioSystem::PlaybackDevices() { return Names(false); }
std::vector<std::string> PortAudioSystem::CaptureDevices() { return Names(true); }
bool PortAudioSystem::HasDefaultPlayback() { return HasDefault(false); }
bool PortAudioSystem::HasDefaultCapture() { return HasDefault(true); }

std::string PortAudioSystem::StartupProblem() {
  std::lock_guard lock(LibraryMutex());
  Ready(false);
  return startupProblem_;
}

AudioOpenResult<AudioOutput> PortAudioSystem::OpenOutput(const std::string& name, const AudioFormat& format) {
  std::lock_guard lock(LibraryMutex());
  int device = FindDevice(name, false);
  if (device == paNoDevice)
    return {nullptr, AudioOpenError::kUnavailable, startupProblem_.empty() ? "no playback device" : startupProblem_};
  return OpenDevice<AudioOutput, PaOutput>(device, format);
}

AudioOpenResult<AudioInput> PortAudioSystem::OpenInput(const std::string& name, const AudioFormat& format) {
  std::lock_guard lock(LibraryMutex());
  int device = FindDevice(name, true);
  if (device == paNoDevice)
    return {nullptr, AudioOpenError::kUnavailable, startupProblem_.empty() ? "no capture device" : startupProblem_};
  return OpenDevice<AudioInput, PaInput>(device, format);
}

}  // namespace corvina::platform
