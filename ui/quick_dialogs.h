// The quick lists' dialogs: "Quick Transfer List" (the address book or the own list, with Add,
// Edit and Remove), "Add Quick Transfer" (name and number with cue texts), the auto-intercom
// list, and the hotkey list with "Set Command". Every rule (refusals, holes, the clash of a
// hotkey with the window's keys) is the lists' own (contacts/quick_lists.h); a refusal shows
// its box and the dialog stays open. Qt main thread only.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "contacts/quick_lists.h"
#include "platform/settings.h"

class QKeySequenceEdit;
class QLineEdit;
class QRadioButton;
class QTreeWidget;

namespace corvina::ui {

// Shows a refusal's box over `parent`; false when there was none.
bool ShowRefusal(QWidget* parent, const std::optional<contacts::Refusal>& refusal);

// A name and a number ("Add Quick Transfer"); OK hands them to the save function.
class NamedNumberDialog final : public QDialog {
 public:
  using Save = std::function<std::optional<contacts::Refusal>(const std::string& name, const std::string& number)>;
  NamedNumberDialog(QWidget* parent, const QString& title, const contacts::NamedNumber& start, Save save);
  void accept() override;
  QLineEdit* NameField() const { return name_; }
  QLineEdit* NumberField() const { return number_; }

 private:
  Save save_;
  QLineEdit* name_ = nullptr;
  QLineEdit* number_ = nullptr;
};

// The quick-transfer list (with the address-book choice) or the auto-intercom list.
class NamedListDialog final : public QDialog {
 public:
  NamedListDialog(QWidget* parent, platform::Settings& settings, bool quickTransfer);

  void Refill();
  // The buttons' commands; Add starts with `number` in the number field.
  void Add(const std::string& number = {});
  void Edit();
  void Remove();
  QTreeWidget* List() const { return list_; }
  QRadioButton* AddressBookChoice() const { return useBook_; }

 private:
  contacts::NamedNumber Selected() const;
  void Open(const QString& title, std::optional<int> entry, const contacts::NamedNumber& start);

  platform::Settings& settings_;
  bool quickTransfer_;
  contacts::NamedNumberList entries_;
  QTreeWidget* list_ = nullptr;
  QRadioButton* useBook_ = nullptr;  // quick transfer only
};

// "Set Command": the key a hotkey is pressed with, and what it does while it is held.
class SetCommandDialog final : public QDialog {
 public:
  using Save = std::function<std::optional<contacts::Refusal>(std::uint32_t stored)>;
  SetCommandDialog(QWidget* parent, std::optional<std::uint32_t> current, const QString& command, Save save);
  void accept() override;
  QKeySequenceEdit* KeyField() const { return key_; }

 private:
  Save save_;
  QKeySequenceEdit* key_ = nullptr;
};

// The hotkey list: hotkey k holds Intercom toward auto-intercom entry k (list positions).
// `saved` runs after every change (the window registers the list again).
class HotkeyListDialog final : public QDialog {
 public:
  HotkeyListDialog(QWidget* parent, platform::Settings& settings, std::function<void()> saved);

  void Refill();
  void Add();
  void SetCommand();
  void Remove();
  QTreeWidget* List() const { return list_; }

 private:
  // The command hotkey `position` runs, as shown.
  QString CommandText(int position) const;
  void Edit(int entry, std::optional<std::uint32_t> current, int position);

  platform::Settings& settings_;
  std::function<void()> saved_;
  QTreeWidget* list_ = nullptr;
};

}  // namespace corvina::ui
