// The lines that accept calls, as the engine's request handlers see them. The call layer adds
// its lines; the engine offers new INVITEs to them and asks whether they are idle. Lines are
// shared with the call layer, so the list holds references and hands out copies of them.
#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sip/sip_message.h"

namespace corvina::sip {

class IncomingCallLine {
 public:
  virtual ~IncomingCallLine() = default;
  // The line's user name (matched against the request URI's user, ignoring case).
  virtual std::string UserName() const = 0;
  // 0 when the line is idle.
  virtual int CallState() const = 0;
  // Offers a new INVITE outside any dialog. True when the line accepted it; it then owns the
  // message and `invite` is empty. Called on the engine thread.
  virtual bool OfferIncomingCall(std::unique_ptr<SipMessage>& invite) = 0;
};

class LineList {
 public:
  // Any thread.
  void Add(std::shared_ptr<IncomingCallLine> line) {
    std::lock_guard<std::mutex> hold(mutex_);
    lines_.push_back(std::move(line));
  }
  void Remove(const IncomingCallLine* line) {
    std::lock_guard<std::mutex> hold(mutex_);
    lines_.erase(std::remove_if(lines_.begin(), lines_.end(), [&](const auto& l) { return l.get() == line; }),
                 lines_.end());
  }
  // The lines in order, each with a reference taken under the lock.
  std::vector<std::shared_ptr<IncomingCallLine>> Snapshot() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return lines_;
  }

 private:
  mutable std::mutex mutex_;  // the lines lock: guards lines_
  std::vector<std::shared_ptr<IncomingCallLine>> lines_;
};

}  // namespace corvina::sip
