#include "ui/quick_dialogs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/controller/transfer_menu.h"
#include "ui/key_rule.h"
#include "ui/qt_text.h"

namespace corvina::ui {
namespace {

constexpr int kMaxFieldChars = 259;


QTreeWidget* MakeList(QWidget* parent, const QStringList& columns) {
  auto* list = new QTreeWidget(parent);
  list->setRootIsDecorated(false);
  list->setHeaderLabels(columns);
  list->setObjectName("entries");
  return list;
}

// A column of buttons beside a list, each running `command`.
QVBoxLayout* MakeButtons(QDialog* dialog, std::initializer_list<std::pair<const char*, std::function<void()>>> commands) {
  auto* column = new QVBoxLayout;
  for (const auto& [text, command] : commands) {
    auto* button = new QPushButton(text, dialog);
    button->setObjectName(QString(text).remove('.').remove(' '));
    QObject::connect(button, &QPushButton::clicked, dialog, command);
    column->addWidget(button);
  }
  column->addStretch();
  auto* close = new QPushButton("Close", dialog);
  QObject::connect(close, &QPushButton::clicked, dialog, &QDialog::accept);
  column->addWidget(close);
  return column;
}

int SelectedRow(const QTreeWidget* list) {
  QTreeWidgetItem* item = list->currentItem();
  return item == nullptr || !item->isSelected() ? -1 : list->indexOfTopLevelItem(item);
}

}  // namespace

bool ShowRefusal(QWidget* parent, const std::optional<contacts::Refusal>& refusal) {
  if (!refusal) return false;
  QMessageBox::warning(parent, ToQt(refusal->title), ToQt(refusal->text));
  return true;
}

NamedNumberDialog::NamedNumberDialog(QWidget* parent, const QString& title, const contacts::NamedNumber& start,
                                     Save save)
    : QDialog(parent), save_(std::move(save)) {
  setObjectName("namedNumberDialog");
  setWindowTitle(title);
  auto* form = new QFormLayout(this);
  name_ = new QLineEdit(ToQt(start.name), this);
  name_->setPlaceholderText("<Type the name of the person here>");
  number_ = new QLineEdit(ToQt(start.number), this);
  number_->setPlaceholderText("<Type the dial number here>");
  for (QLineEdit* field : {name_, number_}) {
    field->setMaxLength(kMaxFieldChars);
    field->setMinimumWidth(260);
  }
  form->addRow("Name", name_);
  form->addRow("Dial on Number", number_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &NamedNumberDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &NamedNumberDialog::reject);
  form->addRow(buttons);
}

void NamedNumberDialog::accept() {
  if (save_ && ShowRefusal(this, save_(name_->text().toStdString(), number_->text().toStdString()))) return;
  QDialog::accept();
}

NamedListDialog::NamedListDialog(QWidget* parent, platform::Settings& settings, bool quickTransfer)
    : QDialog(parent),
      settings_(settings),
      quickTransfer_(quickTransfer),
      entries_(settings, quickTransfer ? contacts::kQuickTransferList : contacts::kAutoIntercomList) {
  setObjectName(quickTransfer ? "quickTransferList" : "autoIntercomList");
  setWindowTitle(quickTransfer ? "Quick Transfer List" : "Auto Intercom List");
  auto* layout = new QVBoxLayout(this);
  if (quickTransfer) {
    useBook_ = new QRadioButton("Use the contact list in my address book as my quick transfer list", this);
    auto* own = new QRadioButton("Use this contact list:", this);
    (app::QuickTransferUsesAddressBook(settings) ? useBook_ : own)->setChecked(true);
    connect(useBook_, &QRadioButton::toggled, this, [this](bool on) {
      settings_.SetSettingString("Settings", "UseAddressBook", on ? "1" : "0");
    });
    layout->addWidget(useBook_);
    layout->addWidget(own);
  }
  auto* row = new QHBoxLayout;
  list_ = MakeList(this, {"Name", "Number"});
  connect(list_, &QTreeWidget::itemActivated, this, [this] {
    if (quickTransfer_) Edit();
  });
  row->addWidget(list_);
  auto add = [this] { Add(); };
  auto remove = [this] { Remove(); };
  if (quickTransfer) {
    row->addLayout(MakeButtons(this, {{"Add...", add}, {"Edit...", [this] { Edit(); }}, {"Remove", remove}}));
  } else {
    row->addLayout(MakeButtons(this, {{"Add...", add}, {"Remove", remove}}));
  }
  layout->addLayout(row);
  resize(460, 320);
  Refill();
}

void NamedListDialog::Refill() {
  list_->clear();
  for (const contacts::NamedNumber& e : entries_.Entries()) {
    auto* item = new QTreeWidgetItem(list_, {ToQt(e.name), ToQt(e.number)});
    item->setData(0, Qt::UserRole, e.entry);
  }
  list_->header()->resizeSections(QHeaderView::ResizeToContents);
}

contacts::NamedNumber NamedListDialog::Selected() const {
  const int row = SelectedRow(list_);
  if (row < 0) return {};
  QTreeWidgetItem* item = list_->topLevelItem(row);
  return {item->data(0, Qt::UserRole).toInt(), item->text(0).toStdString(), item->text(1).toStdString()};
}

void NamedListDialog::Open(const QString& title, std::optional<int> entry, const contacts::NamedNumber& start) {
  NamedNumberDialog dialog(this, title, start, [this, entry](const std::string& name, const std::string& number) {
    return entries_.Save(entry, name, number);
  });
  if (dialog.exec() == QDialog::Accepted) Refill();
}

void NamedListDialog::Add(const std::string& number) {
  Open(quickTransfer_ ? "Add Quick Transfer" : "Add Auto Intercom", std::nullopt, {-1, {}, number});
}

void NamedListDialog::Edit() {
  const contacts::NamedNumber chosen = Selected();
  if (chosen.entry >= 0) Open("Edit Quick Transfer", chosen.entry, chosen);
}

void NamedListDialog::Remove() {
  const contacts::NamedNumber chosen = Selected();
  if (chosen.entry >= 0 && entries_.Remove(chosen.entry)) Refill();
}

SetCommandDialog::SetCommandDialog(QWidget* parent, std::optional<std::uint32_t> current, const QString& command,
                                   Save save)
    : QDialog(parent), save_(std::move(save)) {
  setObjectName("setCommand");
  setWindowTitle("Set Command");
  auto* form = new QFormLayout(this);
  key_ = new QKeySequenceEdit(this);
  // One key is enough: the first of a sequence is taken.
  connect(key_, &QKeySequenceEdit::editingFinished, this, [this] {
    if (key_->keySequence().count() > 1) key_->setKeySequence(QKeySequence(key_->keySequence()[0]));
  });
  if (current) {
    if (auto hotkey = QtHotkey(0, *current / 65536, *current % 65536)) {
      key_->setKeySequence(QKeySequence(QKeyCombination(hotkey->modifiers, static_cast<Qt::Key>(hotkey->key))));
    }
  }
  form->addRow("Hotkey", key_);
  form->addRow("Command", new QLabel(command, this));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &SetCommandDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SetCommandDialog::reject);
  form->addRow(buttons);
}

void SetCommandDialog::accept() {
  const QKeySequence sequence = key_->keySequence();
  std::optional<std::uint32_t> stored;
  if (!sequence.isEmpty()) stored = StoredHotkey(sequence[0].key(), sequence[0].keyboardModifiers());
  if (!stored) {
    ShowRefusal(this, contacts::Refusal{"Key Required", "Please press the key for this command."});
    return;
  }
  if (save_ && ShowRefusal(this, save_(*stored))) return;
  QDialog::accept();
}

HotkeyListDialog::HotkeyListDialog(QWidget* parent, platform::Settings& settings, std::function<void()> saved)
    : QDialog(parent), settings_(settings), saved_(std::move(saved)) {
  setObjectName("hotkeyList");
  setWindowTitle("Hotkeys");
  auto* row = new QHBoxLayout(this);
  list_ = MakeList(this, {"Hotkey", "Command"});
  connect(list_, &QTreeWidget::itemActivated, this, [this] { SetCommand(); });
  row->addWidget(list_);
  row->addLayout(MakeButtons(this, {{"Add...", [this] { Add(); }},
                                    {"Set Command...", [this] { SetCommand(); }},
                                    {"Remove", [this] { Remove(); }}}));
  resize(460, 300);
  Refill();
}

QString HotkeyListDialog::CommandText(int position) const {
  const auto targets = contacts::NamedNumberList(settings_, contacts::kAutoIntercomList).Entries();
  if (position < 0 || position >= static_cast<int>(targets.size())) {
    return QString("Intercom (auto intercom entry %1 is not set)").arg(position + 1);
  }
  const contacts::NamedNumber& t = targets[static_cast<std::size_t>(position)];
  return "Intercom to " + (t.name.empty() ? ToQt(t.number) : ToQt(t.name) + " <" + ToQt(t.number) + ">");
}

void HotkeyListDialog::Refill() {
  list_->clear();
  int position = 0;
  for (const contacts::HotkeyEntry& e : contacts::HotkeyList(settings_).Entries()) {
    auto* item = new QTreeWidgetItem(list_, {ToQt(HotkeyText(e.key)), CommandText(position++)});
    item->setData(0, Qt::UserRole, e.entry);
    item->setData(1, Qt::UserRole, e.key ? static_cast<qlonglong>(*e.key) : qlonglong{-1});
  }
  list_->header()->resizeSections(QHeaderView::ResizeToContents);
}

void HotkeyListDialog::Edit(int entry, std::optional<std::uint32_t> current, int position) {
  SetCommandDialog dialog(this, current, CommandText(position), [this, entry](std::uint32_t stored) {
    return contacts::HotkeyList(settings_).Set(entry, stored);
  });
  if (dialog.exec() != QDialog::Accepted) return;
  Refill();
  if (saved_) saved_();
}

void HotkeyListDialog::Add() {
  // The first missing entry number: a hole below MaxID, or MaxID itself. The entries before
  // it are numbered 0 … entry − 1, so it lands at list position `entry`.
  int entry = 0;
  for (const contacts::HotkeyEntry& e : contacts::HotkeyList(settings_).Entries()) {
    if (e.entry != entry) break;
    ++entry;
  }
  Edit(entry, std::nullopt, entry);
}

void HotkeyListDialog::SetCommand() {
  const int row = SelectedRow(list_);
  if (row < 0) return;
  QTreeWidgetItem* item = list_->topLevelItem(row);
  const qlonglong key = item->data(1, Qt::UserRole).toLongLong();
  Edit(item->data(0, Qt::UserRole).toInt(), key < 0 ? std::nullopt : std::optional<std::uint32_t>(key), row);
}

void HotkeyListDialog::Remove() {
  const int row = SelectedRow(list_);
  if (row < 0 || !contacts::HotkeyList(settings_).Remove(list_->topLevelItem(row)->data(0, Qt::UserRole).toInt())) {
    return;
  }
  Refill();
  if (saved_) saved_();
}

}  // namespace corvina::ui
