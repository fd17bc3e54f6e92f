// The SIP engine without its thread: everything that happens on the SIP socket, driven by the
// caller with `now` and the inputs (a received datagram with its sender, the bound port, the
// public address found), sending through a DatagramSender and logging through the activity log.
// The thread shell (SipEngine) owns the socket and the waits; tests drive this core directly.
//
// Threads: OnDatagram, OnBound, OnPublicAddress, OnReady and RunCycle run on the engine thread;
// Send, RecordSent, Addresses, the lines and the registrations may be used from any thread.
//
// Readiness: from a bind until the shell reports the engine ready (public address known, first
// registration pass run), a new INVITE is held instead of offered to the lines (at most
// kMaxHeldInvites; resends of a held one are dropped, a CANCEL ends it with 487). Once ready,
// the held INVITEs are offered in arrival order. So the engine thread never reaches a line,
// and the dialog list's wait for readiness, while only it could make the engine ready.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/settings.h"
#include "platform/thread_checker.h"
#include "sip/dialog_router.h"
#include "sip/dialog_services.h"
#include "sip/line_list.h"
#include "sip/public_address_source.h"
#include "sip/registration_list.h"
#include "sip/sent_message_cache.h"
#include "sip/sip_endpoint.h"
#include "sip/sip_trace.h"

namespace corvina::sip {

class DatagramSender {
 public:
  virtual ~DatagramSender() = default;
  // Sends one datagram from the SIP socket; any thread.
  virtual void SendDatagram(const SocketAddress& to, std::string_view bytes) = 0;
};

// What the console and the window learn from the engine.
class EngineObserver : public RegistrationObserver {
 public:
  // The public address or port changed (engine thread).
  virtual void AddressChanged(const OwnAddresses& addresses) = 0;
};

class EngineCore final : public SipEndpoint, public RetransmissionAnswerer {
 public:
  static constexpr std::uint32_t kMaxWaitMs = 20000;
  static constexpr std::uint32_t kPublicCheckMs = 600000;
  static constexpr std::uint32_t kStunKeepAliveMs = 49000;
  static constexpr std::uint32_t kStunKeepAliveSlackMs = 1000;
  static constexpr std::uint16_t kStunPort = 3478;
  static constexpr std::uint16_t kRegistrarPort = 5060;
  static constexpr std::size_t kMaxHeldInvites = 16;
  // A datagram that keeps the engine thread longer than this is logged (debug level).
  static constexpr std::uint32_t kSlowDatagramMs = 500;

  struct Services {
    DatagramSender& socket;
    platform::NameResolver& resolver;
    platform::LogSink& log;
    const platform::TickClock& clock;
    IdGenerator& ids;
    platform::Settings& settings;
    SipTrace* trace = nullptr;  // null: tracing off
  };
  // `deviceAddress` is the device's address, private and public until learnt otherwise.
  EngineCore(const Services& services, std::string deviceAddress);
  ~EngineCore() override;

  // Set before the engine thread starts.
  void SetRouter(DialogRouter* router) { router_ = router; }
  void SetObserver(EngineObserver* observer);
  // The SDP offer that answers OPTIONS (empty: no body).
  void SetCapabilities(std::function<std::string()> sdpOffer) { sdpOffer_ = std::move(sdpOffer); }
  // The STUN server the keep-alives go to (empty: none).
  void SetStunServer(std::function<std::string()> server) { stunServer_ = std::move(server); }

  // A new engine thread is about to run the core: it becomes the owning thread, and the public
  // port is cleared until the next public address check.
  void PrepareForStart();
  // Engine thread: the socket was bound to `port` while the device had `address`; the engine is
  // not ready until OnReady.
  void OnBound(const std::string& address, std::uint16_t port, std::uint32_t now);
  // The port search found nothing: logged, the public port is cleared, held INVITEs dropped.
  void OnBindFailed();
  // Engine thread: the engine is ready; the INVITEs held meanwhile are offered now.
  void OnReady();
  bool PublicCheckDue(std::uint32_t now) const;
  void OnPublicAddress(const PublicAddressResult& result, std::uint32_t now);
  // One received datagram (already cut to 4095 bytes).
  void OnDatagram(std::string_view bytes, const SocketAddress& from, std::uint32_t now);
  // Registration pass, keep-alives, and the wait in milliseconds until the core's next deadline
  // (a registration attempt or refresh, a keep-alive, the public address check), at most
  // kMaxWaitMs: the shell may sleep that long unless a datagram or a command comes.
  std::uint32_t RunCycle(std::uint32_t now, const std::function<bool()>& stop = {});
  bool KeepAlivesNeeded() const { return keepAlivesNeeded_; }

  void SetDoNotDisturb(bool on) { doNotDisturb_ = on; }
  LineList& Lines() { return lines_; }
  RegistrationList& Registrations() { return registrations_; }
  SentMessageCache& SentMessages() { return cache_; }

  // SipEndpoint.
  OwnAddresses Addresses() const override;
  IdGenerator& Ids() override { return ids_; }
  platform::NameResolver& Resolver() override { return resolver_; }
  platform::LogSink& Log() override { return log_; }
  std::uint32_t NowMs() const override { return clock_.NowMs(); }
  void Send(const SocketAddress& to, std::string_view text) override;
  void RecordSent(const SipMessage& answered, const SocketAddress& to, std::string_view text) override;

  // RetransmissionAnswerer: for the dialogs, which see their messages before the cache does.
  bool AnswerIfRetransmission(const SipMessage& message) override;

 private:
  void Dispatch(std::unique_ptr<SipMessage> message, std::uint32_t now);
  // Sends the recorded answer again when `message` repeats what it answered; true when the
  // message was such a repeat (also when its resends are used up).
  bool ResendIfCached(const SipMessage& message, std::uint32_t now);
  void DispatchRequest(std::unique_ptr<SipMessage> message);
  void HandleInvite(std::unique_ptr<SipMessage> invite);
  void HoldInvite(std::unique_ptr<SipMessage> invite);
  // Ends the held INVITE a CANCEL names (if any) with 487.
  void CancelHeldInvite(const SipMessage& cancel);
  void HandleOptions(const SipMessage& options);
  void LogLineNumbers();
  void SendKeepAlive(std::string_view server, std::uint16_t defaultPort, bool publicOnly);
  void StunKeepAlive(std::uint32_t now, std::uint32_t& wait);

  DatagramSender& socket_;
  platform::NameResolver& resolver_;
  platform::LogSink& log_;
  const platform::TickClock& clock_;
  IdGenerator& ids_;
  platform::Settings& settings_;
  SipTrace* const trace_;

  mutable std::mutex addressMutex_;  // guards addresses_ and the last logged private address
  OwnAddresses addresses_;
  std::string loggedPrivate_;
  std::uint16_t loggedPort_ = 0;

  // Engine thread only (checked on the entry points above).
  platform::ThreadChecker engineThread_;
  bool justBound_ = false;
  std::uint32_t lastPublicCheck_ = 0;
  bool keepAlivesNeeded_ = true;
  std::uint32_t lastStunKeepAlive_ = 0;
  bool ready_ = false;
  std::deque<std::unique_ptr<SipMessage>> heldInvites_;  // oldest first; at most kMaxHeldInvites

  std::atomic<bool> doNotDisturb_{false};
  DialogRouter* router_ = nullptr;  // set before start; may be null
  EngineObserver* observer_ = nullptr;
  std::function<std::string()> sdpOffer_;
  std::function<std::string()> stunServer_;
  LineList lines_;
  SentMessageCache cache_;
  RegistrationList registrations_;  // last: it sends through this object
};

}  // namespace corvina::sip
