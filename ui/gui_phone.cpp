#include "ui/gui_phone.h"

#include <QApplication>

#include "app/phone_entry.h"
#include "contacts/quick_lists.h"
#include "platform/product.h"
#include "platform/termination_signals.h"
#include "ui/about_box.h"
#include "ui/gui_frontend.h"

namespace corvina::ui {

bool GuiFrontend::CreateWindow(app::MainWindow& window) {
  if (termination_.Fd() >= 0) {
    // SIGINT and SIGTERM close the window like the Exit command does.
    signalNotifier_ = std::make_unique<QSocketNotifier>(termination_.Fd(), QSocketNotifier::Read);
    QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, [this] {
      if (termination_.Take() != 0) view_.close();
    });
  }
  view_.Attach(&window);
  input_ = std::make_unique<ControllerInput>(window);
  input_->SetWindowCommand(kAddressBookCommand, [this, &window] { OpenAddressBook(window); });
  input_->SetWindowCommand(kAboutCommand, [this] { ShowAbout(); });
  view_.SetInput(input_.get());
  view_.showMaximized();
  return true;
}

void GuiFrontend::OpenAddressBook(app::MainWindow& window) {
  if (!addressBook_) {
    contacts::ContactStore* store = window.Contacts();
    if (store == nullptr) return;  // the phone has not started yet
    platform::Settings& settings = window.Program().settings;
    AddressBookHooks hooks;
    hooks.dial = [&window](const std::string& number) {
      if (app::PhoneController* phone = window.Phone()) {
        phone->EnterDialText(number);
        phone->Dial(false);
      }
    };
    hooks.saveFolder = [&settings] { return settings.GetSettingString("Settings", "SaveFolder", ""); };
    hooks.setSaveFolder = [&settings](const std::string& folder) {
      settings.SetSettingString("Settings", "SaveFolder", folder);
    };
    hooks.deleteContact = [store, &settings](long id) { return contacts::DeleteContact(*store, settings, id); };
    addressBook_ = std::make_unique<AddressBookWindow>(*store, std::move(hooks), &view_);
    addressBook_->setWindowFlag(Qt::Window);
  }
  addressBook_->Refill();
  addressBook_->show();
  addressBook_->raise();
  addressBook_->activateWindow();
}

void GuiFrontend::ShowAbout() { OpenAboutBox(&view_); }

void GuiFrontend::DestroyWindow() {
  addressBook_.reset();
  view_.SetInput(nullptr);
  input_.reset();
  view_.Attach(nullptr);
}

int RunGuiPhone(int argc, char** argv, app::ProgramObjects& program, platform::TerminationSignals& termination,
                const std::optional<platform::DialRequest>& dial) {
  // RunPhone() stops every worker and detaches the loop before it returns, so nothing touches
  // the application object or the window after they are gone.
  QApplication app(argc, argv);
  app.setApplicationName(QString::fromUtf8(platform::kProductName.data(), platform::kProductName.size()));
  GuiFrontend frontend(app, termination);
  return app::RunPhone(program, frontend, dial);
}

}  // namespace corvina::ui
