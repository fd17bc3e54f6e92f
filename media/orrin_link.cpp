#include "media/orrin_link.h"

#include <cstring>

#include "platform/socket_address.h"
#include "platform/tcp_connection.h"

namespace corvina::media {

namespace {
constexpr std::size_t kSampleBytes = sizeof(std::int32_t);
constexpr std::size_t kFrameInputBytes = kFrameSamples * kSampleBytes;
}  // namespace

struct OrrinLink::Shared {
  // The ring: written only by Write (writePos), read only by the link's thread (readPos).
  std::vector<std::uint8_t> ring = std::vector<std::uint8_t>(kOrrinRingBytes);
  std::atomic<std::size_t> readPos{0};
  std::atomic<std::size_t> writePos{0};
  platform::Event data{platform::Event::Mode::kAutoReset};  // set on every write
  std::atomic<bool> finished{false};  // the thread has ended
  std::atomic<bool> closed{false};    // Close has been called
  std::atomic<std::uint64_t> dropped{0};
  mutable std::mutex targetMutex;
  std::string target;  // guarded by targetMutex: "host:port" tried or connected to

  std::size_t Used() const {
    const std::size_t w = writePos.load(std::memory_order_acquire);
    const std::size_t r = readPos.load(std::memory_order_acquire);
    return (w + kOrrinRingBytes - r) % kOrrinRingBytes;
  }
};

namespace {

class LinkThread final : public platform::WorkerThread {
 public:
  // `first`: the index of the host tried first.
  LinkThread(OrrinLinkConfig config, std::size_t first, std::shared_ptr<OrrinLink::Shared> shared)
      : WorkerThread("orrin link"), config_(std::move(config)), first_(first), shared_(std::move(shared)) {}
  ~LinkThread() override { StopAndJoin(); }

 protected:
  void Run() override {
    Stream();
    connection_.Close();
    shared_->finished.store(true);
  }

 private:
  // A failure is logged unless the link was asked to stop (which is no failure).
  void Fail(std::string_view text) {
    if (!StopRequested() && config_.log != nullptr) config_.log->Log(text, platform::kLogError);
  }

  void SetTarget(const std::string& target) {
    std::lock_guard lock(shared_->targetMutex);
    shared_->target = target;
  }

  bool ConnectToHost(const OrrinHostPort& hp) {
    std::vector<std::uint32_t> addresses;
    if (auto dotted = platform::ParseIpv4(hp.host)) {
      addresses.push_back(*dotted);
    } else if (config_.resolver != nullptr) {
      addresses = config_.resolver->ResolveIpv4List(hp.host, kOrrinMaxAddresses);
    }
    for (std::uint32_t address : addresses) {
      if (StopRequested()) return false;
      SetTarget(hp.host + ":" + std::to_string(hp.port));
      connection_.SetSendBuffer(kOrrinSendBufferBytes);
      if (connection_.Connect({address, hp.port}, config_.connectTimeoutMs, &StopEvent()) == platform::NetResult::kOk) {
        return true;
      }
    }
    connection_.Close();
    return false;
  }

  bool Connect() {
    const std::vector<std::string_view> hosts = SplitOrrinHosts(config_.hosts);
    if (hosts.empty()) return false;
    for (std::size_t i = 0; i < hosts.size() && !StopRequested(); ++i) {
      const std::string_view text = hosts[(first_ + i) % hosts.size()];
      std::optional<OrrinHostPort> hp = ParseOrrinHost(text);
      if (hp && ConnectToHost(*hp)) return true;
      Fail(std::string(kOrrinConnectFailedText) + std::string(text));
    }
    return false;
  }

  bool Send(std::string_view bytes) {
    if (connection_.SendAll(bytes, config_.sendTimeoutMs, &StopEvent()) == platform::NetResult::kOk) return true;
    Fail(kOrrinBrokenText);
    return false;
  }

  bool Authorise() {
    if (!Send(MakeOrrinGreeting(config_.accessCode))) return false;
    std::string reply;
    const platform::NetResult got =
        connection_.ReceiveExactly(&reply, kOrrinReplyBytes, config_.replyTimeoutMs, &StopEvent());
    if (got != platform::NetResult::kOk) {
      Fail(reply.empty() ? kOrrinNoResponseText : kOrrinInvalidReplyText);
      return false;
    }
    switch (ClassifyOrrinReply(reply)) {
      case OrrinReply::kAccepted:
        return true;
      case OrrinReply::kRefused:
        Fail(kOrrinRefusedText);
        return false;
      case OrrinReply::kInvalid:
        break;
    }
    Fail(kOrrinInvalidReplyText);
    return false;
  }

  // Takes the oldest 160 samples out of the ring (which holds at least that many).
  void TakeFrame(std::int32_t (&samples)[kFrameSamples]) {
    auto* out = reinterpret_cast<std::uint8_t*>(samples);
    const std::size_t r = shared_->readPos.load(std::memory_order_relaxed);
    const std::size_t first = std::min(kFrameInputBytes, kOrrinRingBytes - r);
    std::memcpy(out, shared_->ring.data() + r, first);
    std::memcpy(out + first, shared_->ring.data(), kFrameInputBytes - first);
    shared_->readPos.store((r + kFrameInputBytes) % kOrrinRingBytes, std::memory_order_release);
  }

  void Stream() {
    if (!Connect() || !Authorise() || !Send(MakeOrrinNameFrame(config_.name))) return;
    GsmEncoder encoder;
    std::int32_t samples[kFrameSamples];
    std::string frame(kOrrinFrameBytes, '\0');
    frame[0] = static_cast<char>(kOrrinFrameTag);
    frame[1] = static_cast<char>(kGsmFrameBytes);
    for (;;) {
      while (shared_->Used() < kFrameInputBytes) {
        const platform::WaitOutcome woke = Wait(shared_->data, config_.dataWaitMs);
        if (woke == platform::WaitOutcome::kStopped || woke == platform::WaitOutcome::kFailed) return;
      }
      TakeFrame(samples);
      encoder.EncodeFrame(samples, std::span<std::uint8_t, kGsmFrameBytes>(
                                       reinterpret_cast<std::uint8_t*>(frame.data() + 2), kGsmFrameBytes));
      if (!Send(frame)) return;
    }
  }

  const OrrinLinkConfig config_;
  const std::size_t first_;
  const std::shared_ptr<OrrinLink::Shared> shared_;
  platform::TcpConnection connection_;  // the link's thread
};

}  // namespace

OrrinLink::OrrinLink(OrrinLinkConfig config)
    : shared_(std::make_shared<Shared>()), registry_(config.registry) {
  // The host order is settled here, so links take their turns in the order they were made,
  // and Target names the first host before the thread has tried it.
  const std::vector<std::string_view> hosts = SplitOrrinHosts(config.hosts);
  const std::size_t first = config.roundRobin->Next(hosts.size());
  if (!hosts.empty()) {
    std::optional<OrrinHostPort> hp = ParseOrrinHost(hosts[first]);
    shared_->target = hp ? hp->host + ":" + std::to_string(hp->port) : std::string(hosts[first]);
  }
  thread_ = std::make_unique<LinkThread>(std::move(config), first, shared_);
  if (!thread_->Start()) shared_->finished.store(true);
}

OrrinLink::~OrrinLink() { Close(); }

void OrrinLink::Write(std::span<const std::int32_t> mixed) {
  const std::size_t bytes = mixed.size() * kSampleBytes;
  if (bytes == 0) return;
  const std::size_t used = shared_->Used();
  if (shared_->finished.load() || shared_->closed.load() || bytes > kOrrinRingBytes - 1 - used) {
    shared_->dropped.fetch_add(mixed.size());
    return;
  }
  const auto* in = reinterpret_cast<const std::uint8_t*>(mixed.data());
  const std::size_t w = shared_->writePos.load(std::memory_order_relaxed);
  const std::size_t first = std::min(bytes, kOrrinRingBytes - w);
  std::memcpy(shared_->ring.data() + w, in, first);
  std::memcpy(shared_->ring.data(), in + first, bytes - first);
  shared_->writePos.store((w + bytes) % kOrrinRingBytes, std::memory_order_release);
  shared_->data.Set();
}

void OrrinLink::Close() {
  shared_->closed.store(true);
  if (!thread_) return;
  thread_->RequestStop();
  if (registry_ != nullptr && !thread_->Join(kOrrinCloseWaitMs)) {
    registry_->Add(std::move(thread_));
    return;
  }
  thread_->StopAndJoin();
  thread_.reset();
}

RecordingTarget OrrinLink::Target() const {
  std::lock_guard lock(shared_->targetMutex);
  return {RecordingTarget::Kind::kOrrin, shared_->target};
}

bool OrrinLink::Finished() const { return shared_->finished.load(); }

std::uint64_t OrrinLink::DroppedSamples() const { return shared_->dropped.load(); }

bool TestOrrinLink(const OrrinLinkConfig& config, platform::Event* stop) {
  const auto stopped = [stop] { return stop != nullptr && stop->IsSet(); };
  for (std::string_view text : SplitOrrinHosts(config.hosts)) {
    std::optional<OrrinHostPort> hp = ParseOrrinHost(text);
    if (!hp) continue;
    std::vector<std::uint32_t> addresses;
    if (auto dotted = platform::ParseIpv4(hp->host)) {
      addresses.push_back(*dotted);
    } else if (config.resolver != nullptr) {
      addresses = config.resolver->ResolveIpv4List(hp->host, kOrrinMaxAddresses);
    }
    for (std::uint32_t address : addresses) {
      if (stopped()) return false;
      platform::TcpConnection connection;
      if (connection.Connect({address, hp->port}, config.connectTimeoutMs, stop) != platform::NetResult::kOk) continue;
      std::string reply;
      return connection.SendAll(MakeOrrinGreeting(config.accessCode), config.sendTimeoutMs, stop) ==
                 platform::NetResult::kOk &&
             connection.ReceiveExactly(&reply, kOrrinReplyBytes, config.replyTimeoutMs, stop) ==
                 platform::NetResult::kOk &&
             ClassifyOrrinReply(reply) == OrrinReply::kAccepted;
    }
  }
  return false;
}

RecordingSinkFactory MakeOrrinLinkFactory(platform::NameResolver& resolver, platform::WorkerRegistry* registry) {
  return [&resolver, registry](const RecordingRequest& request) -> RecordingSinkPtr {
    OrrinLinkConfig config;
    config.hosts = request.settings.orrinHost;
    config.accessCode = request.settings.orrinAccessCode;
    config.name = request.name;
    config.log = request.log;
    config.resolver = &resolver;
    config.registry = registry;
    return std::make_shared<OrrinLink>(std::move(config));
  };
}

}  // namespace corvina::media
