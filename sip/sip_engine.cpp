#include "sip/sip_engine.h"

#include <algorithm>

#include "sip/server_address.h"

namespace corvina::sip {

SipEngine::SipEngine(const Services& services)
    : platform::WorkerThread("sip-engine"),
      log_(services.log),
      clock_(services.clock),
      wait_(services.wait),
      settings_(services.settings),
      addresses_(services.addresses),
      resolver_(services.resolver),
      trace_(std::make_unique<SipTrace>(services.logsFolder, services.wall)),
      ids_(services.processNumber, services.wall, services.clock),
      core_(EngineCore::Services{*this, services.resolver, services.log, services.clock, ids_, services.settings,
                                 trace_.get()},
            services.addresses.LocalAddress()) {
  socket_.SetReceiveBuffer(kSocketReceiveBytes);
  trace_->SetOn(services.settings.GetSettingBool("Settings", "SipTraceOn", false));
}

SipEngine::~SipEngine() { StopAndJoin(); }

bool SipEngine::StartEngine() {
  StopAndJoin();
  ready_.Reset();
  core_.PrepareForStart();
  return Start();
}

void SipEngine::RequestRebind() {
  rebind_ = true;
  wake_.Set();
}

bool SipEngine::WaitReady(int timeoutMs) {
  return platform::WaitForAny({platform::WaitSource::Of(ready_)}, timeoutMs) == 0;
}

void SipEngine::TraceLine(std::string_view text) { trace_->Line(text); }

void SipEngine::SetTraceOn(bool on) { trace_->SetOn(on); }

void SipEngine::SendDatagram(const SocketAddress& to, std::string_view bytes) { socket_.SendTo(to, bytes); }

int SipEngine::SettingPort(std::string_view name) {
  int port = settings_.GetSettingInt("SIP", name, kDefaultPort);
  return port > 0 && port <= 65535 ? port : kDefaultPort;
}

void SipEngine::Run() {
  buffer_.assign(kReceiveBuffer, 0);
  bound_ = false;
  lastDeviceAddress_.clear();
  serverName_.clear();
  if (terminator_ != nullptr) terminator_->StartIfStopped();
  while (!StopRequested()) {
    std::uint32_t now = clock_.NowMs();
    if (!EnsureBound(now)) continue;
    CheckPublicAddress(now);
    if (StopRequested()) break;
    now = clock_.NowMs();
    std::uint32_t wait = core_.RunCycle(now, [this] { return StopRequested(); });
    if (!ready_.IsSet()) {
      // Set first: the lines the held INVITEs go to find the engine ready and never wait.
      ready_.Set();
      core_.OnReady();
    }
    WaitAndDrain(wait, now + wait);
  }
  FinishOnStop();
  buffer_.clear();
  buffer_.shrink_to_fit();
}

void SipEngine::FollowServer(std::uint32_t now) {
  std::string server = core_.Registrations().FirstServer();
  if (server == serverName_ && !core_.PublicCheckDue(now)) return;
  const SocketAddress at =
      server.empty() ? SocketAddress{} : ResolveServer(resolver_, server, EngineCore::kRegistrarPort);
  serverName_ = std::move(server);
  addresses_.SetServerAddress(at.address);
}

bool SipEngine::EnsureBound(std::uint32_t& now) {
  FollowServer(now);
  std::string device = addresses_.LocalAddress();
  const bool rebind = rebind_.exchange(false);
  if (bound_ && device == lastDeviceAddress_ && !rebind) return true;
  lastDeviceAddress_ = device;
  ready_.Reset();
  socket_.Close();
  bound_ = false;
  const int port = SettingPort("Port");
  platform::BindResult result =
      socket_.Bind(SocketAddress{0, static_cast<std::uint16_t>(port)}, platform::kSignallingPortWalk);
  if (!result.Ok()) {
    core_.OnBindFailed();
    ready_.Set();
    Sleep(kBindRetryMs);
    return false;
  }
  bound_ = true;
  now = clock_.NowMs();
  core_.OnBound(device, result.local.port, now);
  return true;
}

void SipEngine::CheckPublicAddress(std::uint32_t now) {
  if (!core_.PublicCheckDue(now)) return;
  OwnAddresses own = core_.Addresses();
  PublicAddressRequest request;
  request.localAddress = own.privateAddress;
  request.localPort = own.localPort;
  request.portStep = 1;
  request.staticPortBase = static_cast<std::uint16_t>(SettingPort("STATICSIPPort"));
  request.portBase = static_cast<std::uint16_t>(SettingPort("Port"));
  // What arrives during the query and is not its answer goes the normal way.
  PublicAddressResult result = addresses_.PublicAddress(
      socket_, StopEvent(), request, [this](std::string_view datagram, const platform::SocketAddress& from) {
        core_.OnDatagram(datagram.substr(0, kReceiveBuffer - 1), from, clock_.NowMs());
      });
  core_.OnPublicAddress(result, clock_.NowMs());
}

void SipEngine::WaitAndDrain(std::uint32_t waitMs, std::uint32_t deadline) {
  if (waitMs > 0) {
    const platform::WaitSource sources[] = {platform::WaitSource::Readable(socket_.Fd()),
                                            platform::WaitSource::Of(wake_)};
    const int timeout = static_cast<int>(std::min<std::uint32_t>(waitMs, EngineCore::kMaxWaitMs));
    int index = -1;
    const platform::WaitOutcome outcome = wait_ ? wait_(sources, timeout, &index) : WaitAny(sources, timeout, &index);
    if (outcome == platform::WaitOutcome::kStopped) return;
    if (outcome == platform::WaitOutcome::kSignalled && index == 1) return;  // a rebind request: cycle now
  }
  Drain(deadline);
}

void SipEngine::Drain(std::uint32_t deadline) {
  std::span<std::uint8_t> buffer(buffer_.data(), kReceiveBuffer - 1);
  for (int taken = 0; taken < kDrainBatch && !StopRequested(); ++taken) {
    platform::ReceiveResult r = socket_.ReceiveNow(buffer);
    if (r.status != platform::ReceiveStatus::kDatagram) return;
    if (r.size == 0) continue;
    const std::uint32_t now = clock_.NowMs();
    core_.OnDatagram(std::string_view(reinterpret_cast<const char*>(buffer_.data()), r.size), r.from, now);
    if (platform::TickReached(now, deadline)) return;
  }
}

void SipEngine::FinishOnStop() {
  if (bound_) {
    const std::uint32_t start = clock_.NowMs();
    core_.Registrations().UnregisterAll(start);
    // Answers to the unregistrations (a challenge among them) are taken for up to 2000 ms.
    std::span<std::uint8_t> buffer(buffer_.data(), kReceiveBuffer - 1);
    while (core_.Registrations().UnregisterPending()) {
      const std::uint32_t spent = clock_.NowMs() - start;
      if (spent >= static_cast<std::uint32_t>(kUnregisterBudgetMs)) break;
      const int left = static_cast<int>(kUnregisterBudgetMs - spent);
      platform::ReceiveResult r = socket_.ReceiveFrom(buffer, left, nullptr);
      if (r.status == platform::ReceiveStatus::kDatagram && r.size > 0) {
        core_.OnDatagram(std::string_view(reinterpret_cast<const char*>(buffer_.data()), r.size), r.from,
                         clock_.NowMs());
      } else if (r.status == platform::ReceiveStatus::kFailed) {
        break;
      }
    }
  }
  if (terminator_ != nullptr) {
    terminator_->RaiseAndWaitIdle(kTerminatorIdleMs);
    terminator_->Stop();
  }
  socket_.Close();
  bound_ = false;
  ready_.Reset();
}

}  // namespace corvina::sip
