// The life of the phone after the program-wide objects exist: take the start-up lock, hand
// over to a phone already running on the same home, or else create the main window, run the
// loop and tear down. The frontend is the Qt window or the console phone.
//
// Tear-down order: the loop ends, every worker stops, then the window is unwired and the
// frontend's loop detaches from the postbox; only then may the frontend (and a toolkit
// application object) be destroyed.
#pragma once

#include <optional>

#include "app/controller/main_view.h"
#include "app/controller/main_window.h"
#include "app/program_objects.h"
#include "platform/instance_channel.h"
#include "platform/ui_postbox.h"
#include "platform/ui_queue.h"

namespace corvina::app {

class PhoneFrontend {
 public:
  virtual ~PhoneFrontend() = default;
  // Lets the frontend's loop run the postbox's tasks; detaching drops what is left.
  virtual void AttachPostbox(platform::UiPostbox& postbox) = 0;
  virtual void DetachPostbox() = 0;
  virtual platform::TimerHost& Timers() = 0;
  virtual MainView& View() = 0;
  // Makes the window for the controller and wires the frontend's input to it; false when no
  // window can be made (the phone then exits normally).
  virtual bool CreateWindow(MainWindow& window) = 0;
  // Runs the loop until the window closes; returns the exit code.
  virtual int RunLoop() = 0;
  // Unwires the controller after the loop has ended.
  virtual void DestroyWindow() = 0;
  // Hears the phone's announcements, tones and missed calls (null: nobody).
  virtual PhoneObserver* Observer() { return nullptr; }
  // The exit code when CreateWindow() failed.
  virtual int CreateFailureCode() const { return 0; }
};

// How long a second start waits for the running phone to take the hand-over.
inline constexpr int kHandOverTimeoutMs = 2000;

// Returns the process exit code: 0 after a hand-over or a normal exit, 1 when the running phone
// refused `dial`. With `dial`, the hand-over asks the running phone to dial; with no phone
// running, this one dials once its window is up.
int RunPhone(ProgramObjects& program, PhoneFrontend& frontend,
             const std::optional<platform::DialRequest>& dial = std::nullopt);

}  // namespace corvina::app
