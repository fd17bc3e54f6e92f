#include "ui/qt_main_view.h"

#include <algorithm>

#include <QApplication>
#include <QKeySequenceEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollBar>
#include <QSignalBlocker>
#include <tuple>
#include <vector>

#include "app/controller/panel_metrics.h"
#include "platform/desktop_open.h"
#include "platform/product.h"
#include "ui/key_rule.h"
#include "ui/qt_progress.h"
#include "ui/qt_text.h"

namespace corvina::ui {
namespace {

using app::ButtonImage;
using app::ControlId;

// Level 1 entries stand out in the warning colour; the rest are light grey.
const QColor kErrorColour(0xF6, 0x28, 0x50);
const QColor kNormalColour(0xF0, 0xF0, 0xF0);
constexpr int kTrayMessageMs = 10000;
constexpr int kQuickTransferCommand = 7100;  // a long press on Transfer


int Id(ControlId id) { return static_cast<int>(id); }

constexpr const char* kKeyTexts[12] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "*", "0", "#"};

}  // namespace

QtMainView::QtMainView() {
  setWindowTitle(ToQt(platform::kProductName));
  BuildControls();
  BuildMenus();
  qApp->installEventFilter(this);
  resize(480, 720);
}

QtMainView::~QtMainView() { qApp->removeEventFilter(this); }

QPushButton* QtMainView::AddButton(ControlId id, const QString& text) {
  auto* button = id == ControlId::kTransfer ? new LongPressButton(text, panel_) : new QPushButton(text, panel_);
  button->setObjectName(QString("control%1").arg(Id(id)));
  button->setFocusPolicy(Qt::NoFocus);
  controls_[Id(id)] = button;
  return button;
}

void QtMainView::BuildControls() {
  panel_ = new QWidget(this);
  panel_->setObjectName("panel");
  panel_->setFocusPolicy(Qt::ClickFocus);  // a click beside the controls takes the focus from the dial box
  setCentralWidget(panel_);

  display_ = new StatusDisplayWidget(panel_);
  controls_[Id(ControlId::kDisplay)] = display_;

  dialBox_ = new DialBox(panel_);
  controls_[Id(ControlId::kDialBox)] = dialBox_;
  dialBox_->SetOpeningHandler([this] {
    if (input_ != nullptr) input_->OnDialListOpening();
  });
  connect(dialBox_, &QComboBox::editTextChanged, this, [this](const QString& text) {
    if (input_ != nullptr) input_->OnDialTextChanged(text.toStdString());
  });

  // The keypad's figures in the panel's 18-pixel heavy font.
  const app::FontSpec keyFontSpec = app::PanelFonts(logicalDpiY())[4];
  QFont keyFont;
  keyFont.setPixelSize(keyFontSpec.height);
  keyFont.setWeight(static_cast<QFont::Weight>(keyFontSpec.weight));
  for (int i = 0; i < 12; ++i) {
    const int id = Id(ControlId::kKey1) + i;
    QPushButton* key = AddButton(static_cast<ControlId>(id), kKeyTexts[i]);
    key->setFont(keyFont);
    connect(key, &QPushButton::clicked, this, [this, id] {
      if (input_ != nullptr) input_->OnButton(id);
    });
  }
  const std::pair<ControlId, const char*> clicked[] = {
      {ControlId::kCall, "Call"},   {ControlId::kHangUp, "Hang up"}, {ControlId::kTransfer, "Transfer"},
      {ControlId::kRecord, "Record"}, {ControlId::kDnd, "DND"},       {ControlId::kHold, "Hold"},
      {ControlId::kLine1, "1"},     {ControlId::kLine2, "2"},        {ControlId::kConference, "Conference"}};
  for (const auto& [control, text] : clicked) {
    const int id = Id(control);
    connect(AddButton(control, text), &QPushButton::clicked, this, [this, id] {
      if (input_ != nullptr) input_->OnButton(id);
    });
  }
  transfer_ = static_cast<LongPressButton*>(controls_[Id(ControlId::kTransfer)]);
  connect(transfer_, &LongPressButton::longPressed, this, [this] {
    if (input_ != nullptr) input_->OnCommand(kQuickTransferCommand);
  });
  QPushButton* intercom = AddButton(ControlId::kIntercom, "Intercom");
  connect(intercom, &QPushButton::pressed, this, [this] {
    if (input_ != nullptr) input_->OnIntercom(true);
  });
  connect(intercom, &QPushButton::released, this, [this] {
    if (input_ != nullptr) input_->OnIntercom(false);
  });

  for (auto [control, meter, label] : {std::tuple{ControlId::kPlayMeter, &playMeter_, "Speaker"},
                                       std::tuple{ControlId::kRecordMeter, &recordMeter_, "Microphone"}}) {
    *meter = new QProgressBar(panel_);
    (*meter)->setRange(app::kMeterFloorDb, app::kMeterTopDb);
    (*meter)->setValue(app::kMeterFloorDb);
    (*meter)->setFormat(label);
    (*meter)->setAlignment(Qt::AlignCenter);
    (*meter)->setObjectName(QString("control%1").arg(Id(control)));
    controls_[Id(control)] = *meter;
  }
  for (auto [control, slider] : {std::pair{ControlId::kPlaySlider, &playSlider_}, {ControlId::kRecordSlider, &recordSlider_}}) {
    auto* s = new QSlider(Qt::Horizontal, panel_);
    *slider = s;
    s->setRange(-127, 127);
    s->setFocusPolicy(Qt::NoFocus);
    s->setObjectName(QString("control%1").arg(Id(control)));
    controls_[Id(control)] = s;
    const int id = Id(control);
    // Dragging reports once, on release; a click on the groove or the wheel reports at once.
    connect(s, &QSlider::sliderReleased, this, [this, s, id] {
      if (input_ != nullptr) input_->OnSliderReleased(id, s->value());
    });
    connect(s, &QSlider::valueChanged, this, [this, s, id](int value) {
      if (!s->isSliderDown() && input_ != nullptr) input_->OnSliderReleased(id, value);
    });
  }

  statusList_ = new QListWidget(panel_);
  statusList_->setStyleSheet("background: black;");
  statusList_->setFocusPolicy(Qt::NoFocus);
  // Long entries wrap rather than widen the list past the window.
  statusList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  statusList_->setWordWrap(true);
  statusList_->setResizeMode(QListView::Adjust);
  statusList_->hide();
  registrationText_ = new QLabel(panel_);
  registrationText_->setWordWrap(true);
  registrationText_->hide();

  SetButtonImage(ControlId::kCall, ButtonImage::kCallNothingToDo, false);
  SetButtonImage(ControlId::kHangUp, ButtonImage::kHangUpIdle, false);
  SetButtonImage(ControlId::kTransfer, ButtonImage::kTransferNormal, false);
  SetButtonImage(ControlId::kRecord, ButtonImage::kRecordOff, false);
  SetButtonImage(ControlId::kDnd, ButtonImage::kDndOff, false);
  SetButtonImage(ControlId::kHold, ButtonImage::kHold, false);
  SetButtonImage(ControlId::kConference, ButtonImage::kConferenceNormal, false);
  SetButtonImage(ControlId::kIntercom, ButtonImage::kIntercom, false);
  SetLineButton(0, false);
  SetLineButton(1, false);
  panel_->installEventFilter(this);
}

void QtMainView::AddCommand(QMenu* menu, int id, const char* text, const std::string& shortcut) {
  // The shortcut is only shown: the key rule sends it, so that it works in every state.
  QString label = QString::fromUtf8(text);
  if (!shortcut.empty()) label += QString("\t") + QString::fromStdString(shortcut);
  QAction* action = menu->addAction(label);
  actions_[id] = action;
  connect(action, &QAction::triggered, this, [this, id] {
    if (input_ != nullptr) input_->OnCommand(id);
  });
}

void QtMainView::BuildMenus() {
  // The soft keys' menus; id 0 is a separator. The shortcut beside an item is the key rule's.
  struct Item {
    int id;
    const char* text;
  };
  struct Menu {
    const char* title;
    std::vector<Item> items;
  };
  const Menu menus[] = {
      {"&Phone",
       {{1001, "&Dial"}, {1018, "R&eDial"}, {1007, "&Hangup"}, {1005, "&Answer Call"}, {1006, "&Reject Call"},
        {1002, "&Clear"}, {0, nullptr}, {1008, "Do Not Disturb O&n"}, {1009, "Do Not Disturb &Off"}, {0, nullptr}}},
      {"&Contacts",
       {{1015, "Add to Address &Book..."}, {1017, "Add Quick Trans&fer..."}, {0, nullptr}, {2001, "&Address Book"},
        {2050, "&Quick Transfer List"}}},
      {"&Tools",
       {{2002, "&Logs"}, {2003, "&Recordings Folder"}, {2004, "Show Status &Window"}, {0, nullptr},
        {1011, "O&ptions..."}, {1012, "Run Audio Setup &Wizard..."}, {1013, "Run &Networking Setup Wizard..."}}},
      {"&Help", {{1014, "Invite"}, {9, "Help Contents"}, {9005, "Home Page"}, {0, nullptr}, {9090, "About Corvina..."}}},
  };
  for (const Menu& entry : menus) {
    QMenu* menu = menuBar()->addMenu(entry.title);
    if (std::string_view(entry.title) == "&Contacts") contactsMenu_ = menu;
    if (std::string_view(entry.title) == "&Tools") toolsMenu_ = menu;
    for (const Item& item : entry.items) {
      if (item.id == 0) {
        menu->addSeparator();
      } else {
        AddCommand(menu, item.id, item.text, ShortcutText(item.id));
      }
    }
  }
  QMenu* phone = menuBar()->actions().value(0)->menu();
  connect(phone->addAction("E&xit"), &QAction::triggered, this, [this] { close(); });
  for (int id : {1008, 1009, 2004}) actions_[id]->setCheckable(true);
}

QWidget* QtMainView::Control(ControlId id) const {
  auto it = controls_.find(Id(id));
  return it == controls_.end() ? nullptr : it->second;
}

QAction* QtMainView::MenuAction(int command) const {
  auto it = actions_.find(command);
  return it == actions_.end() ? nullptr : it->second;
}

bool QtMainView::eventFilter(QObject* watched, QEvent* event) {
  // A new text in the registration lines asks its parent for a layout, as a resize does.
  if (watched == panel_ && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest)) {
    LayOut();
    return false;
  }
  const bool press = event->type() == QEvent::KeyPress;
  const bool key = press || event->type() == QEvent::KeyRelease;
  if (key && HandleHotkey(watched, static_cast<QKeyEvent*>(event))) return true;
  if (key && HandleSpace(watched, static_cast<QKeyEvent*>(event))) return true;
  if (press) return HandleKey(watched, static_cast<QKeyEvent*>(event));
  return false;
}

bool QtMainView::HandleHotkey(QObject* watched, QKeyEvent* event) {
  if (input_ == nullptr || hotkeys_.empty()) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  QWidget* focus = QApplication::focusWidget();
  // Once per key: at the focused widget, or at the active window when nothing has the focus.
  if (widget == nullptr || (widget != focus && !(focus == nullptr && widget == QApplication::activeWindow()))) {
    return false;
  }
  // A key being chosen for a hotkey is not a hotkey yet.
  for (QWidget* w = focus; w != nullptr; w = w->parentWidget()) {
    if (qobject_cast<QKeySequenceEdit*>(w) != nullptr) return false;
  }
  KeyPress press;
  press.key = event->key();
  press.modifiers = event->modifiers();
  press.release = event->type() == QEvent::KeyRelease;
  press.hotkeys = &hotkeys_;
  const KeyAction action = MapKey(press);
  if (action.kind == KeyAction::Kind::kHotkeyDown) {
    // A held key repeats press and release pairs; only the first press counts, and only one
    // hotkey is held at a time.
    if (!event->isAutoRepeat() && heldHotkey_ == 0) {
      heldHotkey_ = action.id;
      input_->OnHotkey(action.id, true);
    }
  } else if (action.kind == KeyAction::Kind::kHotkeyUp && action.id == heldHotkey_) {
    if (!event->isAutoRepeat()) {
      heldHotkey_ = 0;
      input_->OnHotkey(action.id, false);
    }
  } else {
    return false;
  }
  event->accept();
  return true;
}

bool QtMainView::RegisterHotkey(int id, std::uint32_t modifiers, std::uint32_t virtualKey) {
  UnregisterHotkey(id);
  std::optional<WindowHotkey> hotkey = QtHotkey(id, modifiers, virtualKey);
  if (!hotkey) return false;
  hotkeys_.push_back(*hotkey);
  return true;
}

void QtMainView::UnregisterHotkey(int id) {
  std::erase_if(hotkeys_, [id](const WindowHotkey& h) { return h.id == id; });
}

void QtMainView::ShowTransferMenu(const std::vector<app::TransferMenuItem>& items) {
  if (transferMenu_ == nullptr) {
    transferMenu_ = new QMenu(this);
    transferMenu_->setObjectName("transferMenu");
  }
  transferMenu_->clear();
  for (const app::TransferMenuItem& item : items) {
    if (item.Separator()) {
      transferMenu_->addSeparator();
      continue;
    }
    // A name's "&" is shown, not taken as the item's mnemonic.
    QAction* action = transferMenu_->addAction(ToQt(item.text).replace('&', "&&"));
    action->setEnabled(item.enabled);
    action->setData(item.id);
    const int id = item.id;
    connect(action, &QAction::triggered, this, [this, id] {
      if (input_ != nullptr) input_->OnCommand(id);
    });
  }
  // At the button's left edge, below its bottom edge.
  transferMenu_->popup(transfer_->mapToGlobal(QPoint(0, transfer_->height())));
}

bool QtMainView::HandleSpace(QObject* watched, QKeyEvent* event) {
  if (event->key() != Qt::Key_Space || event->modifiers() != Qt::NoModifier || input_ == nullptr) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || widget->window() != this) return false;
  QWidget* focus = QApplication::focusWidget();
  if (widget != focus && !(focus == nullptr && widget == this)) return false;
  if (dialBox_->isAncestorOf(widget) || widget == dialBox_) return false;
  // A held key repeats press and release pairs; only the first press and the last release count.
  if (!event->isAutoRepeat()) input_->OnIntercom(event->type() == QEvent::KeyPress);
  event->accept();
  return true;
}

bool QtMainView::HandleKey(QObject* watched, QKeyEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  // Only keys for this window (not its menus' pop-ups or message boxes), once each: the
  // filter sees a key again as it travels up to the parents.
  if (widget == nullptr || widget->window() != this) return false;
  QWidget* focus = QApplication::focusWidget();
  if (widget != focus && !(focus == nullptr && widget == this)) return false;
  if (input_ == nullptr) return false;
  KeyPress press;
  press.key = event->key();
  press.modifiers = event->modifiers();
  const QString text = event->text();
  if (text.size() == 1 && text[0].unicode() < 0x80) press.text = static_cast<char>(text[0].unicode());
  press.inDialBox = dialBox_->isAncestorOf(widget) || widget == dialBox_;
  press.inNormalCall = input_->InNormalCall();
  const KeyAction action = MapKey(press);
  switch (action.kind) {
    case KeyAction::Kind::kNone:
    case KeyAction::Kind::kHotkeyDown:  // hotkeys are matched by the window-wide filter, not here
    case KeyAction::Kind::kHotkeyUp: return false;
    case KeyAction::Kind::kCommand: input_->OnCommand(action.id); break;
    case KeyAction::Kind::kKeypad: input_->OnButton(action.id); break;
    case KeyAction::Kind::kCallKey: input_->OnCallKey(); break;
    case KeyAction::Kind::kEndKey: input_->OnEndKey(); break;
    case KeyAction::Kind::kBackspace: input_->OnBackspaceKey(); break;
    case KeyAction::Kind::kSecondDigit: input_->OnSecondDigit(action.digit); break;
    case KeyAction::Kind::kToDialBox:
      if (!dialBox_->isEnabled()) return false;
      dialBox_->setFocus();
      QApplication::sendEvent(dialBox_->lineEdit(), event);
      break;
  }
  event->accept();
  return true;
}

void QtMainView::LayOut() {
  geometry_ = LayOutPanel(panel_->rect(), statusList_->isVisibleTo(this));
  const PanelGeometry& g = geometry_;
  display_->setGeometry(g.display);
  // The dial box keeps its natural height, centred in its row.
  const int boxHeight = std::min(g.dialBox.height(), std::max(dialBox_->sizeHint().height(), 28));
  dialBox_->setGeometry(g.dialBox.left(), g.dialBox.top() + (g.dialBox.height() - boxHeight) / 2, g.dialBox.width(),
                        boxHeight);
  for (int i = 0; i < 12; ++i) controls_[Id(ControlId::kKey1) + i]->setGeometry(g.keys[static_cast<std::size_t>(i)]);
  const std::pair<ControlId, QRect> placed[] = {
      {ControlId::kLine1, g.lines[0]},      {ControlId::kLine2, g.lines[1]},
      {ControlId::kCall, g.call},           {ControlId::kHangUp, g.hangUp},
      {ControlId::kTransfer, g.transfer},   {ControlId::kRecord, g.record},
      {ControlId::kDnd, g.dnd},             {ControlId::kHold, g.hold},
      {ControlId::kConference, g.conference}, {ControlId::kIntercom, g.intercom},
      {ControlId::kPlayMeter, g.playMeter}, {ControlId::kRecordMeter, g.recordMeter},
      {ControlId::kPlaySlider, g.playSlider}, {ControlId::kRecordSlider, g.recordSlider}};
  for (const auto& [control, rect] : placed) {
    controls_[Id(control)]->setGeometry(rect);
    if (auto* button = qobject_cast<QPushButton*>(controls_[Id(control)])) FitLabel(*button, rect.width());
  }
  // The lines' registration above the status entries, as high as its wrapped text.
  QRect pane = g.statusPane;
  if (!pane.isEmpty()) {
    const int textHeight = std::min(pane.height() / 2, registrationText_->heightForWidth(pane.width()));
    registrationText_->setGeometry(pane.left(), pane.top(), pane.width(), textHeight);
    pane.setTop(pane.top() + textHeight);
  }
  statusList_->setGeometry(pane);
}

void QtMainView::BringToFront() {
  showMaximized();
  raise();
  activateWindow();
}

void QtMainView::RequestAttention() { QApplication::alert(this); }

void QtMainView::RegistrationChanged(const app::LineRegistrationState&) {
  if (controller_ == nullptr) return;
  QStringList lines;
  for (const app::LineRegistrationState& s : controller_->LineRegistrations()) {
    QString state = !s.registers ? "no server" : s.registered ? "registered" : "not registered";
    lines << QString("Line %1: %2 - %3").arg(s.line).arg(QString::fromStdString(s.addressOfRecord), state);
  }
  registrationText_->setText(lines.join('\n'));
}

void QtMainView::ShowStatusWindow(bool visible) {
  if (QAction* action = MenuAction(2004)) action->setChecked(visible);
  statusList_->setVisible(visible);
  registrationText_->setVisible(visible);
  LayOut();
  if (visible) RefreshStatusWindow();
}

void QtMainView::StatusWindowChanged() {
  if (statusList_->isVisible()) RefreshStatusWindow();
}

void QtMainView::RefreshStatusWindow() {
  if (controller_ == nullptr) return;
  // A reader scrolled back into the history keeps seeing the same entries; one at the
  // bottom follows the new ones.
  QScrollBar* bar = statusList_->verticalScrollBar();
  bool following = bar->value() >= bar->maximum();
  int before = statusList_->count();
  int position = bar->value();
  statusList_->clear();
  for (const auto& entry : controller_->Status().Entries()) {
    auto* item = new QListWidgetItem(QString::fromStdString(entry.timeText + " " + entry.message));
    item->setForeground(entry.level == 1 ? kErrorColour : kNormalColour);
    statusList_->addItem(item);
  }
  if (following) {
    statusList_->scrollToBottom();
  } else {
    // When the ring was full, the oldest entry left the top: move up with the rest.
    int dropped = before >= static_cast<int>(app::StatusWindow::kCapacity) ? 1 : 0;
    bar->setValue(position - dropped);
  }
}

void QtMainView::SetButtonImage(ControlId control, ButtonImage image, bool pressed) {
  auto* button = qobject_cast<QPushButton*>(Control(control));
  if (button == nullptr) return;
  button->setStyleSheet(StyleFor(image, pressed));
  button->setProperty("image", static_cast<int>(image));
  button->setProperty("pressedIn", pressed);
}

void QtMainView::SetControlEnabled(ControlId control, bool enabled) {
  if (QWidget* widget = Control(control)) widget->setEnabled(enabled);
}

void QtMainView::SetLineButton(int line, bool lit) {
  if (line != 0 && line != 1) return;
  SetButtonImage(line == 0 ? ControlId::kLine1 : ControlId::kLine2,
                 lit ? ButtonImage::kLineLit : ButtonImage::kLineDark, false);
}

void QtMainView::SetLineTip(int line, std::string_view tip) {
  if (line != 0 && line != 1) return;
  Control(line == 0 ? ControlId::kLine1 : ControlId::kLine2)->setToolTip(ToQt(tip));
}

void QtMainView::PaintDisplay(const app::DisplayRows& rows) { display_->SetRows(rows); }

void QtMainView::SetDialText(std::string_view text) {
  const QSignalBlocker quiet(dialBox_);
  dialBox_->setEditText(ToQt(text));
}

void QtMainView::SetDialBoxEnabled(bool enabled) {
  // The focus leaves first, so that typing during a call reaches the key rule, not the box.
  if (!enabled && dialBox_->hasFocus()) panel_->setFocus();
  dialBox_->setEnabled(enabled);
}

void QtMainView::FocusDialBox() {
  if (dialBox_->isEnabled()) dialBox_->setFocus();
}

void QtMainView::SetDialList(const std::vector<std::string>& items) {
  const QSignalBlocker quiet(dialBox_);
  const QString text = dialBox_->currentText();
  dialBox_->clear();
  for (const auto& item : items) dialBox_->addItem(QString::fromStdString(item));
  dialBox_->setCurrentIndex(-1);
  dialBox_->setEditText(text);
}

void QtMainView::SelectDialListItem(int index) {
  if (index < 0 || index >= dialBox_->count()) return;
  dialBox_->setCurrentIndex(index);  // reports the new text like a user's choice
}

void QtMainView::SetMenuItem(app::MenuId item, bool enabled, bool checked) {
  QAction* action = MenuAction(static_cast<int>(item));
  if (action == nullptr) return;
  action->setEnabled(enabled);
  if (action->isCheckable()) action->setChecked(checked);
}

void QtMainView::SetSliders(int play, int record) {
  const QSignalBlocker quietPlay(playSlider_);
  const QSignalBlocker quietRecord(recordSlider_);
  playSlider_->setValue(play);
  recordSlider_->setValue(record);
}

void QtMainView::SetMeters(int play, int record) {
  playMeter_->setValue(std::clamp(play, app::kMeterFloorDb, app::kMeterTopDb));
  recordMeter_->setValue(std::clamp(record, app::kMeterFloorDb, app::kMeterTopDb));
}

void QtMainView::ShowMessageBox(std::string_view title, std::string_view text) {
  auto* box = new QMessageBox(QMessageBox::NoIcon, ToQt(title), ToQt(text), QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

app::QuestionAnswer QtMainView::AskYesNoCancel(std::string_view title, std::string_view text) {
  QMessageBox box(QMessageBox::Question, ToQt(title), ToQt(text),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
  switch (box.exec()) {
    case QMessageBox::Yes: return app::QuestionAnswer::kYes;
    case QMessageBox::No: return app::QuestionAnswer::kNo;
    default: return app::QuestionAnswer::kCancel;
  }
}

app::ProgressWindow* QtMainView::ToolProgress() {
  if (!toolProgress_) toolProgress_ = std::make_unique<QtProgressWindow>(this);
  return toolProgress_.get();
}

bool QtMainView::ShowTrayMessage(std::string_view title, std::string_view text) {
  if (!QSystemTrayIcon::isSystemTrayAvailable() || !QSystemTrayIcon::supportsMessages()) return false;
  if (tray_ == nullptr) {
    tray_ = new QSystemTrayIcon(windowIcon(), this);
    tray_->setToolTip(windowTitle());
    tray_->show();
  }
  tray_->showMessage(ToQt(title), ToQt(text), QSystemTrayIcon::Information, kTrayMessageMs);
  return true;
}

void QtMainView::OpenExternal(std::string_view target) { platform::OpenWithDesktop(std::string(target)); }

}  // namespace corvina::ui
