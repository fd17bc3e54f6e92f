// What the phone controller sees of a line's call object: the call state with its ring count
// and remote party, the operations the user's actions turn into, and the announcement of every
// change. The call layer's SipLine implements it; controller tests use a fake.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvina::call {

enum class CallState : std::int32_t {
  kIdle = 0,
  kIncomingRinging = 1,
  kDialling = 2,
  kDiallingIntercom = 3,
  kRemoteRinging = 4,
  kConnected = 5,
};

// What became of the last transfer on a line: the blind transfer the user asked for, the
// transfer the far end asked of us (we are the transferee), or the attended transfer that
// joins this line's call with the other line's.
enum class TransferKind : std::int32_t { kNone = 0, kBlind = 1, kTransferee = 2, kAttended = 3 };
// kBridged: the REFER failed (or the accounts differ) and the phone joined the two parties
// through a bridge itself.
enum class TransferOutcome : std::int32_t { kNone = 0, kReferred = 1, kFailed = 2, kReplaced = 3, kBridged = 4 };

enum class LineCommand : std::int32_t {
  kNone = 0,
  kAnswer = 1,
  kTransfer = 2,
  kJoinLine = 3,
  kHandOver = 4,
  kHoldChanged = 5,
  kHangUp = 6,
};

// One consistent reading of a line, taken under the line lock when the change happened.
struct LineSnapshot {
  CallState state = CallState::kIdle;
  int ringCount = 0;
  std::string remoteNumber;  // user part of the other party's URI
  std::string remoteName;    // its display name, or the number when it has none
  std::string remoteAddress; // "user@host" of the other party's URI (the intercom allow list's key)
  bool intercomRequested = false;
  // The hold state the far end last accepted (a 2xx to the hold or resume re-INVITE); off
  // whenever a call connects. A change is announced like a change of state.
  bool holdApplied = false;
  // Set once a transfer's outcome is known and announced with that change; both return to
  // kNone with the next announcement. Blind: kReferred (the far end took the REFER and
  // reported success), kBridged or kFailed; attended likewise. Transferee: kReplaced (our new
  // call replaced this one) or kFailed.
  TransferKind transferKind = TransferKind::kNone;
  TransferOutcome transferOutcome = TransferOutcome::kNone;
  // Why the call ended, when it went idle other than by our own hang-up: the far end's reason
  // phrase ("Busy Here") or what the activity log said ("Server not replying"); else empty.
  std::string endReason;
};

// Receives a line's announcements on the user-interface thread, one per change of call state
// or ring count, in order.
class LineListener {
 public:
  virtual ~LineListener() = default;
  virtual void OnLineChanged(int lineIndex, const LineSnapshot& snapshot) = 0;
};

class LineControl {
 public:
  virtual ~LineControl() = default;

  // Any thread.
  virtual bool IsBusy() const = 0;
  virtual LineSnapshot Snapshot() const = 0;

  // User-interface thread.
  virtual bool Answer() = 0;
  virtual bool MakeCall(std::string_view target) { return MakeCallAs(target, {}, false); }
  virtual bool MakeCallAs(std::string_view target, std::string_view displayName, bool intercom) = 0;
  virtual void SendDigits(std::string_view digits) = 0;
  virtual void Transfer(std::string_view target) = 0;
  virtual void HangUp() = 0;
  virtual void JoinLine(LineControl& other) = 0;
  // The on-hold audio sets the hold request, then gives the hold-changed command.
  virtual void SetHoldRequested(bool held) = 0;
  virtual bool HoldRequested() const = 0;

  // Announcements go to `listener` on the user-interface thread (null: none).
  virtual void SetListener(LineListener* listener) = 0;
};

}  // namespace corvina::call
