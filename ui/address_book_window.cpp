#include "ui/address_book_window.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QToolBar>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>

#include "app/progress/contacts_import.h"
#include "contacts/contact_rules.h"
#include "contacts/contacts_csv.h"
#include "ui/contact_dialog.h"
#include "ui/qt_text.h"

namespace corvina::ui {

namespace {

}  // namespace

AddressBookWindow::AddressBookWindow(contacts::ContactStore& store, AddressBookHooks hooks, QWidget* parent)
    : QMainWindow(parent), store_(store), hooks_(std::move(hooks)) {
  setObjectName("addressBook");
  setWindowTitle("Address Book");
  list_ = new QTreeWidget(this);
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setHeaderLabels({"Name", "Phone Number / Sip Address", "Email Address"});
  setCentralWidget(list_);
  connect(list_, &QTreeWidget::itemActivated, this, [this] { EditContact(); });

  QMenu* menu = menuBar()->addMenu("Menu");
  auto add = [&](const char* text, void (AddressBookWindow::*command)()) {
    QAction* action = menu->addAction(text);
    connect(action, &QAction::triggered, this, command);
    return action;
  };
  QAction* newAction = add("New", &AddressBookWindow::NewContact);
  QAction* editAction = add("Edit", &AddressBookWindow::EditContact);
  QAction* deleteAction = add("Delete", &AddressBookWindow::DeleteContacts);
  menu->addSeparator();
  add("Import Addresses...", &AddressBookWindow::ImportAddresses);
  add("Export Addresses...", &AddressBookWindow::ExportAddresses);
  menu->addSeparator();
  QAction* dialAction = add("Dial", &AddressBookWindow::DialContact);
  add("Add to Auto Intercom", &AddressBookWindow::AddToAutoIntercom)->setEnabled(static_cast<bool>(hooks_.addToAutoIntercom));
  for (bool invite : {false, true}) {
    QAction* mail = menu->addAction(invite ? "Invite Friends" : "Send Mail");
    mail->setEnabled(static_cast<bool>(hooks_.mail));
    connect(mail, &QAction::triggered, this, [this, invite] {
      const int index = SelectedIndex();
      if (index >= 0 && hooks_.mail) hooks_.mail(store_.At(static_cast<std::size_t>(index)).email, invite);
    });
  }
  menu->addSeparator();
  connect(menu->addAction("Close"), &QAction::triggered, this, &QWidget::close);

  QToolBar* tools = addToolBar("Contacts");
  const std::pair<QAction*, const char*> tips[] = {{newAction, "Add new contact"},
                                                   {editAction, "Edit contact details"},
                                                   {deleteAction, "Delete the selected contact"},
                                                   {dialAction, "Call the selected contact"}};
  for (const auto& [action, tip] : tips) {
    QAction* button = tools->addAction(action->text());
    button->setToolTip(tip);
    connect(button, &QAction::triggered, action, &QAction::trigger);
  }
  resize(360, 420);
  Refill();
}

void AddressBookWindow::Refill() {
  list_->clear();
  for (std::size_t i = 0, n = store_.Count(); i < n; ++i) {
    const contacts::Contact c = store_.At(i);
    auto* item = new QTreeWidgetItem(
        list_, QStringList{ToQt(contacts::DisplayName(c.firstName, c.lastName)), ToQt(c.phone), ToQt(c.email)});
    item->setData(0, Qt::UserRole, static_cast<qlonglong>(store_.IdAt(i)));
  }
  list_->header()->resizeSections(QHeaderView::ResizeToContents);
}

int AddressBookWindow::SelectedIndex() const {
  QTreeWidgetItem* item = list_->currentItem();
  if (item == nullptr || !item->isSelected()) return -1;
  return list_->indexOfTopLevelItem(item);
}

void AddressBookWindow::Changed() {
  if (hooks_.changed) hooks_.changed();
  Refill();
}

void AddressBookWindow::NewContact() {
  ContactDialog dialog(this, false, {}, [this](const contacts::Contact& c) {
    return contacts::SaveContact(store_, c, std::nullopt).value_or(std::string());
  });
  if (dialog.exec() == QDialog::Accepted) Changed();
}

void AddressBookWindow::EditContact() {
  const int index = SelectedIndex();
  if (index < 0) return;
  ContactDialog dialog(this, true, store_.At(static_cast<std::size_t>(index)), [this, index](const contacts::Contact& c) {
    return contacts::SaveContact(store_, c, static_cast<std::size_t>(index)).value_or(std::string());
  });
  if (dialog.exec() == QDialog::Accepted) Changed();
}

void AddressBookWindow::DeleteContacts() {
  std::vector<int> rows;
  for (QTreeWidgetItem* item : list_->selectedItems()) rows.push_back(list_->indexOfTopLevelItem(item));
  if (rows.empty()) return;
  if (QMessageBox::question(this, "Confirm Delete", "Are you sure you want to delete the selected contact(s)?",
                            QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok) {
    return;
  }
  // Highest position first, by identifier, so the earlier rows keep their places.
  std::sort(rows.rbegin(), rows.rend());
  if (hooks_.changed) hooks_.changed();
  for (int row : rows) {
    const long id = list_->topLevelItem(row)->data(0, Qt::UserRole).toLongLong();
    if (hooks_.deleteContact) {
      hooks_.deleteContact(id);
    } else {
      store_.Delete(id);
    }
  }
  Changed();
}

void AddressBookWindow::DialContact() {
  const int index = SelectedIndex();
  if (index >= 0 && hooks_.dial) hooks_.dial(store_.At(static_cast<std::size_t>(index)).phone);
}

void AddressBookWindow::AddToAutoIntercom() {
  const int index = SelectedIndex();
  if (index < 0 || !hooks_.addToAutoIntercom) return;
  const contacts::Contact c = store_.At(static_cast<std::size_t>(index));
  if (auto refusal = hooks_.addToAutoIntercom(contacts::DisplayName(c.firstName, c.lastName), c.phone)) {
    QMessageBox::warning(this, ToQt(refusal->title), ToQt(refusal->text));
  }
}

std::string AddressBookWindow::AskFile(bool save) {
  const QString start = hooks_.saveFolder ? ToQt(hooks_.saveFolder()) : QString();
  const QString filter = "CSV Files(*.csv);;All Files(*.*)";
  for (;;) {
    const QString chosen =
        save ? QFileDialog::getSaveFileName(this, "CSV File to Export To", start, filter, nullptr,
                                            QFileDialog::DontConfirmOverwrite)
             : QFileDialog::getOpenFileName(this, "CSV File to Import Addresses from", start, filter);
    if (chosen.isEmpty()) return {};
    if (hooks_.setSaveFolder) hooks_.setSaveFolder(QFileInfo(chosen).absolutePath().toStdString());
    if (!save || !QFileInfo::exists(chosen)) return chosen.toStdString();
    const auto answer = QMessageBox::question(this, "Export Addresses",
                                              "The selected file already exists. Do you wish to overwrite it",
                                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Yes) return chosen.toStdString();
    if (answer == QMessageBox::Cancel) return {};
  }
}

void AddressBookWindow::ExportAddresses() {
  const std::string path = AskFile(true);
  if (path.empty()) return;
  std::string error;
  if (!contacts::ExportContactsCsv(store_, path, error)) QMessageBox::warning(this, "Error", ToQt(error));
}

void AddressBookWindow::ImportAddresses() {
  const std::string path = AskFile(false);
  if (path.empty()) return;
  std::string error;
  const long added = app::ImportContactsInWindow(progress_, store_, path, error);
  if (added < 0) QMessageBox::warning(this, "Error", ToQt(error));
  Changed();
}

}  // namespace corvina::ui
