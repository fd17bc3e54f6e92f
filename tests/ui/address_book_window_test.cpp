// The address book window over a real contacts file: its columns, rows in store order, toolbar
// tooltips and menu; the contact dialog shows the save function's refusal and stays open, and
// the deletion asks first and removes the selected contacts. The import of 2,000 rows through
// the file dialog and the progress window, and a second one stopped half-way by closing the
// window, which keeps the rows imported so far and leaves a whole file.
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QProgressBar>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <fstream>
#include <functional>

#include "app/program_objects.h"
#include "contacts/ini_contact_store.h"
#include "contacts/profile_file.h"
#include "tests/support/poll_until.h"
#include "tests/support/temp_folder.h"
#include "ui/address_book_window.h"
#include "ui/contact_dialog.h"
#include "ui/controller_input.h"
#include "ui/gui_frontend.h"
#include "ui/qt_main_view.h"

namespace corvina::ui {
namespace {

// Answers the next modal box with `button` once it shows, and notes its text.
void AnswerNextBox(QMessageBox::StandardButton button, QString* text) {
  QTimer::singleShot(0, [button, text] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    *text = box->text();
    box->button(button)->click();
  });
}

TEST(AddressBookWindow, ListsContactsWithToolTipsMenuAndDeletes) {
  corvina::testing::TempFolder folder;
  contacts::IniContactStore store((folder.Path() / "contacts.ini").string());
  ASSERT_EQ(store.Add({"Ada", "Lovelace", "sip:ada@127.0.0.1", "ada@example.org"}), 0);
  ASSERT_EQ(store.Add({"", "Turing", "200", ""}), 1);
  int changes = 0;
  std::string intercom;
  AddressBookWindow window(store, AddressBookHooks{.changed = [&] { ++changes; },
                                                   .addToAutoIntercom = [&](const std::string& name, const std::string& number) {
                                                     intercom = name + " " + number;
                                                     return std::optional<contacts::Refusal>();
                                                   }});
  window.show();
  QTreeWidget* list = window.List();
  QStringList headers;
  for (int i = 0; i < list->columnCount(); ++i) headers << list->headerItem()->text(i);
  EXPECT_EQ(headers, (QStringList{"Name", "Phone Number / Sip Address", "Email Address"}));
  ASSERT_EQ(list->topLevelItemCount(), 2);
  EXPECT_EQ(list->topLevelItem(0)->text(0), "Ada Lovelace");
  EXPECT_EQ(list->topLevelItem(0)->text(1), "sip:ada@127.0.0.1");
  EXPECT_EQ(list->topLevelItem(0)->text(2), "ada@example.org");
  EXPECT_EQ(list->topLevelItem(1)->text(0), " Turing");

  QStringList tips;
  for (QAction* a : window.findChild<QToolBar*>()->actions()) tips << a->toolTip();
  EXPECT_EQ(tips, (QStringList{"Add new contact", "Edit contact details", "Delete the selected contact",
                               "Call the selected contact"}));
  QStringList menu;
  for (QAction* a : window.menuBar()->actions().at(0)->menu()->actions()) {
    if (!a->isSeparator()) menu << a->text();
  }
  EXPECT_EQ(menu, (QStringList{"New", "Edit", "Delete", "Import Addresses...", "Export Addresses...", "Dial",
                               "Add to Auto Intercom", "Send Mail", "Invite Friends", "Close"}));

  list->setCurrentItem(list->topLevelItem(0));
  window.AddToAutoIntercom();
  EXPECT_EQ(intercom, "Ada Lovelace sip:ada@127.0.0.1");
  QString asked;
  AnswerNextBox(QMessageBox::Cancel, &asked);
  window.DeleteContacts();
  EXPECT_EQ(asked, "Are you sure you want to delete the selected contact(s)?");
  EXPECT_EQ(store.Count(), 2u);
  AnswerNextBox(QMessageBox::Ok, &asked);
  window.DeleteContacts();
  ASSERT_EQ(list->topLevelItemCount(), 1);
  EXPECT_EQ(list->topLevelItem(0)->text(0), " Turing");
  EXPECT_EQ(store.Count(), 1u);
  EXPECT_GE(changes, 1);
}

// Picks `path` in the file dialog about to open, then runs `then` once the import has begun.
void ChooseFile(const std::string& path, std::function<void()> then) {
  QTimer::singleShot(0, [path, then] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->selectFile(QString::fromStdString(path));
    static_cast<QDialog*>(dialog)->accept();  // public in QDialog
    QTimer::singleShot(0, then);
  });
}

// Contacts "Given<i>" / "Family<i>" for first <= i < first + n.
std::string Rows(int first, int n) {
  std::string csv;
  for (int i = first; i < first + n; ++i) {
    csv += "\"Given" + std::to_string(i) + "\",\"Family" + std::to_string(i) + "\",\"" + std::to_string(i) + "\",\"\"\r\n";
  }
  return csv;
}

TEST(AddressBookWindow, ImportsTwoThousandRowsAndClosingTheWindowCancelsHalfWay) {
  corvina::testing::TempFolder folder;
  const std::string book = (folder.Path() / "contacts.ini").string();
  std::ofstream(folder.Path() / "a.csv", std::ios::binary) << Rows(0, 2000);
  std::ofstream(folder.Path() / "b.csv", std::ios::binary) << Rows(2000, 2000);
  contacts::IniContactStore store(book);
  AddressBookWindow window(store, AddressBookHooks{});
  window.show();
  ChooseFile((folder.Path() / "a.csv").string(), [] {});
  window.ImportAddresses();
  EXPECT_EQ(window.List()->topLevelItemCount(), 2000);
  // The second file: the window is closed when the bar reaches the middle.
  ChooseFile((folder.Path() / "b.csv").string(), [&window] {
    auto* bar = window.findChild<QDialog*>("progressDialog")->findChild<QProgressBar*>();
    QObject::connect(bar, &QProgressBar::valueChanged, &window, [&window](int value) {
      if (value >= 50) window.close();
    });
  });
  window.ImportAddresses();
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.findChild<QDialog*>("progressDialog"), nullptr);
  // The rows before the close stay, in order, and the file holds exactly them.
  const std::size_t n = store.Count();
  EXPECT_GT(n, 2900u);
  EXPECT_LT(n, 3100u);
  EXPECT_EQ(store.At(n - 1).firstName, "Given" + std::to_string(n - 1));
  const contacts::ProfileData disk = contacts::ParseProfile(corvina::testing::ReadFile(book));
  ASSERT_EQ(disk.size(), 1u);
  EXPECT_EQ(disk[0].Find("entrycount")->value, std::to_string(n));
  EXPECT_EQ(disk[0].Keys().size(), 1 + 4 * n);  // id, first and last name, number
  EXPECT_EQ(disk[0].Find("entry" + std::to_string(n - 1) + "lastname")->value, "Family" + std::to_string(n - 1));
}

TEST(ContactDialog, ShowsTheRefusalAndStaysThenSavesTrimmed) {
  std::vector<contacts::Contact> offered;
  ContactDialog dialog(nullptr, false, {}, [&](const contacts::Contact& c) {
    offered.push_back(c);
    return offered.size() == 1 ? std::string("The Username is Invalid.") : std::string();
  });
  EXPECT_EQ(dialog.windowTitle(), "Add New Contact");
  const auto fields = dialog.findChildren<QLineEdit*>();
  ASSERT_EQ(fields.size(), 4);
  fields[1]->setText("  Hopper ");
  fields[2]->setText(" 300");
  dialog.show();
  QString refusal;
  AnswerNextBox(QMessageBox::Ok, &refusal);
  dialog.accept();
  EXPECT_EQ(refusal, "The Username is Invalid.");
  EXPECT_TRUE(dialog.isVisible());
  dialog.accept();
  EXPECT_FALSE(dialog.isVisible());
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_EQ(offered[1], (contacts::Contact{"", "Hopper", "300", ""}));
}

TEST(AddressBookWindow, TheMenuCommandOpensItInsteadOfTheController) {
  corvina::testing::TempFolder folder;
  app::ProgramObjects program(platform::PhonePaths{(folder.Path() / "registry.db").string(),
                                                   (folder.Path() / "Documents").string(),
                                                   (folder.Path() / "run").string()});
  QtMainView view;
  app::MainWindow window(program, view);
  ControllerInput input(window);
  int opened = 0;
  input.SetWindowCommand(GuiFrontend::kAddressBookCommand, [&] { ++opened; });
  input.OnCommand(2001);
  EXPECT_EQ(opened, 1);
}

}  // namespace
}  // namespace corvina::ui
