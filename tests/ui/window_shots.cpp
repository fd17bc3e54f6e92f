// Pictures of the main window for the documentation: portrait and landscape, idle, with the
// first menu open; the smallest window (300x400) with the status pane; the address book, the
// contact dialog refusing an e-mail address, and the import's progress window over the address
// book; the quick lists' dialogs and the Transfer button's pop-up; the About box and the user
// manual's first page; the Options dialog. Run on a real X display (xvfb-run); writes
// FOLDER/main-window-{portrait,landscape,status}.png,
// FOLDER/{address-book,contact-dialog-refusal,import-progress}.png,
// FOLDER/{quick-transfer-list,add-quick-transfer,hotkeys,transfer-pop-up}.png,
// FOLDER/{about-box,manual}.png, FOLDER/options-{audio,lines,net1,net2,record,hold}.png (Lines
// with a modified line's bold button) and FOLDER/options-advanced.png; the e-mail windows:
// FOLDER/{email-settings,compose-mail,send-recording}.png.
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QScreen>
#include <QTextBrowser>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <initializer_list>

#include "app/controller/status_display.h"
#include "app/controller/transfer_menu.h"
#include "app/program_objects.h"
#include "contacts/contact_rules.h"
#include "contacts/ini_contact_store.h"
#include "platform/clock.h"
#include "platform/memory_settings_store.h"
#include "ui/about_box.h"
#include "ui/address_book_window.h"
#include "ui/options_dialog.h"
#include "ui/contact_dialog.h"
#include "ui/mail_dialogs.h"
#include "ui/qt_main_view.h"
#include "ui/qt_progress.h"
#include "ui/quick_dialogs.h"

namespace {

void Settle() {
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Shoot(corvina::ui::QtMainView& view, int width, int height, const QString& file, bool withMenu = true) {
  view.setGeometry(0, 0, width, height);
  view.show();
  Settle();
  QMenuBar* bar = view.menuBar();
  QAction* first = bar->actions().value(0);
  if (first == nullptr || first->menu() == nullptr) return false;
  // The menu opens beside the window so that it hides nothing of the panel; the picture is
  // taken from the screen, since the open menu is a window of its own.
  const QRect frame = view.frameGeometry();
  if (withMenu) first->menu()->popup(QPoint(frame.right() + 8, view.mapToGlobal(bar->geometry().bottomLeft()).y()));
  Settle();
  const int menuWidth = withMenu ? first->menu()->width() + 16 : 0;
  QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width() + menuWidth,
                                                              frame.height());
  first->menu()->hide();
  return shot.save(file, "PNG");
}

// The screen's pixels under `widgets` (their frames' bounding box, plus `margin`).
bool ShootScreen(std::initializer_list<const QWidget*> widgets, const QString& file, int margin = 0) {
  QRect area;
  for (const QWidget* w : widgets) area |= w->frameGeometry();
  area.adjust(-margin, -margin, margin, margin);
  return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(file, "PNG");
}

// The address book with a few contacts, the contact dialog's refusal and the import's progress.
bool ShootContacts(const QString& folder) {
  QTemporaryDir dir;
  corvina::contacts::IniContactStore store(dir.filePath("contacts.ini").toStdString());
  store.AddAll({{"Ada", "Lovelace", "sip:ada@127.0.0.1", "ada@example.org"},
                {"Grace", "Hopper", "200", "grace@example.org"},
                {"", "Turing", "sip:alan@127.0.0.1:5062", ""},
                {"Edsger", "Dijkstra", "300", ""}});
  corvina::ui::AddressBookWindow book(store, {});
  book.setGeometry(20, 40, 520, 300);
  book.show();
  Settle();
  bool ok = ShootScreen({&book}, folder + "/address-book.png");

  corvina::ui::ContactDialog dialog(&book, false, {"Ann", "Lee", "100", "ann@example.c"},
                                    [](const corvina::contacts::Contact&) { return std::string(corvina::contacts::kInvalidEmailText); });
  dialog.move(book.frameGeometry().right() + 40, 40);
  dialog.show();
  Settle();
  QTimer::singleShot(200, [&] {
    QWidget* box = QApplication::activeModalWidget();
    if (box == nullptr) return;
    box->move(dialog.frameGeometry().left(), dialog.frameGeometry().bottom() + 12);  // beside, not over it
    dialog.repaint();
    Settle();
    ok = ShootScreen({&dialog, box}, folder + "/contact-dialog-refusal.png", 8) && ok;
    box->close();
  });
  dialog.accept();  // the refusal box, until the timer has taken its picture
  dialog.hide();

  corvina::ui::QtProgressWindow progress(&book);
  progress.Run("Importing Contacts", [&](corvina::app::ProgressSink& sink) {
    sink.SetText("Given1000 Family1000", 0);
    sink.SetFraction(0.5);
    progress.Dialog()->move(book.geometry().center() - QPoint(150, 60));
    Settle();
    ok = ShootScreen({&book, progress.Dialog()}, folder + "/import-progress.png") && ok;
    return corvina::app::WaitResult::kDone;
  });
  return ok;
}

// The quick-transfer list, "Add Quick Transfer" with its cue texts, the hotkey list with "Set
// Command", and the Transfer pop-up under the button during a call.
bool ShootQuickLists(corvina::ui::QtMainView& view, const QString& folder) {
  using namespace corvina;
  QTemporaryDir dir;
  app::ProgramObjects program(platform::PhonePaths{dir.filePath("registry.db").toStdString(),
                                                   dir.filePath("Documents").toStdString(), dir.filePath("run").toStdString()});
  contacts::NamedNumberList quick(program.settings, contacts::kQuickTransferList);
  quick.Save(std::nullopt, "Reception", "200");
  quick.Save(std::nullopt, "Grace Hopper", "sip:grace@127.0.0.1");
  quick.Save(std::nullopt, "", "301");
  contacts::NamedNumberList intercom(program.settings, contacts::kAutoIntercomList);
  intercom.Save(std::nullopt, "Front Desk", "210");
  intercom.Save(std::nullopt, "Store Room", "211");
  contacts::HotkeyList(program.settings).Set(0, 3 * 65536 + 'I');
  contacts::HotkeyList(program.settings).Set(1, 0x78);

  ui::NamedListDialog list(nullptr, program.settings, true);
  list.move(20, 40);
  list.show();
  ui::NamedNumberDialog add(nullptr, "Add Quick Transfer", {}, {});
  add.move(list.frameGeometry().right() + 40, 40);
  add.show();
  ui::HotkeyListDialog hotkeys(nullptr, program.settings, {});
  hotkeys.move(20, list.frameGeometry().bottom() + 40);
  hotkeys.show();
  ui::SetCommandDialog command(nullptr, 3 * 65536 + 'I', "Intercom to Front Desk <210>", {});
  Settle();
  command.move(hotkeys.frameGeometry().right() + 40, hotkeys.frameGeometry().top());
  command.show();
  Settle();
  bool ok = ShootScreen({&list}, folder + "/quick-transfer-list.png") &&
            ShootScreen({&add}, folder + "/add-quick-transfer.png") &&
            ShootScreen({&hotkeys, &command}, folder + "/hotkeys.png", 8);
  for (QWidget* w : std::initializer_list<QWidget*>{&list, &add, &hotkeys, &command}) w->hide();

  view.ShowStatusWindow(false);
  view.setGeometry(0, 0, 480, 800);
  view.show();
  Settle();
  view.ShowTransferMenu(app::BuildTransferMenu(program.settings, nullptr, true));
  Settle();
  ok = view.TransferPopup() != nullptr && ShootScreen({&view, view.TransferPopup()}, folder + "/transfer-pop-up.png") && ok;
  view.TransferPopup()->hide();
  return ok;
}

// The About box, and the manual's first page as a browser shows it.
bool ShootHelp(const QString& folder) {
  QMessageBox* box = corvina::ui::OpenAboutBox(nullptr);
  box->move(40, 40);
  Settle();
  bool ok = ShootScreen({box}, folder + "/about-box.png");
  box->close();
  QTextBrowser manual;
  manual.setSource(QUrl::fromLocalFile(CORVINA_MANUAL));
  manual.setGeometry(20, 40, 760, 860);
  manual.show();
  Settle();
  return ShootScreen({&manual}, folder + "/manual.png") && ok;
}

// Each tab of the Options dialog, Lines showing a line with its own outbound server.
bool ShootOptions(const QString& folder) {
  corvina::platform::MemorySettingsStore store;
  corvina::platform::Settings settings(store);
  settings.SetSettingString("Line1", "UseDefault", "0");
  settings.SetSettingString("Line1", "DisplayName", "Front Desk");
  settings.SetSettingString("Line1", "UserName", "100");
  settings.SetSettingString("Line1", "Proxy", "registrar.example.net");
  settings.SetSettingString("Line1", "ProxyPassword", "secret");
  settings.SetSettingString("Line1", "UseOutboundServer", "1");
  settings.SetSettingString("Line1", "OutboundServer", "proxy.example.net");
  corvina::app::OptionsEnvironment env;
  env.recordingsFolder = "/home/user/Documents/Corvina";
  corvina::ui::OptionsDialog dialog(settings, env, {{}, {}, {}, {}, {"Default Sound In"}, {"Default Sound Out"}}, 0, nullptr);
  dialog.move(40, 40);
  dialog.show();
  bool ok = true;
  const char* names[] = {"audio", "lines", "net1", "net2", "record", "hold"};
  for (int i = 0; i < dialog.Tabs()->count(); ++i) {
    dialog.Tabs()->setCurrentIndex(i);
    Settle();
    ok = ShootScreen({&dialog}, folder + "/options-" + names[i] + ".png") && ok;
  }
  dialog.Tabs()->setCurrentIndex(1);
  dialog.AdvancedButton()->click();
  QDialog* advanced = dialog.AdvancedDialog();
  if (advanced == nullptr) return false;
  advanced->move(dialog.frameGeometry().right() + 20, 40);
  Settle();
  ok = ShootScreen({advanced}, folder + "/options-advanced.png") && ok;
  advanced->close();
  return ok;
}

// Email Settings with authentication on (its note shown), an invitation being written and a
// recording about to be sent.
bool ShootMail(const QString& folder) {
  using namespace corvina;
  platform::MemorySettingsStore store;
  platform::Settings settings(store);
  settings.SetSettingString("Email", "UseMAPI", "0");
  settings.SetSettingString("Email", "MailSMTPHost", "mail.example.net:587");
  settings.SetSettingString("Email", "SMTPAuthOn", "1");
  settings.SetSettingString("Email", "SMTPUserName", "ann");
  settings.SetSettingString("Email", "ReplyToEmail", "ann@example.net");
  app::OptionsEnvironment env;
  ui::EmailSettingsDialog email(settings, env, nullptr);
  email.move(20, 40);
  email.show();
  ui::ComposeMailDialog compose(ui::ComposeMailDialog::Kind::kInvitation, "grace@example.org", {}, settings, {},
                                nullptr);
  compose.move(email.frameGeometry().right() + 30, 40);
  compose.show();
  ui::ComposeMailDialog recording(ui::ComposeMailDialog::Kind::kRecording, "ada@example.org",
                                  "/home/user/Documents/Corvina/Call 200 2026-12-08 0910.wav", settings, {}, nullptr);
  recording.move(20, email.frameGeometry().bottom() + 30);
  recording.show();
  Settle();
  return ShootScreen({&email}, folder + "/email-settings.png") &&
         ShootScreen({&compose}, folder + "/compose-mail.png") &&
         ShootScreen({&recording}, folder + "/send-recording.png");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ui_window_shots FOLDER\n");
    return 2;
  }
  QApplication app(argc, argv);
  corvina::platform::SystemWallClock clock;
  corvina::app::StatusDisplay display(clock);
  corvina::ui::QtMainView view;
  view.PaintDisplay(display.Paint());
  // A number typed: Call has something to do and Hang up would clear it.
  view.SetDialText("sip:200@127.0.0.1");
  view.SetButtonImage(corvina::app::ControlId::kCall, corvina::app::ButtonImage::kCallSomethingToDo, false);
  view.SetButtonImage(corvina::app::ControlId::kHangUp, corvina::app::ButtonImage::kHangUpClearText, false);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const bool ok = Shoot(view, 480, 800, folder + "/main-window-portrait.png") &&
                  Shoot(view, 900, 520, folder + "/main-window-landscape.png");
  // The status pane with the lines' registration above the activity entries.
  view.ShowStatusWindow(true);
  view.RegistrationText()->setText("Line 1: sip:100@registrar.example.net:5060 - not registered\nLine 2: -");
  for (const char* entry : {"23:10:02 Register authorization failed for sip:100@registrar.example.net:5060",
                            "23:10:02 Error returned : 401 Unauthorized"}) {
    (new QListWidgetItem(entry, view.StatusWindowList()))->setForeground(QColor(0xF0, 0xF0, 0xF0));
  }
  const bool status = ok && Shoot(view, 300, 400, folder + "/main-window-status.png", false);
  view.hide();
  const bool quick = ShootQuickLists(view, folder);
  return status && ShootContacts(folder) && quick && ShootHelp(folder) && ShootOptions(folder) && ShootMail(folder) ? 0 : 1;
}
