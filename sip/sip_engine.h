// The SIP engine: the one program-wide owner of the SIP socket. A thin thread shell around
// EngineCore: it binds the socket (walking to the next port while one is in use), asks NAT
// traversal for the public address at start, after a rebind and every 600000 ms, runs the
// core's cycle, sleeps until the core's next deadline unless a datagram, a rebind request or the
// stop request comes first, and drains the socket into the core. An idle engine so wakes only
// for what it has to do (at least every EngineCore::kMaxWaitMs). On stop it unregisters
// (answers allowed for up to 2000 ms), lets the call terminator finish, and closes the socket.
//
// Threads: the engine thread is the only reader of the socket; any thread may send through
// Endpoint(), add lines and registrations, request a rebind or set Do Not Disturb. Start and
// Stop belong to the thread that owns the engine (the user-interface thread).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/name_resolver.h"
#include "platform/settings.h"
#include "platform/udp_socket.h"
#include "platform/worker_thread.h"
#include "sip/dialog_router.h"
#include "sip/engine_core.h"
#include "sip/id_generator.h"
#include "sip/public_address_source.h"
#include "sip/sip_trace.h"

namespace corvina::sip {

class SipEngine final : public platform::WorkerThread, private DatagramSender {
 public:
  static constexpr std::uint16_t kDefaultPort = 5070;
  static constexpr int kBindRetryMs = 20000;
  static constexpr int kUnregisterBudgetMs = 2000;
  static constexpr int kTerminatorIdleMs = 1500;
  static constexpr std::size_t kReceiveBuffer = 4096;
  static constexpr int kDrainBatch = 64;
  // The socket's kernel buffer: room for a few thousand datagrams while the thread is away.
  static constexpr int kSocketReceiveBytes = 2 * 1024 * 1024;

  struct Services {
    platform::NameResolver& resolver;
    platform::LogSink& log;
    const platform::TickClock& clock;
    const platform::WallClock& wall;
    platform::Settings& settings;
    PublicAddressSource& addresses;
    std::string logsFolder;  // where the SIP trace goes when SipTraceOn is set
    int processNumber = 0;
    // The engine thread's wait for the socket or a rebind request, as WorkerThread::WaitAny;
    // empty: the thread's own. Tests put in one that moves a fake clock instead of sleeping.
    std::function<platform::WaitOutcome(std::span<const platform::WaitSource>, int timeoutMs, int* index)> wait = {};
  };
  // Constructed, not started. Reads SipTraceOn (SetTraceOn switches the trace later).
  explicit SipEngine(const Services& services);
  ~SipEngine() override;

  // Set before Start().
  void SetRouter(DialogRouter* router) { core_.SetRouter(router); }
  void SetTerminator(TerminatorControl* terminator) { terminator_ = terminator; }
  void SetObserver(EngineObserver* observer) { core_.SetObserver(observer); }
  void SetCapabilities(std::function<std::string()> sdpOffer) { core_.SetCapabilities(std::move(sdpOffer)); }
  void SetStunServer(std::function<std::string()> server) { core_.SetStunServer(std::move(server)); }

  // Stops a running engine thread, clears the ready event and starts the thread.
  bool StartEngine();
  // Orderly stop (unregister, terminator, close) and join.
  void StopEngine() { StopAndJoin(); }
  // The thread closes and rebinds the socket in its next cycle.
  void RequestRebind();
  void SetDoNotDisturb(bool on) { core_.SetDoNotDisturb(on); }
  // Waits up to `timeoutMs` until the first registration pass after binding has run.
  bool WaitReady(int timeoutMs);
  bool Ready() const { return ready_.IsSet(); }

  // What composers, dialogs and the call layer use.
  SipEndpoint& Endpoint() { return core_; }
  LineList& Lines() { return core_.Lines(); }
  RegistrationList& Registrations() { return core_.Registrations(); }
  EngineCore& Core() { return core_; }
  // Appends a stamped line to the SIP trace (when tracing).
  void TraceLine(std::string_view text);
  // Switches the SIP trace log on or off at once (any thread).
  void SetTraceOn(bool on);
  bool Tracing() const { return trace_ != nullptr; }

 protected:
  void Run() override;

 private:
  void SendDatagram(const SocketAddress& to, std::string_view bytes) override;
  // Binds when needed; false when the bind failed (after waiting the retry time).
  bool EnsureBound(std::uint32_t& now);
  // Tells the address source where the first registering line's server is: looked up when that
  // server changes and at each public address check, so the device address is the one the
  // server sees.
  void FollowServer(std::uint32_t now);
  void CheckPublicAddress(std::uint32_t now);
  void WaitAndDrain(std::uint32_t waitMs, std::uint32_t deadline);
  // Takes at most kDrainBatch waiting datagrams, and none once `deadline` (the core's next
  // timer) has come, so that under a flood the timers (resends, REGISTER retries, keep-alives)
  // run on time rather than behind a batch.
  void Drain(std::uint32_t deadline);
  void FinishOnStop();
  int SettingPort(std::string_view name);

  platform::LogSink& log_;
  const platform::TickClock& clock_;
  const decltype(Services::wait) wait_;  // fixed after construction
  platform::Settings& settings_;
  PublicAddressSource& addresses_;
  platform::NameResolver& resolver_;
  std::unique_ptr<SipTrace> trace_;  // on while SipTraceOn (or SetTraceOn); the pointer is fixed
  IdGenerator ids_;
  platform::UdpSocket socket_;  // bound and read by the engine thread; sent on by any thread
  EngineCore core_;
  TerminatorControl* terminator_ = nullptr;  // set before Start()
  platform::Event ready_{platform::Event::Mode::kManualReset};
  platform::Event wake_{platform::Event::Mode::kAutoReset};  // a rebind request
  std::atomic<bool> rebind_{false};
  // Engine thread only.
  std::string lastDeviceAddress_;
  std::string serverName_;  // the server last looked up for FollowServer
  bool bound_ = false;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace corvina::sip
