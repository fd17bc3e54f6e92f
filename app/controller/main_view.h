// What the phone controller drives on screen. The controller never touches a widget; the Qt
// window, the console view and the tests' recording view each implement this. The controller
// owns the state (dial box text, images, menu states); the view shows what it is told and
// reports the user's actions to the controller's entries (MainWindow::OnButton, OnCommand,
// OnDialTextChanged, ...). Every method runs on the user-interface thread. The methods past the
// first four have empty defaults so that a view can grow into them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/controller/button_images.h"
#include "app/controller/hotkey_bindings.h"
#include "app/controller/status_display.h"
#include "app/controller/transfer_menu.h"
#include "app/wizards/wizard_kind.h"
#include "sip/sip_endpoint.h"

namespace corvina::app {

class ProgressWindow;

// The buttons of a question box.
enum class QuestionAnswer { kYes, kNo, kCancel };

// The main window's controls, by their identifiers.
enum class ControlId : int {
  kKey1 = 103,  // 103 "1" … 111 "9", 112 "*", 113 "0", 114 "#"
  kKeyHash = 114,
  kCall = 115,
  kHangUp = 116,
  kTransfer = 117,
  kRecord = 118,
  kDnd = 119,
  kHold = 120,
  kLine1 = 122,
  kLine2 = 123,
  kDialBox = 130,
  kConference = 131,
  kIntercom = 132,
  kPlayMeter = 140,
  kRecordMeter = 141,
  kPlaySlider = 142,
  kRecordSlider = 143,
  kDisplay = 150,
};

// The menu commands whose enabled or checked state the controller sets.
enum class MenuId : int {
  kDial = 1001,
  kClear = 1002,
  kAnswer = 1005,
  kReject = 1006,
  kHangUp = 1007,
  kDndOn = 1008,
  kDndOff = 1009,
  kAddToAddressBook = 1015,
  kAddQuickTransfer = 1017,
  kRedial = 1018,
  kShowStatusWindow = 2004,
  kQuickTransferList = 2050,
};

class MainView : public HotkeyRegistrar {
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

  // Asks for the user's attention without raising the window (later rings of a call).
  virtual void RequestAttention() {}
  // A drawn button (`control` one of Call, HangUp, Transfer, Record, Dnd, Hold, Conference,
  // Intercom) shows `image`, pressed in or not.
  virtual void SetButtonImage(ControlId /*control*/, ButtonImage /*image*/, bool /*pressed*/) {}
  // A control is enabled or greyed (Transfer, Record, Hold, Conference, Intercom when their
  // feature is not there).
  virtual void SetControlEnabled(ControlId /*control*/, bool /*enabled*/) {}
  // Line button `line` (0 or 1) is drawn lit or dark.
  virtual void SetLineButton(int /*line*/, bool /*lit*/) {}
  // Line button `line`'s tool tip: its account and registration.
  virtual void SetLineTip(int /*line*/, std::string_view /*tip*/) {}
  // The status display's rows changed (or its clock advanced): paint them.
  virtual void PaintDisplay(const DisplayRows& /*rows*/) {}
  // How often the display is painted again while nothing changes it: every second for a view
  // that shows the running clock.
  virtual std::uint32_t DisplayRefreshMs() const { return 1000; }
  // The dial box shows `text` (the controller changed it; the view does not echo it back).
  virtual void SetDialText(std::string_view /*text*/) {}
  virtual void SetDialBoxEnabled(bool /*enabled*/) {}
  virtual void FocusDialBox() {}
  // The dial box's drop-down list holds `items` (recent calls, separator, address book).
  virtual void SetDialList(const std::vector<std::string>& /*items*/) {}
  // Item `index` of the list is selected; its text becomes the dial box text through
  // MainWindow::OnDialTextChanged as for a user's choice.
  virtual void SelectDialListItem(int /*index*/) {}
  // A menu item is enabled or greyed, ticked or not.
  virtual void SetMenuItem(MenuId /*item*/, bool /*enabled*/, bool /*checked*/) {}
  // Slider positions, −127 … 127.
  virtual void SetSliders(int /*play*/, int /*record*/) {}
  // Level meters: play and record levels as AudioRoute reports them (dB, -127 silence).
  virtual void SetMeters(int /*play*/, int /*record*/) {}
  // A message box with an OK button; the controller does not wait for it.
  virtual void ShowMessageBox(std::string_view /*title*/, std::string_view /*text*/) {}
  // A Yes/No/Cancel question box; returns once the user has answered (the view keeps its input
  // going meanwhile). kCancel also when the window is closing.
  virtual QuestionAnswer AskYesNoCancel(std::string_view /*title*/, std::string_view /*text*/) {
    return QuestionAnswer::kNo;
  }
  // The progress window in which the main window's long operations run (null: none).
  virtual ProgressWindow* ToolProgress() { return nullptr; }
  // A tray message; false when there is no tray (the controller then shows a display note).
  virtual bool ShowTrayMessage(std::string_view /*title*/, std::string_view /*text*/) { return false; }
  // Opens a folder or a web page with the desktop's handler.
  virtual void OpenExternal(std::string_view /*target*/) {}
  // A line's registration changed (user-interface thread).
  virtual void RegistrationChanged(const LineRegistrationState& state) { (void)state; }
  // The SIP engine's public address changed (user-interface thread).
  virtual void PublicAddressChanged(const sip::OwnAddresses& addresses) { (void)addresses; }
  // The Transfer button's pop-up menu opens with `items` (at the button's lower left corner);
  // the user's choice comes back as a command.
  virtual void ShowTransferMenu(const std::vector<TransferMenuItem>& /*items*/) {}
  // The quick-transfer list's management dialog opens.
  virtual void OpenQuickTransferList() {}
  // The Options dialog at `page` (0 Audio, 1 Lines); false when this view has none.
  virtual bool OpenOptions(int /*page*/) { return false; }
  // Opens a setup wizard without waiting for it; `done` runs on the user-interface thread when
  // it closes, with true after Finish and false when cancelled. False, and `done` never runs,
  // when this view has no wizards.
  virtual bool OpenWizard(WizardKind /*kind*/, std::function<void(bool finished)> /*done*/) { return false; }
  // Runs the networking setup tool to its end; false when this view has none.
  virtual bool RunNetworkTool() { return false; }
  // HotkeyRegistrar: the window system's global keys (none by default).
  bool RegisterHotkey(int /*id*/, std::uint32_t /*modifiers*/, std::uint32_t /*virtualKey*/) override { return false; }
  void UnregisterHotkey(int /*id*/) override {}
};

}  // namespace corvina::app
