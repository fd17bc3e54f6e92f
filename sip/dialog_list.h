// The engine's list of dialogs that receive messages. The dispatcher finds a dialog and takes
// a reference to it under the list lock, then queues the message outside the lock, so a holder
// may remove and drop its dialog while a delivery to it is under way.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "sip/dialog_router.h"
#include "sip/shared_dialog.h"

namespace corvina::sip {

inline constexpr int kDialogAddReadyWaitMs = 10000;

class DialogList final : public DialogRouter {
 public:
  // Blocks up to `timeoutMs` until the engine's socket is ready; true when it is.
  using ReadyWait = std::function<bool(int timeoutMs)>;

  explicit DialogList(ReadyWait waitUntilReady);

  // Any thread. Blocks up to `timeoutMs` until the engine is ready; true when it is.
  bool WaitReady(int timeoutMs) const;

  // Any thread. Waits up to `readyWaitMs` for the engine to be ready, then puts the dialog at
  // the head of the list (also when the engine did not become ready; the result says whether it did).
  // The engine thread comes here only once the engine is ready (it holds new INVITEs until
  // then), so its wait ends at once.
  bool Add(DialogRef dialog, int readyWaitMs = kDialogAddReadyWaitMs);
  // Any thread. Takes the dialog out of the list; deliveries already under way still complete.
  void Remove(const SharedDialog* dialog);
  std::size_t Count() const;

  bool Deliver(std::unique_ptr<SipMessage>& message) override;
  bool DeliverReplacing(std::string_view callId, std::unique_ptr<SipMessage>& message) override;

 private:
  DialogRef FindLocked(std::string_view callId, std::string_view tag) const;
  bool DeliverTo(std::string_view callId, std::unique_ptr<SipMessage>& message);

  const ReadyWait waitUntilReady_;
  mutable std::mutex lock_;
  std::vector<DialogRef> dialogs_;  // newest first; guarded by lock_
};

}  // namespace corvina::sip
