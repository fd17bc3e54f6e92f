// The address book window over a real contacts file: its columns, rows in store order, toolbar
// tooltips and menu; the contact dialog shows the save function's refusal and stays open, and
// the deletion asks first and removes the selected contacts.
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include "app/program_objects.h"
#include "contacts/ini_contact_store.h"
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
  AddressBookWindow window(store, AddressBookHooks{.changed = [&] { ++changes; }});
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
                               "Send Mail", "Invite Friends", "Close"}));

  list->setCurrentItem(list->topLevelItem(0));
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
