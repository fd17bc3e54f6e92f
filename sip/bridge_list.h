// The program-wide list of two-leg bridges. The call layer starts a bridge here once it has
// joined two far ends to each other; the list keeps every running bridge so that the program
// can stop them all at exit, before the call terminator stops (a stopped bridge hands both
// dialogs to the terminator, which sends their BYEs at once).
//
// Entries are reference counted: the list hands a bridge out only as a shared reference taken
// under its lock, and joins a bridge's thread only after the lock is released.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "sip/shared_dialog.h"

namespace corvina::sip {

class CallTerminator;
class DialogList;
class TwoLegBridge;

// At most this many bridges run at once; a join beyond it is refused and both dialogs are ended.
inline constexpr std::size_t kMaxBridges = 16;

class BridgeList {
 public:
  // `dialogs` is the engine's list (a leg that replaces another joins it); `clock` gives the
  // tick count of the dialogs' endpoint.
  BridgeList(DialogList& dialogs, CallTerminator& terminator, const platform::TickClock& clock);
  ~BridgeList();  // stops every bridge
  BridgeList(const BridgeList&) = delete;
  BridgeList& operator=(const BridgeList&) = delete;

  // Any thread that holds both dialogs (ownership passes: the caller moves its references in
  // and releases nothing itself). Starts a bridge between them at the head of the list; false
  // when the list is full or stopping, or the thread could not start: both dialogs then went to
  // the terminator (established ones got their BYE).
  bool Start(DialogRef first, DialogRef second);

  // The bridges still running (ended ones are reaped first). Any thread.
  std::size_t Count();

  // Stops every bridge and waits for each; later Start calls are refused. Any thread except a
  // bridge's own.
  void StopAll();

 private:
  // Takes the ended bridges off the list under the lock and joins them after it.
  void Reap();

  // Program-wide, fixed at construction, outliving the list.
  DialogList& dialogs_;
  CallTerminator& terminator_;
  const platform::TickClock& clock_;
  std::mutex lock_;
  std::vector<std::shared_ptr<TwoLegBridge>> bridges_;  // guarded by lock_; newest first
  bool stopping_ = false;                               // guarded by lock_
};

}  // namespace corvina::sip
