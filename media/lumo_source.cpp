#include "media/lumo_source.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "media/g711.h"
#include "platform/event.h"
#include "platform/host_port.h"
#include "platform/socket_address.h"
#include "platform/tcp_connection.h"

namespace corvina::media {

struct LumoSource::Shared {
  // The ring of µ-law bytes: written only by the source's thread (writePos), read only by
  // Transfer (readPos).
  std::vector<std::uint8_t> ring = std::vector<std::uint8_t>(kLumoRingBytes);
  std::atomic<std::size_t> readPos{0};
  std::atomic<std::size_t> writePos{0};
  platform::Event data{platform::Event::Mode::kAutoReset};   // set on every append
  platform::Event space{platform::Event::Mode::kAutoReset};  // set on every read
  std::atomic<bool> running{true};  // cleared when the thread ends

  std::size_t Used() const {
    const std::size_t w = writePos.load(std::memory_order_acquire);
    const std::size_t r = readPos.load(std::memory_order_acquire);
    return (w + kLumoRingBytes - r) % kLumoRingBytes;
  }
  std::size_t Free() const { return kLumoRingBytes - 1 - Used(); }

  // The writer: appends what fits, returns how many bytes it took.
  std::size_t Append(const std::uint8_t* bytes, std::size_t count) {
    count = std::min(count, Free());
    const std::size_t w = writePos.load(std::memory_order_relaxed);
    const std::size_t first = std::min(count, kLumoRingBytes - w);
    std::memcpy(ring.data() + w, bytes, first);
    std::memcpy(ring.data(), bytes + first, count - first);
    writePos.store((w + count) % kLumoRingBytes, std::memory_order_release);
    if (count > 0) data.Set();
    return count;
  }
};

namespace {

// Receives the rest of the reader's current item (however the peer cuts it) and feeds it.
bool ReceiveItem(platform::TcpConnection& connection, LumoStreamReader& reader, std::vector<std::uint8_t>& payload,
                 int timeoutMs, platform::Event* stop) {
  std::string bytes;
  if (connection.ReceiveExactly(&bytes, reader.Wanted(), timeoutMs, stop) != platform::NetResult::kOk) return false;
  payload.clear();
  reader.Feed({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, payload);
  return true;
}

// Connects to the server (each of its addresses in turn), greets it and reads its value; true
// when it accepted. Every wait is cut short by `stop`.
bool OpenLink(platform::TcpConnection& connection, LumoStreamReader& reader, const LumoSourceConfig& config,
              platform::Event* stop) {
  const platform::HostPort hp = platform::SplitHostPort(config.server, kDefaultLumoPort);
  std::vector<std::uint32_t> addresses;
  if (auto dotted = platform::ParseIpv4(hp.host)) {
    addresses.push_back(*dotted);
  } else if (config.resolver != nullptr && !hp.host.empty()) {
    addresses = config.resolver->ResolveIpv4List(hp.host, kLumoMaxAddresses);
  }
  bool connected = false;
  for (std::size_t i = 0; i < addresses.size() && !connected && !(stop != nullptr && stop->IsSet()); ++i) {
    connected = connection.Connect({addresses[i], hp.port}, config.connectTimeoutMs, stop) == platform::NetResult::kOk;
  }
  const std::string_view greeting(reinterpret_cast<const char*>(kLumoGreeting), sizeof kLumoGreeting);
  std::vector<std::uint8_t> none;
  return connected && connection.SendAll(greeting, config.sendTimeoutMs, stop) == platform::NetResult::kOk &&
         ReceiveItem(connection, reader, none, config.valueTimeoutMs, stop) &&
         reader.HowEnded() != LumoStreamReader::Ending::kRefused;
}

class SourceThread final : public platform::WorkerThread {
 public:
  SourceThread(LumoSourceConfig config, std::shared_ptr<LumoSource::Shared> shared)
      : WorkerThread("lumo source"), config_(std::move(config)), shared_(std::move(shared)) {}
  ~SourceThread() override { StopAndJoin(); }

 protected:
  void Run() override {
    if (!OpenLink(connection_, reader_, config_, &StopEvent())) {
      if (!StopRequested() && config_.log != nullptr) config_.log->Log(kLumoFailedText, platform::kLogError);
    } else {
      // Playback starts a little behind the stream; the stream's segments go out at once with
      // the type of service of interactive media.
      const std::vector<std::uint8_t> silence(kLumoPrefillBytes, kLumoSilence);
      shared_->Append(silence.data(), silence.size());
      connection_.SetNoDelay();
      connection_.SetTypeOfService(kLumoTypeOfService);
      Stream();
    }
    connection_.Close();
    shared_->running.store(false);
  }

 private:
  // Appends the payload, waiting (stop-aware, in slices) while the ring is full.
  bool Store() {
    std::size_t at = 0;
    while (at < payload_.size()) {
      at += shared_->Append(payload_.data() + at, payload_.size() - at);
      if (at == payload_.size()) break;
      const platform::WaitOutcome woke = Wait(shared_->space, config_.spaceWaitMs);
      if (woke == platform::WaitOutcome::kStopped || woke == platform::WaitOutcome::kFailed) return false;
    }
    return true;
  }

  void Stream() {
    while (!reader_.Ended()) {
      const bool header = reader_.CurrentPhase() == LumoStreamReader::Phase::kHeader;
      const int timeoutMs = header ? config_.headerTimeoutMs : config_.payloadTimeoutMs;
      if (!ReceiveItem(connection_, reader_, payload_, timeoutMs, &StopEvent()) || !Store()) return;
    }
  }

  const LumoSourceConfig config_;
  const std::shared_ptr<LumoSource::Shared> shared_;
  // The source's thread.
  platform::TcpConnection connection_;
  LumoStreamReader reader_;
  std::vector<std::uint8_t> payload_;
};

}  // namespace

LumoSource::LumoSource(LumoSourceConfig config)
    : AudioSink(8000, 1), shared_(std::make_shared<Shared>()), registry_(config.registry) {
  thread_ = std::make_unique<SourceThread>(std::move(config), shared_);
  if (!thread_->Start()) shared_->running.store(false);
}

LumoSource::~LumoSource() { Close(); }

std::size_t LumoSource::Transfer(std::span<std::int32_t> samples) {
  const std::size_t count = std::min(samples.size(), shared_->Used());
  const std::size_t r = shared_->readPos.load(std::memory_order_relaxed);
  const std::size_t first = std::min(count, kLumoRingBytes - r);
  MulawDecode({shared_->ring.data() + r, first}, samples.first(first));
  MulawDecode({shared_->ring.data(), count - first}, samples.subspan(first, count - first));
  std::fill(samples.begin() + static_cast<std::ptrdiff_t>(count), samples.end(), 0);
  if (count > 0) {
    shared_->readPos.store((r + count) % kLumoRingBytes, std::memory_order_release);
    shared_->space.Set();
  }
  return count;
}

void LumoSource::Close() {
  if (!thread_) return;
  thread_->RequestStop();
  if (registry_ != nullptr && !thread_->Join(kLumoCloseWaitMs)) {
    registry_->Add(std::move(thread_));
    return;
  }
  thread_->StopAndJoin();
  thread_.reset();
}

bool TestLumoLink(const LumoSourceConfig& config, platform::Event* stop) {
  platform::TcpConnection connection;
  LumoStreamReader reader;
  return OpenLink(connection, reader, config, stop);
}

bool LumoSource::Running() const { return shared_->running.load(); }

std::size_t LumoSource::Buffered() const { return shared_->Used(); }

}  // namespace corvina::media
