// The call terminator's core: the records of dialogs being ended, what arrives for them, the
// CANCEL and BYE retransmission schedules and the record expiry, driven by `now`. It sends
// through each dialog's endpoint and tells its thread shell how long it may wait and on what.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "platform/event.h"
#include "platform/thread_checker.h"
#include "sip/dialog_list.h"
#include "sip/request_composer.h"
#include "sip/shared_dialog.h"

namespace corvina::sip {

inline constexpr std::uint32_t kFirstResendIntervalMs = 500;
inline constexpr std::uint32_t kNearlyDueMs = 100;
inline constexpr std::uint32_t kCancelGiveUpMs = 15001;
inline constexpr std::uint32_t kByeGiveUpMs = 25000;
inline constexpr std::uint32_t kRecordLifetimeMs = 300000;
inline constexpr int kLongestWaitMs = 3600000;
inline constexpr std::size_t kMaxWatchedDialogs = 63;
inline constexpr std::size_t kMostEventsWithoutPolling = 16;
inline constexpr int kPollIntervalMs = 40;
// A bound on the records held at once; beyond it the oldest record is ended early.
inline constexpr std::size_t kMaxTerminationRecords = 1024;

// The INVITE of a dialog handed over before its final response.
struct PendingInvite {
  SipRequestOut invite;
  bool provisionalSeen = false;
};

struct Retransmission {
  std::uint32_t lastSentMs = 0;
  std::uint32_t intervalMs = kFirstResendIntervalMs;
};

struct TerminationRecord {
  DialogRef dialog;
  std::uint32_t startMs = 0;  // every limit counts from the hand-over
  bool invitePending = false;
  bool cancelPending = false;
  bool cancelSent = false;
  SipRequestOut invite;
  SipRequestOut cancel;
  Retransmission cancelTimer;
  bool byePending = false;
  SipRequestOut bye;
  Retransmission byeTimer;
};

// Builds the record for a dialog handed over at `now` and sends at once what is owed: the BYE of
// an established dialog, the CANCEL of a pending INVITE that has had a provisional answer. A
// dialog neither established nor pending only waits out its lifetime. Runs on the handing
// thread, which still holds the dialog.
TerminationRecord StartTermination(DialogRef dialog, std::optional<PendingInvite> pending, std::uint32_t now);

struct TerminatorCycle {
  int waitMs = kLongestWaitMs;  // until the next resend, give-up or record expiry
  bool idle = true;             // no CANCEL or BYE retransmission pending
  bool poll = false;            // too many dialogs to wait on: sleep kPollIntervalMs instead
  std::vector<platform::Event*> events;  // message events of the dialogs held (newest first)
};

// Used on the terminator's thread only (checked): the first caller of Add or RunCycle owns it,
// and a restarted worker takes it over with AdoptNextThread.
class TerminatorCore {
 public:
  explicit TerminatorCore(DialogList& dialogs) : dialogs_(dialogs) { thread_.Detach(); }

  // The next thread to call Add or RunCycle becomes the owner (a new worker thread starts).
  void AdoptNextThread() { thread_.Detach(); }

  void Add(TerminationRecord record);
  TerminatorCycle RunCycle(std::uint32_t now);

  const std::deque<TerminationRecord>& Records() const { return records_; }

 private:
  void HandleMessage(TerminationRecord& r, const SipMessage& message, std::uint32_t now);
  void HandleByeResponse(TerminationRecord& r, const SipMessage& response, std::uint32_t now);
  void Retransmit(TerminationRecord& r, std::uint32_t now, TerminatorCycle& cycle);
  // Takes the record's dialog out of the engine's list and drops the record.
  std::deque<TerminationRecord>::iterator Expire(std::deque<TerminationRecord>::iterator it);

  DialogList& dialogs_;
  platform::ThreadChecker thread_;
  std::deque<TerminationRecord> records_;  // newest first; owning thread
};

}  // namespace corvina::sip
