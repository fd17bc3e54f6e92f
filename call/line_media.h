// What a line's call thread asks of its RTP session: open it (local ports and the addresses to
// advertise), point it at the negotiated remote side, start and stop it, and send digits.
#pragma once

#include <string_view>

#include "call/sdp_session.h"

namespace corvina::call {

class LineMedia {
 public:
  virtual ~LineMedia() = default;
  // Call thread. False when no RTP port could be opened, or when the call was cancelled.
  virtual bool Open() = 0;
  // Any thread (a hang-up or a shut-down): an Open under way ends within 200 ms, and so does
  // every later one until AllowOpen, so a cancel given before the call thread opens still counts.
  virtual void CancelOpen() = 0;
  // A new call starts (before its thread runs): Open runs in full again.
  virtual void AllowOpen() = 0;
  virtual SdpLocalMedia Local() const = 0;
  // Applies a usable negotiation (remote address, payload types, send suppression).
  virtual void SetRemote(const SdpState& state) = 0;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  // Any thread.
  virtual void SendDigits(std::string_view digits) = 0;
};

}  // namespace corvina::call
