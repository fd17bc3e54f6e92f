// The images of the main window's state buttons, by the meaning each shows. The numbers are
// the program's own image numbers; the view maps each to a picture.
#pragma once

namespace corvina::app {

enum class ButtonImage : int {
  kLineLit = 31,
  kLineDark = 43,
  kCallSomethingToDo = 37,   // something to call or answer
  kCallNothingToDo = 41,
  kHangUpCall = 39,          // a call, a ringing line or a conference to end
  kHangUpTransfer = 45,      // a transfer is pending
  kHangUpClearText = 38,     // idle with text in the dial box
  kHangUpIdle = 42,          // idle and the dial box empty
  kTransferPending = 45,     // shown pressed
  kTransferNormal = 48,
  kRecordOn = 44,            // shown pressed
  kRecordOff = 47,
  kDndOn = 40,               // shown pressed
  kDndOff = 49,
  kHold = 36,
  kConferenceRunning = 50,   // alternates with kConferenceNormal every 500 ms while paused
  kConferenceNormal = 29,
  kIntercom = 30,
};

}  // namespace corvina::app
