// The engine's registrations: adding and removing them (reference counted per key), the
// scheduling pass of the engine thread, the answers of registrars, and what the engine's wait
// must honour. The records are changed and each REGISTER composed under one lock; what that
// leaves to do (sends with their server name lookups, keep-alives, log entries, observer calls)
// is carried out after the lock is released, in the order it arose. So no name lookup or
// callback runs under the lock, and an observer may call back into the list.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "sip/registration.h"
#include "sip/sip_endpoint.h"
#include "sip/sip_message.h"

namespace corvina::sip {

// A registration as shown to the user (never the password).
struct RegistrationStatus {
  std::string addressOfRecord;
  std::string server;
  bool registers = false;  // false for a line without a domain
  bool registered = false;
  std::int64_t secondsToNextAttempt = 0;  // 0 when due
  RegistrationPhase phase = RegistrationPhase::kRegistering;
  int status = 0;      // kNoPassword, kRefused, kRejected: the registrar's answer
  std::string reason;
};

class RegistrationObserver {
 public:
  virtual ~RegistrationObserver() = default;
  // A record's first attempt began, its registered state or phase changed, or an attempt
  // failed (called without the registrations lock, on the engine thread or on the thread that
  // removed the record).
  virtual void RegistrationChanged(const RegistrationStatus& status) = 0;
};

class RegistrationList {
 public:
  static constexpr std::uint32_t kRetryMs = 7000;
  static constexpr std::uint32_t kGiveUpMs = 40000;
  static constexpr std::uint32_t kNoAnswerBackOffMs = 300000;
  static constexpr std::uint32_t kRefusedBackOffMs = 600000;
  static constexpr std::uint32_t kRefreshMarginMs = 10000;
  static constexpr std::uint32_t kKeepAliveMs = 49000;
  static constexpr std::uint32_t kKeepAliveWaitMs = 51000;
  static constexpr int kRefreshExpires = 3600;
  static constexpr int kMinExpires = 20;
  static constexpr int kMaxExpires = 3600;
  static constexpr int kKeepAliveAboveExpires = 60;

  // `keepAlive` sends a registrar keep-alive to a server (resolved with port 5060, only when
  // it is a public address).
  RegistrationList(SipEndpoint& endpoint, std::function<void(std::string_view server)> keepAlive);

  // Set while no other thread uses the list (before the engine thread starts, after it stops).
  void SetObserver(RegistrationObserver* observer);

  // Any thread. q is clamped to 0..99.
  void Add(const RegistrationKey& key, int q, std::uint32_t now);
  // Any thread. The last reference unregisters (REGISTER with expires 0 when registered).
  void Remove(const RegistrationKey& key, std::uint32_t now);

  // The engine thread's scheduling pass. `keepAlivesNeeded` is cleared when a non-registering
  // record falls due and no record registers. `stop` ends the pass early when it returns true.
  void RunPass(std::uint32_t now, bool& keepAlivesNeeded, const std::function<bool()>& stop = {});
  // The wait, no longer than `wait`, until the pass has something to do.
  std::uint32_t Wait(std::uint32_t now, std::uint32_t wait, bool keepAlivesNeeded);
  // A public address change: every record falls due at once.
  void MakeAllDue(std::uint32_t now);

  // A response whose Call-ID belongs to a record; false when none has it. A response to any
  // but the last REGISTER sent for the record is ignored (still true).
  bool HandleResponse(const SipMessage& response, std::uint32_t now);

  // Orderly stop: sends REGISTER with expires 0 for every registered record; returns how many.
  int UnregisterAll(std::uint32_t now);
  // True while an unregistration waits for its final answer.
  bool UnregisterPending();

  std::vector<RegistrationStatus> Snapshot(std::uint32_t now);
  // The server of the oldest record that registers (the first line's), empty when none does.
  std::string FirstServer();
  std::size_t Size();

 private:
  using Records = std::list<RegistrationRecord>;
  // Something a step under the lock leaves to be done once the lock is released.
  struct Effect {
    enum class Kind { kSend, kKeepAlive, kLog, kNotify } kind;
    std::string server;  // kSend, kKeepAlive
    std::string text;    // kSend: the REGISTER; kLog: the entry
    std::uint8_t level = 0;
    RegistrationStatus status;  // kNotify
  };
  // Holds the lock; on leaving, releases it and carries out the effects gathered meanwhile.
  class Scope;

  Records::iterator FindLocked(const RegistrationKey& key);
  void SendRegisterLocked(RegistrationRecord& r, int expires);
  void NotifyLocked(const RegistrationRecord& r, std::uint32_t now);
  void SetRegisteredLocked(RegistrationRecord& r, bool registered, std::uint32_t now);
  // Sets how the record stands (no notification); true when that changed.
  static bool SetPhaseLocked(RegistrationRecord& r, RegistrationPhase phase, int status = 0,
                             std::string_view reason = {});
  void HandleSuccessLocked(RegistrationRecord& r, const SipMessage& response, std::uint32_t now);
  void HandleChallengeLocked(RegistrationRecord& r, const SipMessage& response, std::uint32_t now);
  void FailLocked(RegistrationRecord& r, std::uint32_t now, std::uint32_t backOffMs);
  void LogLocked(std::string_view text, std::uint8_t level);
  RegistrationStatus StatusOf(const RegistrationRecord& r, std::uint32_t now) const;
  // Without the lock.
  void CarryOut(const std::vector<Effect>& effects, RegistrationObserver* observer);

  SipEndpoint& endpoint_;
  const std::function<void(std::string_view)> keepAlive_;
  std::mutex mutex_;  // the registrations lock: guards everything below
  Records records_;   // newest first
  RegistrationObserver* observer_ = nullptr;
  std::vector<Effect> effects_;  // gathered under the lock, carried out after it
};

}  // namespace corvina::sip
