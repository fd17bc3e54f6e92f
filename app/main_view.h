// What the phone controller drives on screen. The controller never touches a widget; the Qt
// window, the console view and the tests' recording view each implement this.
#pragma once

#include <string_view>

namespace corvina::app {

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
};

}  // namespace corvina::app
