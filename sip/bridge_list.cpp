#include "sip/bridge_list.h"

#include "sip/two_leg_bridge.h"

namespace corvina::sip {

BridgeList::BridgeList(DialogList& dialogs, CallTerminator& terminator, const platform::TickClock& clock)
    : dialogs_(dialogs), terminator_(terminator), clock_(clock) {}

BridgeList::~BridgeList() { StopAll(); }

bool BridgeList::Start(DialogRef first, DialogRef second) {
  Reap();
  if (first) first->ReleaseHolder();
  if (second) second->ReleaseHolder();
  bool accepted = false;
  {
    std::lock_guard lock(lock_);
    accepted = !stopping_ && bridges_.size() < kMaxBridges && first && second;
  }
  if (accepted) {
    auto bridge = std::make_shared<TwoLegBridge>(first, second, dialogs_, terminator_, clock_);
    std::lock_guard lock(lock_);
    // Started under the lock, so that StopAll either refuses it or finds it in the list.
    if (!stopping_ && bridge->Start()) {
      bridges_.insert(bridges_.begin(), std::move(bridge));
      return true;
    }
  }
  // Refused: the dialogs are ended as if the bridge had ended at once.
  if (first) terminator_.HandOver(std::move(first));
  if (second) terminator_.HandOver(std::move(second));
  return false;
}

std::size_t BridgeList::Count() {
  Reap();
  std::lock_guard lock(lock_);
  return bridges_.size();
}

void BridgeList::Reap() {
  std::vector<std::shared_ptr<TwoLegBridge>> ended;
  {
    std::lock_guard lock(lock_);
    std::erase_if(bridges_, [&ended](std::shared_ptr<TwoLegBridge>& b) {
      if (!b->Ended()) return false;
      ended.push_back(std::move(b));
      return true;
    });
  }
  for (auto& b : ended) b->Join();
}

void BridgeList::StopAll() {
  std::vector<std::shared_ptr<TwoLegBridge>> all;
  {
    std::lock_guard lock(lock_);
    stopping_ = true;
    all.swap(bridges_);
    for (auto& b : all) b->RequestStop();
  }
  for (auto& b : all) b->StopAndJoin();
}

}  // namespace corvina::sip
