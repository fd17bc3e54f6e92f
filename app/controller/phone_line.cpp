#include "app/controller/phone_line.h"

namespace corvina::app {

PhoneLine::PhoneLine(PhoneLineOwner& owner, int index, std::unique_ptr<call::LineControl> call)
    : owner_(owner), index_(index), call_(std::move(call)) {
  last_ = call_->Snapshot();
  call_->SetListener(this);
}

PhoneLine::~PhoneLine() { call_->SetListener(nullptr); }

bool PhoneLine::Hold(std::time_t now) {
  if (!call_->IsBusy()) return false;
  call_->SetHoldRequested(true);
  if (!onHold) timing.HoldStarted(now);
  onHold = true;
  return true;
}

void PhoneLine::Resume(std::time_t now) {
  call_->SetHoldRequested(false);
  if (onHold) timing.Retrieved(now);
  onHold = false;
}

void PhoneLine::TransferTo(PhoneLine& other) { call_->JoinLine(other.Call()); }

void PhoneLine::Drop() {
  onHold = false;
  call_->HangUp();
  unanswered = false;
}

void PhoneLine::OnLineChanged(int /*lineIndex*/, const call::LineSnapshot& snapshot) {
  call::LineSnapshot previous = std::move(last_);
  last_ = snapshot;
  if (!snapshot.remoteNumber.empty()) {
    remoteNumber = snapshot.remoteNumber;
    remoteName = snapshot.remoteName;
  }
  owner_.OnLineChanged(index_, previous, snapshot);
}

void PhoneLine::ClearAnsweredAndHold() {
  answered = false;
  onHold = false;
  transferring = false;
  dialledText.clear();
  call_->SetHoldRequested(false);
}

void PhoneLine::DropConsultPeer() {
  if (consultPeer == nullptr) return;
  PhoneLine* peer = consultPeer;
  consultPeer = nullptr;
  if (peer->consultPeer == this) peer->consultPeer = nullptr;
  peer->Drop();
}

}  // namespace corvina::app
