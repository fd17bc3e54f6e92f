// The phone's main window on Qt. It shows what the controller tells it (MainView) and reports
// the user's actions through ViewInput by the main window's control and command ids; the
// phone's behaviour stays in the controller. The controls are laid out for the window's shape
// (portrait or landscape) on every resize; the menu bar stands in for the handheld's soft
// keys and the keyboard for its keys (KeyRule).
#pragma once

#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QProgressBar>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QMenu>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/controller/main_view.h"
#include "app/controller/main_window.h"
#include "ui/key_rule.h"
#include "ui/panel_controls.h"
#include "ui/panel_layout.h"
#include "ui/status_display_widget.h"
#include "ui/view_input.h"

namespace corvina::ui {

class QtProgressWindow;

class QtMainView final : public QMainWindow, public app::MainView {
  Q_OBJECT

 public:
  QtMainView();
  ~QtMainView() override;

  // The controller whose status entries the pane shows; null detaches.
  void Attach(app::MainWindow* controller) { controller_ = controller; }
  // Where the user's actions go; null drops them.
  void SetInput(ViewInput* input) { input_ = input; }

  void BringToFront() override;
  void ShowStatusWindow(bool visible) override;
  void StatusWindowChanged() override;
  void Close() override { close(); }
  void RequestAttention() override;
  void SetButtonImage(app::ControlId control, app::ButtonImage image, bool pressed) override;
  void SetControlEnabled(app::ControlId control, bool enabled) override;
  void SetLineButton(int line, bool lit) override;
  void SetLineTip(int line, std::string_view tip) override;
  void PaintDisplay(const app::DisplayRows& rows) override;
  void SetDialText(std::string_view text) override;
  void SetDialBoxEnabled(bool enabled) override;
  void FocusDialBox() override;
  void SetDialList(const std::vector<std::string>& items) override;
  void SelectDialListItem(int index) override;
  void SetMenuItem(app::MenuId item, bool enabled, bool checked) override;
  void SetSliders(int play, int record) override;
  void SetMeters(int play, int record) override;
  void ShowMessageBox(std::string_view title, std::string_view text) override;
  // A modal Yes/No/Cancel box (its own loop keeps the window's other work going).
  app::QuestionAnswer AskYesNoCancel(std::string_view title, std::string_view text) override;
  // The progress window of the Networking Setup Wizard, made on first use.
  app::ProgressWindow* ToolProgress() override;
  bool ShowTrayMessage(std::string_view title, std::string_view text) override;
  void OpenExternal(std::string_view target) override;
  void RegistrationChanged(const app::LineRegistrationState& state) override;
  // The pop-up under the Transfer button; a choice comes back as its command.
  void ShowTransferMenu(const std::vector<app::TransferMenuItem>& items) override;
  void OpenQuickTransferList() override {
    if (openQuickTransferList_) openQuickTransferList_();
  }
  // The hotkeys are shortcuts of this application's windows (no grab of the whole desktop).
  bool RegisterHotkey(int id, std::uint32_t modifiers, std::uint32_t virtualKey) override;
  void UnregisterHotkey(int id) override;

  // The setup wizards and the networking setup tool, as the frontend opens them.
  bool OpenWizard(app::WizardKind kind, std::function<void(bool finished)> done) override {
    return openWizard_ && openWizard_(kind, std::move(done));
  }
  bool RunNetworkTool() override { return runNetworkTool_ && runNetworkTool_(); }
  void SetWizardOpener(std::function<bool(app::WizardKind, std::function<void(bool)>)> open) {
    openWizard_ = std::move(open);
  }
  void SetNetworkTool(std::function<bool()> run) { runNetworkTool_ = std::move(run); }

  // What opens the quick-transfer list's dialog (the frontend, which has the settings).
  void SetQuickTransferListOpener(std::function<void()> open) { openQuickTransferList_ = std::move(open); }

  // For tests and screenshots.
  QListWidget* StatusWindowList() const { return statusList_; }
  // One line per phone line: its address of record and whether it is registered.
  QLabel* RegistrationText() const { return registrationText_; }
  QWidget* Control(app::ControlId id) const;
  DialBox* DialBoxControl() const { return dialBox_; }
  QAction* MenuAction(int command) const;
  StatusDisplayWidget* Display() const { return display_; }
  LongPressButton* TransferButton() const { return transfer_; }
  // The Transfer pop-up once opened, else null.
  QMenu* TransferPopup() const { return transferMenu_; }
  QMenu* ContactsMenu() const { return contactsMenu_; }
  QMenu* ToolsMenu() const { return toolsMenu_; }
  const std::vector<WindowHotkey>& Hotkeys() const { return hotkeys_; }
  bool Portrait() const { return geometry_.portrait; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::unique_ptr<QtProgressWindow> toolProgress_;  // user-interface thread
  void BuildControls();
  void BuildMenus();
  QPushButton* AddButton(app::ControlId id, const QString& text);
  void AddCommand(QMenu* menu, int id, const char* text, const std::string& shortcut);
  bool HandleKey(QObject* watched, QKeyEvent* event);
  // A registered hotkey's press or release, in any of the application's windows.
  bool HandleHotkey(QObject* watched, QKeyEvent* event);
  // Space held outside the dial box is the Intercom button held: press, then release.
  bool HandleSpace(QObject* watched, QKeyEvent* event);
  void LayOut();
  void RefreshStatusWindow();

  app::MainWindow* controller_ = nullptr;
  ViewInput* input_ = nullptr;
  QWidget* panel_ = nullptr;
  StatusDisplayWidget* display_ = nullptr;
  DialBox* dialBox_ = nullptr;
  LongPressButton* transfer_ = nullptr;
  std::map<int, QWidget*> controls_;  // by control id
  std::map<int, QAction*> actions_;   // by command id
  QProgressBar* playMeter_ = nullptr;
  QProgressBar* recordMeter_ = nullptr;
  QSlider* playSlider_ = nullptr;
  QSlider* recordSlider_ = nullptr;
  QListWidget* statusList_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;  // made on the first tray message
  PanelGeometry geometry_;
  QLabel* registrationText_ = nullptr;  // shown with the status pane
  QMenu* contactsMenu_ = nullptr;
  QMenu* toolsMenu_ = nullptr;
  QMenu* transferMenu_ = nullptr;      // made on the first long press
  std::vector<WindowHotkey> hotkeys_;  // registered, by identifier order of registration
  int heldHotkey_ = 0;                 // the hotkey whose key is down, 0 for none
  std::function<void()> openQuickTransferList_;
  std::function<bool(app::WizardKind, std::function<void(bool)>)> openWizard_;
  std::function<bool()> runNetworkTool_;
};

}  // namespace corvina::ui
