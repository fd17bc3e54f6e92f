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

class SourceThread final : public platform::WorkerThread {
 public:
  SourceThread(LumoSourceConfig config, std::shared_ptr<LumoSource::Shared> shared)
      : WorkerThread("lumo source"), config_(std::move(config)), shared_(std::move(shared)) {}
  ~SourceThread() override { StopAndJoin(); }

 protected:
  void Run() override {
    if (!Connect() || !LogIn()) {
      if (!StopRequested() && config_.log != nullptr) config_.log->Log(kLumoFailedText, platform::kLogError);
    } else {
      Stream();
    }
    connection_.Close();
    shared_->running.store(false);
  }

 private:
  bool Connect() {
    const platform::HostPort hp = platform::SplitHostPort(config_.server, kDefaultLumoPort);
    std::vector<std::uint32_t> addresses;
    if (auto dotted = platform::ParseIpv4(hp.host)) {
      addresses.push_back(*dotted);
    } else if (config_.resolver != nullptr && !hp.host.empty()) {
      addresses = config_.resolver->ResolveIpv4List(hp.host, kLumoMaxAddresses);
    }
    for (std::uint32_t address : addresses) {
      if (StopRequested()) return false;
      if (connection_.Connect({address, hp.port}, config_.connectTimeoutMs, &StopEvent()) == platform::NetResult::kOk) {
        return true;
      }
    }
    return false;
  }

  // Greets and reads the server's value; the ring is pre-filled once the server accepts.
  bool LogIn() {
    const std::string_view greeting(reinterpret_cast<const char*>(kLumoGreeting), sizeof kLumoGreeting);
    if (connection_.SendAll(greeting, config_.sendTimeoutMs, &StopEvent()) != platform::NetResult::kOk) return false;
    if (!Receive(config_.valueTimeoutMs) || reader_.HowEnded() == LumoStreamReader::Ending::kRefused) return false;
    const std::vector<std::uint8_t> silence(kLumoPrefillBytes, kLumoSilence);
    shared_->Append(silence.data(), silence.size());
    connection_.SetNoDelay();
    connection_.SetTypeOfService(kLumoTypeOfService);
    return true;
  }

  // Receives the rest of the reader's current item (however the peer cuts it) and feeds it.
  bool Receive(int timeoutMs) {
    std::string bytes;
    if (connection_.ReceiveExactly(&bytes, reader_.Wanted(), timeoutMs, &StopEvent()) != platform::NetResult::kOk) {
      return false;
    }
    payload_.clear();
    reader_.Feed({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, payload_);
    return true;
  }

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
      if (!Receive(header ? config_.headerTimeoutMs : config_.payloadTimeoutMs) || !Store()) return;
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

bool LumoSource::Running() const { return shared_->running.load(); }

std::size_t LumoSource::Buffered() const { return shared_->Used(); }

}  // namespace corvina::media
