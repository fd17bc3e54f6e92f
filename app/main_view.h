// What the phone controller drives on screen. The controller never touches a widget; the Qt
// window, the console view and the tests' recording view each implement this.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sip/sip_endpoint.h"

namespace corvina::app {

// What the phone shows of one line's registration.
struct LineRegistrationState {
  int line = 0;  // 1-based
  std::string addressOfRecord;
  std::string server;
  bool registers = false;  // false for a line without a domain
  bool registered = false;
  std::int64_t secondsToNextAttempt = 0;
};

class MainView {
 public:
  virtual ~MainView() = default;
  // Shows the window maximised and brings it (with its owned windows) to the foreground.
  virtual void BringToFront() = 0;
  // Shows or hides the status window pane.
  virtual void ShowStatusWindow(bool visible) = 0;
  // The status entries changed (called on the user-interface thread); redraw the status window.
  virtual void StatusWindowChanged() = 0;
  // Closes the window; the loop ends afterwards.
  virtual void Close() = 0;
  // A line's registration changed (user-interface thread).
  virtual void RegistrationChanged(const LineRegistrationState& state) { (void)state; }
  // The SIP engine's public address changed (user-interface thread).
  virtual void PublicAddressChanged(const sip::OwnAddresses& addresses) { (void)addresses; }
};

}  // namespace corvina::app
