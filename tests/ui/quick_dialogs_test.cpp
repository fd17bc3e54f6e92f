// The quick lists' dialogs over a real settings store: a refusal shows its box and the dialog
// stays open for a correction; the hotkey dialog refuses a key the window already uses and
// registers the list again once saved. Stored hotkeys map to Qt keys and back unchanged.
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QKeySequenceEdit>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "app/program_objects.h"
#include "tests/support/temp_folder.h"
#include "ui/key_rule.h"
#include "ui/quick_dialogs.h"

namespace corvina::ui {
namespace {

// Plays on the modal windows as they come up: a message box's title is noted and the box
// closed; the dialog gets the next filling, which ends with its OK.
class ModalPlayer {
 public:
  explicit ModalPlayer(std::vector<std::function<void(QWidget*)>> fills) : fills_(std::move(fills)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Step(); });
    timer_.start(10);
  }
  std::vector<std::string> boxes;

 private:
  void Step() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal->property("busy").toBool()) return;
    modal->setProperty("busy", true);
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      boxes.push_back(box->windowTitle().toStdString());
      QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Ok)->click(); });
    } else if (next_ < fills_.size()) {
      QTimer::singleShot(0, modal, [modal, fill = fills_[next_++]] {
        fill(modal);  // returns once OK is done, a refusal's box included
        modal->setProperty("busy", false);
      });
    }
  }
  std::vector<std::function<void(QWidget*)>> fills_;
  std::size_t next_ = 0;
  QTimer timer_;
};

std::function<void(QWidget*)> Named(const char* name, const char* number) {
  return [=](QWidget* w) {
    auto* d = static_cast<NamedNumberDialog*>(w);
    d->NameField()->setText(name);
    d->NumberField()->setText(number);
    d->accept();
  };
}

std::function<void(QWidget*)> Key(QKeyCombination key) {
  return [=](QWidget* w) {
    auto* d = static_cast<SetCommandDialog*>(w);
    d->KeyField()->setKeySequence(QKeySequence(key));
    d->accept();
  };
}

QStringList Row(QTreeWidget* list, int row) {
  return {list->topLevelItem(row)->text(0), list->topLevelItem(row)->text(1)};
}

TEST(QuickDialogs, RefusalsShowTheirBoxAndTheDialogStaysUntilSaved) {
  corvina::testing::TempFolder folder;
  app::ProgramObjects program(platform::PhonePaths{(folder.Path() / "registry.db").string(),
                                                   (folder.Path() / "Documents").string(),
                                                   (folder.Path() / "run").string()});
  platform::Settings& settings = program.settings;
  NamedListDialog quick(nullptr, settings, true);
  NamedListDialog intercom(nullptr, settings, false);
  int saved = 0;
  HotkeyListDialog hotkeys(nullptr, settings, [&] { ++saved; });
  {
    ModalPlayer player({Named("Ann", ""), Named("Ann", "201"), Named("Ann", "201"), Named("Ann", "202"),
                        Named("Bob\x01", "203"), Named("Bob", "203")});
    quick.Add();
    quick.Add();
    intercom.Add();
    EXPECT_EQ(player.boxes, (std::vector<std::string>{"Number Required", "Existing Contact", "Invalid Characters"}));
  }
  ASSERT_EQ(quick.List()->topLevelItemCount(), 2);
  EXPECT_EQ(Row(quick.List(), 1), (QStringList{"Ann", "202"}));
  ASSERT_EQ(intercom.List()->topLevelItemCount(), 1);
  {
    ModalPlayer player({Key(Qt::ControlModifier | Qt::Key_D), Key(Qt::NoModifier | Qt::Key_5),
                        Key(Qt::ControlModifier | Qt::AltModifier | Qt::Key_I)});
    hotkeys.Add();
    EXPECT_EQ(player.boxes, (std::vector<std::string>{"Hotkey In Use", "Hotkey In Use"}));
  }
  EXPECT_EQ(saved, 1);
  ASSERT_EQ(hotkeys.List()->topLevelItemCount(), 1);
  EXPECT_EQ(Row(hotkeys.List(), 0), (QStringList{"Ctrl+Alt+I", "Intercom to Bob <203>"}));
  EXPECT_EQ(contacts::HotkeyList(settings).Entries().at(0).key, (2u | 1u) * 65536 + 'I');  // as the store writes it
}

TEST(QuickDialogs, StoredHotkeysMapToQtKeysAndBack) {
  const struct {
    std::uint32_t stored;
    int key;
    Qt::KeyboardModifiers modifiers;
    const char* text;
  } cases[] = {{2 * 65536 + 'I', Qt::Key_I, Qt::ControlModifier, "Ctrl+I"},
               {5 * 65536 + 0x70, Qt::Key_F1, Qt::AltModifier | Qt::ShiftModifier, "Alt+Shift+F1"},
               {0x2E, Qt::Key_Delete, Qt::NoModifier, "Del"},
               {8 * 65536 + '5', Qt::Key_5, Qt::MetaModifier, "Win+5"}};
  for (const auto& c : cases) {
    std::optional<WindowHotkey> hotkey = QtHotkey(6, c.stored / 65536, c.stored % 65536);
    ASSERT_TRUE(hotkey) << c.text;
    EXPECT_EQ(hotkey->key, c.key) << c.text;
    EXPECT_EQ(hotkey->modifiers, c.modifiers) << c.text;
    EXPECT_EQ(StoredHotkey(c.key, c.modifiers), c.stored) << c.text;
    EXPECT_EQ(HotkeyText(c.stored), c.text);
  }
  EXPECT_FALSE(QtHotkey(6, 0, 0));     // an entry without a key
  EXPECT_FALSE(QtHotkey(6, 0, 0xFF));  // a code without a Qt key
  EXPECT_FALSE(StoredHotkey(Qt::Key_Control, Qt::ControlModifier));
}

}  // namespace
}  // namespace corvina::ui
