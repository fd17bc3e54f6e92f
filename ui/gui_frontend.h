// The Qt window as the phone's frontend: the loop runs the postbox's tasks, the timers are Qt
// timers, and the window's input goes to the main window object.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <memory>

#include "app/phone_entry.h"
#include "platform/termination_signals.h"
#include "app/options/options_page.h"
#include "ui/address_book_window.h"
#include "ui/controller_input.h"
#include "ui/mail_dialogs.h"
#include "ui/qt_loop.h"
#include "ui/options_dialog.h"
#include "ui/qt_main_view.h"
#include "ui/quick_dialogs.h"
#include "ui/qt_progress.h"
#include "ui/setup_wizard.h"
#include "app/wizards/microphone_monitor.h"

namespace corvina::ui {

class GuiFrontend : public app::PhoneFrontend {
 public:
  GuiFrontend(QApplication& app, platform::TerminationSignals& termination)
      : app_(app), termination_(termination) {}

  void AttachPostbox(platform::UiPostbox& postbox) override { loop_.Attach(postbox); }
  void DetachPostbox() override { loop_.Detach(); }
  platform::TimerHost& Timers() override { return timers_; }
  app::MainView& View() override { return view_; }
  bool CreateWindow(app::MainWindow& window) override;
  int RunLoop() override { return app_.exec(); }
  void DestroyWindow() override;

  // The window itself (its widgets), for tests and screenshots.
  QtMainView& Window() { return view_; }
  // The address book window once opened (menu 2001), else null.
  AddressBookWindow* AddressBook() { return addressBook_.get(); }

  // The quick lists' dialogs while open, else null.
  NamedListDialog* QuickTransferList() { return quickTransferList_; }
  NamedListDialog* AutoIntercomList() { return autoIntercomList_; }
  HotkeyListDialog* HotkeyList() { return hotkeyList_; }

  // The menu command that opens the address book.
  static constexpr int kAddressBookCommand = 2001;
  // Add the dial box's number to the address book / to the quick-transfer list.
  static constexpr int kAddToAddressBookCommand = 1015, kAddQuickTransferCommand = 1017;
  static constexpr int kAboutCommand = 9090;
  // The Options dialog while open (menu commands 1011 and 1030), else null.
  OptionsDialog* Options() { return options_.data(); }
  // The Email Settings window while open, else null.
  EmailSettingsDialog* EmailSettings() { return emailSettings_.data(); }
  // The setup wizard while open, else null.
  SetupWizard* Wizard() { return wizard_.data(); }
  // Options at its first page (also sent as the value 1886545254, "pref"), and at Lines.
  static constexpr int kOptionsCommand = 1011, kOptionsPrefCommand = 1886545254, kLineOptionsCommand = 1030;

 private:
  QApplication& app_;
  platform::TerminationSignals& termination_;
  std::unique_ptr<QSocketNotifier> signalNotifier_;
  QtUiLoop loop_;
  QtTimerHost timers_;
  QtMainView view_;
  void OpenAddressBook(app::MainWindow& window);
  void AddQuickListCommands(app::MainWindow& window);
  // Shows `dialog` (made by `make` when it is not open) without waiting for it.
  template <typename Dialog, typename Make>
  void ShowDialog(QPointer<Dialog>& dialog, Make make);
  // The About box: name, version, build and the libraries' licences; it does not block the loop.
  void ShowAbout();

  std::unique_ptr<ControllerInput> input_;
  std::unique_ptr<AddressBookWindow> addressBook_;  // Qt main thread; goes before the window
  QPointer<NamedListDialog> quickTransferList_;     // owned by the window, deleted on close
  QPointer<NamedListDialog> autoIntercomList_;
  QPointer<HotkeyListDialog> hotkeyList_;
  void OpenOptions(app::MainWindow& window, int page);
  // The Options dialog's link tests, its page environment and the dialog (deleted on close).
  std::unique_ptr<QtProgressWindow> optionsProgress_;
  std::unique_ptr<app::OptionsEnvironment> optionsEnv_;
  QPointer<OptionsDialog> options_;
  // E-mail: "Email Settings..." and "Send Recording by Email..." in the Tools menu, the address
  // book's Send Mail and Invite Friends; sends run in a progress window over the compose dialog.
  void AddMailCommands(app::MainWindow& window);
  void OpenCompose(app::MainWindow& window, ComposeMailDialog::Kind kind, const std::string& to,
                   const std::string& attachment);
  mail::MailResult SendMail(app::MainWindow& window, const mail::MailRequest& request, QWidget* parent);
  app::OptionsEnvironment mailEnv_;  // the Email page needs no links, folders or tests
  QPointer<EmailSettingsDialog> emailSettings_;  // owned by the window, deleted on close
  // The setup wizards (one at a time, deleted on close); the microphone page's listener.
  bool OpenWizard(app::MainWindow& window, app::WizardKind kind, std::function<void(bool)> done);
  QPointer<SetupWizard> wizard_;
  std::unique_ptr<app::MicrophoneMonitor> monitor_;
  app::OptionsEnvironment wizardEnv_;  // the wizard pages test no links
};

template <typename Dialog, typename Make>
inline void GuiFrontend::ShowDialog(QPointer<Dialog>& dialog, Make make) {
  if (dialog.isNull()) {
    dialog = make();
    dialog->setAttribute(Qt::WA_DeleteOnClose);
  }
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

}  // namespace corvina::ui
