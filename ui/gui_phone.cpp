#include "ui/gui_phone.h"

#include <QApplication>

#include "app/options/program_options.h"
#include "app/phone_entry.h"
#include "contacts/contact_rules.h"
#include "contacts/quick_lists.h"
#include "ui/contact_dialog.h"
#include "platform/product.h"
#include "platform/termination_signals.h"
#include "ui/about_box.h"
#include "ui/gui_frontend.h"
#include "app/wizards/wizard_texts.h"

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
  AddQuickListCommands(window);
  AddMailCommands(window);
  input_->SetWindowCommand(kAboutCommand, [this] { ShowAbout(); });
  for (int command : {kOptionsCommand, kOptionsPrefCommand}) {
    input_->SetWindowCommand(command, [this, &window] {
      // The menu's Options opens at the default line's settings.
      window.Program().settings.SetSettingString("Settings", "LineConfigure", "-1");
      OpenOptions(window, 0);
    });
  }
  input_->SetWindowCommand(kLineOptionsCommand, [this, &window] { OpenOptions(window, 1); });
  view_.SetWizardOpener([this, &window](app::WizardKind kind, std::function<void(bool)> done) {
    return OpenWizard(window, kind, std::move(done));
  });
  view_.SetNetworkTool([&window] {
    window.RunNetworkTool();
    return true;
  });
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
    hooks.addToAutoIntercom = [&settings](const std::string& name, const std::string& number) {
      return contacts::NamedNumberList(settings, contacts::kAutoIntercomList).Save(std::nullopt, name, number);
    };
    hooks.mail = [this, &window](const std::string& email, bool invite) {
      OpenCompose(window, invite ? ComposeMailDialog::Kind::kInvitation : ComposeMailDialog::Kind::kMessage, email,
                  {});
    };
    addressBook_ = std::make_unique<AddressBookWindow>(*store, std::move(hooks), &view_);
    addressBook_->setWindowFlag(Qt::Window);
  }
  addressBook_->Refill();
  addressBook_->show();
  addressBook_->raise();
  addressBook_->activateWindow();
}

void GuiFrontend::AddQuickListCommands(app::MainWindow& window) {
  platform::Settings& settings = window.Program().settings;
  view_.SetQuickTransferListOpener([this, &settings] {
    ShowDialog(quickTransferList_, [&] { return new NamedListDialog(&view_, settings, true); });
  });
  QMenu* menu = view_.ContactsMenu();
  QObject::connect(menu->addAction("Auto &Intercom List"), &QAction::triggered, &view_, [this, &settings] {
    ShowDialog(autoIntercomList_, [&] { return new NamedListDialog(&view_, settings, false); });
  });
  QObject::connect(menu->addAction("Hot&keys"), &QAction::triggered, &view_, [this, &settings, &window] {
    ShowDialog(hotkeyList_, [&] { return new HotkeyListDialog(&view_, settings, [&window] { window.ApplyHotkeys(); }); });
  });
  // The dial box's number into a new contact, or a new quick-transfer entry.
  input_->SetWindowCommand(kAddToAddressBookCommand, [this, &window] {
    contacts::ContactStore* store = window.Contacts();
    if (store == nullptr || window.Phone() == nullptr) return;
    auto* dialog = new ContactDialog(&view_, false, {{}, {}, window.Phone()->DialText(), {}},
                                     [this, store, &window](const contacts::Contact& c) {
                                       auto refusal = contacts::SaveContact(*store, c, std::nullopt);
                                       if (!refusal && addressBook_) addressBook_->Refill();
                                       return refusal.value_or(std::string());
                                     });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
  });
  input_->SetWindowCommand(kAddQuickTransferCommand, [this, &window, &settings] {
    if (window.Phone() == nullptr) return;
    auto* dialog = new NamedNumberDialog(&view_, "Add Quick Transfer", {-1, {}, window.Phone()->DialText()},
                                         [this, &settings](const std::string& name, const std::string& number) {
                                           auto refusal = contacts::NamedNumberList(settings, contacts::kQuickTransferList)
                                                              .Save(std::nullopt, name, number);
                                           if (!refusal && quickTransferList_) quickTransferList_->Refill();
                                           return refusal;
                                         });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
  });
}

void GuiFrontend::ShowAbout() { OpenAboutBox(&view_); }

void GuiFrontend::OpenOptions(app::MainWindow& window, int page) {
  if (options_ && options_->isVisible()) {
    options_->Tabs()->setCurrentIndex(page);
    options_->raise();
    return;
  }
  app::ProgramObjects& program = window.Program();
  optionsProgress_ = std::make_unique<QtProgressWindow>(&view_);
  optionsEnv_ = std::make_unique<app::OptionsEnvironment>(app::MakeProgramOptionsEnvironment(
      program.resolver, program.paths.DataFolder(), optionsProgress_.get(), nullptr));
  optionsEnv_->setSipTrace = [&program](bool on) { program.sipEngine.SetTraceOn(on); };
  OptionsDialogHooks hooks;
  hooks.applied = [&window] {
    if (app::PhoneController* phone = window.Phone()) phone->ApplySettings();
  };
  hooks.viewLogs = [this, &window] { view_.OpenExternal(window.Program().activityLog.Folder()); };
  hooks.runAudioWizard = [&window] {
    if (app::PhoneController* phone = window.Phone()) phone->RunAudioWizard();
  };
  hooks.runNetworkTool = [&window] { window.RunNetworkTool(); };
  hooks.captureChoices = program.audioDevices.CaptureChoices();
  hooks.playbackChoices = program.audioDevices.PlaybackChoices();
  options_ = new OptionsDialog(program.settings, *optionsEnv_, std::move(hooks), page, &view_);
  options_->setAttribute(Qt::WA_DeleteOnClose);
  options_->open();
}

bool GuiFrontend::OpenWizard(app::MainWindow& window, app::WizardKind kind, std::function<void(bool)> done) {
  if (wizard_) {
    wizard_->raise();
    wizard_->activateWindow();
    return true;
  }
  app::ProgramObjects& program = window.Program();
  SetupWizardHooks hooks;
  hooks.captureChoices = program.audioDevices.CaptureChoices();
  hooks.playbackChoices = program.audioDevices.PlaybackChoices();
  hooks.listen = [this, &program](const std::string& device, int volume, std::function<void(int)> level) {
    monitor_.reset();  // one capture device at a time
    monitor_ = std::make_unique<app::MicrophoneMonitor>(program.audioDevices, program.postbox, std::move(level));
    monitor_->Listen(device, volume);
  };
  hooks.stopListening = [this] { monitor_.reset(); };
  hooks.playTest = [&window](const std::string& device, int volume) {
    if (media::TonePlayer* tones = window.Tones()) tones->ToneOn(app::wizard_texts::kTestSoundName, device, volume, false);
  };
  hooks.stopTest = [&window] {
    if (media::TonePlayer* tones = window.Tones()) tones->StopTone();
  };
  hooks.openHelp = [&window](std::string_view topic) {
    // The help topics are sections of the manual: the account pages, or troubleshooting.
    if (app::PhoneController* phone = window.Phone()) phone->OnCommand(topic == app::wizard_texts::kSignUpTopic ? 6028 : 6099);
  };
  wizard_ = new SetupWizard(kind, program.settings, wizardEnv_, std::move(hooks), &view_);
  wizard_->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(wizard_.data(), &QDialog::finished, &view_,
                   [done = std::move(done)](int result) { done(result == QDialog::Accepted); });
  wizard_->open();
  return true;
}

void GuiFrontend::DestroyWindow() {
  if (wizard_) {
    wizard_->disconnect(&view_);  // the controller is gone: nothing more to tell it
    delete wizard_.data();
  }
  monitor_.reset();
  delete options_.data();
  delete emailSettings_.data();
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
