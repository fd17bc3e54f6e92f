#include "ui/options_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/options/link_pages.h"
#include "app/options/net_pages.h"
#include "app/options/options_texts.h"
#include "ui/control_value.h"
#include "ui/qt_text.h"

namespace corvina::ui {
namespace {

QSpinBox* PortBox(int low, int step) {
  auto* box = new QSpinBox;
  box->setRange(low, 65535);
  box->setSingleStep(step);  // a typed odd number is still taken; the page refuses it
  return box;
}

QLineEdit* Edit(const char* cue = nullptr, bool password = false) {
  auto* edit = new QLineEdit;
  if (cue != nullptr) edit->setPlaceholderText(cue);
  if (password) edit->setEchoMode(QLineEdit::Password);
  return edit;
}

QComboBox* DeviceBox(const std::vector<std::string>& choices) {
  auto* box = new QComboBox;
  box->setEditable(true);
  for (const std::string& c : choices) box->addItem(ToQt(c));
  return box;
}

// Radio buttons for a choice, their ids the stored values.
QButtonGroup* Choice(QObject* owner, QVBoxLayout* layout, std::initializer_list<const char*> texts) {
  auto* group = new QButtonGroup(owner);
  int id = 0;
  for (const char* text : texts) {
    auto* radio = new QRadioButton(text);
    group->addButton(radio, id++);
    layout->addWidget(radio);
  }
  return group;
}

}  // namespace

struct OptionsDialog::Binding {
  std::string key;
  QObject* control;
};

struct OptionsDialog::Tab {
  std::unique_ptr<app::OptionsPage> page;
  QWidget* widget = nullptr;
  std::vector<Binding> bindings;
};

OptionsDialog::OptionsDialog(platform::Settings& settings, app::OptionsEnvironment& env, OptionsDialogHooks hooks,
                             int page, QWidget* parent)
    : QDialog(parent), settings_(settings), env_(env), hooks_(std::move(hooks)) {
  setWindowTitle("Options");
  env_.note = [this](const app::OptionsMessage& m) { Show(m); };
  tabs_ = new QTabWidget(this);
  BuildAudio();
  BuildLines();
  BuildNet1();
  BuildNet2();
  BuildRecord();
  BuildHold();
  for (auto& tab : pages_) {
    tab->page->Load();
    FromPage(*tab);
  }
  UpdateLineControls();
  tabs_->setCurrentIndex(page);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons);
}

OptionsDialog::~OptionsDialog() = default;

OptionsDialog::Tab& OptionsDialog::AddTab(std::unique_ptr<app::OptionsPage> page, const QString& title) {
  auto tab = std::make_unique<Tab>();
  tab->page = std::move(page);
  tab->widget = new QWidget;
  tabs_->addTab(tab->widget, title);
  pages_.push_back(std::move(tab));
  return *pages_.back();
}

void OptionsDialog::Bind(Tab& tab, const std::string& key, QObject* control) { tab.bindings.push_back({key, control}); }

QWidget* OptionsDialog::Control(const std::string& page, const std::string& key) const {
  for (const auto& tab : pages_) {
    if (tab->page->Name() != page) continue;
    for (const Binding& b : tab->bindings) {
      if (b.key != key) continue;
      if (auto* group = qobject_cast<QButtonGroup*>(b.control)) return group->checkedButton();
      return qobject_cast<QWidget*>(b.control);
    }
  }
  return nullptr;
}

void OptionsDialog::ToPage(Tab& tab) {
  for (const Binding& b : tab.bindings) {
    std::string value = PlainControlValue(b.control).value_or("");
    if (auto* group = qobject_cast<QButtonGroup*>(b.control)) value = std::to_string(std::max(0, group->checkedId()));
    tab.page->Set(b.key, value);
  }
}

void OptionsDialog::FromPage(Tab& tab) {
  for (const Binding& b : tab.bindings) {
    const std::string value = tab.page->Get(b.key);
    if (ShowPlainControlValue(b.control, value)) continue;
    if (auto* group = qobject_cast<QButtonGroup*>(b.control)) {
      if (QAbstractButton* button = group->button(ToQt(value).toInt())) button->setChecked(true);
    }
  }
}

void OptionsDialog::Show(const app::OptionsMessage& message) {
  lastMessage_ = message;
  auto* box = new QMessageBox(QMessageBox::NoIcon, ToQt(message.title), ToQt(message.text), QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

bool OptionsDialog::Refused(Tab& tab, const std::optional<app::OptionsMessage>& refusal) {
  if (!refusal) return false;
  FromPage(tab);  // a corrected field (an odd port made even) shows its new value
  if (tabs_->indexOf(tab.widget) >= 0) tabs_->setCurrentWidget(tab.widget);
  if (!refusal->text.empty()) Show(*refusal);
  for (const Binding& b : tab.bindings) {
    if (b.key != refusal->field) continue;
    if (auto* widget = qobject_cast<QWidget*>(b.control)) widget->setFocus();
  }
  return true;
}

void OptionsDialog::accept() {
  for (auto& tab : pages_) {
    ToPage(*tab);
    if (Refused(*tab, tab->page->Confirm())) return;
  }
  if (hooks_.applied) hooks_.applied();
  QDialog::accept();
}

void OptionsDialog::BuildAudio() {
  Tab& tab = AddTab(std::make_unique<app::AudioPage>(settings_, env_), "Audio");
  auto* form = new QFormLayout(tab.widget);
  auto* agc = new QCheckBox("Automatic Gain Control");
  auto* handset = new QCheckBox("Use phone handset");
  auto* record = DeviceBox(hooks_.captureChoices);
  auto* play = DeviceBox(hooks_.playbackChoices);
  auto* recordChannel = PortBox(0, 1);
  auto* playChannel = PortBox(0, 1);
  recordChannel->setMaximum(app::kMaxDeviceChannel);
  playChannel->setMaximum(app::kMaxDeviceChannel);
  auto* wizard = new QPushButton("Run Audio Setup Wizard");
  wizard->setEnabled(static_cast<bool>(hooks_.runAudioWizard));
  connect(wizard, &QPushButton::clicked, this, [this] { hooks_.runAudioWizard(); });
  form->addRow(agc);
  form->addRow(handset);
  form->addRow("Record device", record);
  form->addRow("Record channel", recordChannel);
  form->addRow("Play device", play);
  form->addRow("Play channel", playChannel);
  form->addRow(wizard);
  for (auto [key, control] : std::initializer_list<std::pair<const char*, QObject*>>{
           {"UseAGC", agc}, {"UseHandset", handset}, {"Record", record}, {"RecordChannel", recordChannel},
           {"PlayDevice", play}, {"PlayDeviceChannel", playChannel}}) {
    Bind(tab, key, control);
  }
}

void OptionsDialog::BuildLines() {
  auto page = std::make_unique<app::LinesPage>(settings_, env_, app::OptionsLineEntry(settings_));
  lines_ = page.get();
  Tab& tab = AddTab(std::move(page), "Lines");
  auto* form = new QFormLayout(tab.widget);
  chooser_ = new QComboBox;
  for (int entry = 0; entry <= 2; ++entry) chooser_->addItem(ToQt(app::OptionsLineEntryName(entry)));
  chooser_->setCurrentIndex(lines_->Entry());
  auto* useDefault = new QCheckBox("Use the Default Line Settings for this line");
  auto* name = Edit("<Type your name here>");
  auto* user = Edit("<Number from SIP provider>");
  auto* proxy = Edit("<Enter SIP server name>");
  auto* password = Edit(nullptr, true);
  advanced_ = new QPushButton(ToQt(app::options_texts::kAdvanced));
  form->addRow(chooser_);
  form->addRow(useDefault);
  form->addRow("'Friendly' Name", name);
  form->addRow("SIP Number", user);
  form->addRow("Server", proxy);
  form->addRow("Password", password);
  form->addRow(advanced_);
  Bind(tab, "UseDefault", useDefault);
  Bind(tab, "DisplayName", name);
  Bind(tab, "UserName", user);
  Bind(tab, "Proxy", proxy);
  Bind(tab, "ProxyPassword", password);
  connect(chooser_, &QComboBox::currentIndexChanged, this, [this](int entry) { ChooseLine(entry); });
  connect(advanced_, &QPushButton::clicked, this, [this] { OpenAdvanced(); });
}

void OptionsDialog::ChooseLine(int entry) {
  if (entry == lines_->Entry()) return;
  Tab& tab = *pages_[1];
  ToPage(tab);
  if (Refused(tab, lines_->SwitchTo(entry))) {
    QSignalBlocker block(chooser_);
    chooser_->setCurrentIndex(lines_->Entry());
    return;
  }
  FromPage(tab);
  UpdateLineControls();
}

void OptionsDialog::UpdateLineControls() {
  if (Tab* tab = pages_.size() > 1 ? pages_[1].get() : nullptr) {
    if (QWidget* useDefault = qobject_cast<QWidget*>(tab->bindings[0].control)) {
      useDefault->setVisible(lines_->Entry() != 0);
    }
  }
  auto [caption, bold] = lines_->AdvancedCaption();
  advanced_->setText(ToQt(caption));
  QFont font = advanced_->font();
  font.setBold(bold);
  advanced_->setFont(font);
}

void OptionsDialog::OpenAdvanced() {
  if (advancedDialog_) return;
  advancedTab_ = std::make_unique<Tab>();
  advancedTab_->page = std::make_unique<app::AdvancedLinePage>(settings_, env_, lines_->Entry());
  auto* dialog = new QDialog(this);
  dialog->setWindowTitle("Adv. Sip Server Settings");
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(dialog);
  QButtonGroup* outbound = Choice(dialog, layout, {"Use the SIP server as the outbound server",
                                                   "Use a different outbound server", "Do not use an outbound server"});
  auto* server = Edit();
  auto* serverRow = new QFormLayout;
  serverRow->addRow("Outbound Server:", server);
  layout->addLayout(serverRow);
  QButtonGroup* auth =
      Choice(dialog, layout, {"Use the SIP number for authentication", "Use different username for authentication"});
  auto* id = Edit();
  auto* idRow = new QFormLayout;
  idRow->addRow("Auth ID:", id);
  layout->addLayout(idRow);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  QPushButton* restore = buttons->addButton("Restore &Defaults", QDialogButtonBox::ResetRole);
  layout->addWidget(buttons);
  Tab& tab = *advancedTab_;
  Bind(tab, "UseOutboundServer", outbound);
  Bind(tab, "OutboundServer", server);
  Bind(tab, "UseAuthentication", auth);
  Bind(tab, "AuthID", id);
  tab.page->Load();
  FromPage(tab);
  connect(restore, &QPushButton::clicked, dialog, [this] {
    ToPage(*advancedTab_);
    static_cast<app::AdvancedLinePage&>(*advancedTab_->page).RestoreDefaults();
    FromPage(*advancedTab_);
  });
  connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  connect(buttons, &QDialogButtonBox::accepted, dialog, [this, dialog] {
    ToPage(*advancedTab_);
    if (Refused(*advancedTab_, advancedTab_->page->Confirm())) return;
    UpdateLineControls();
    dialog->accept();
  });
  advancedDialog_ = dialog;
  dialog->open();
}

void OptionsDialog::BuildNet1() {
  Tab& tab = AddTab(std::make_unique<app::Net1Page>(settings_, env_), "Net 1");
  auto* form = new QFormLayout(tab.widget);
  auto* port = PortBox(1, 1);
  auto* rtp = PortBox(2, 2);
  auto* trace = new QCheckBox("Log all SIP messages");
  auto* audio = new QCheckBox("Log all RTP (audio) packets");
  auto* logs = new QPushButton("View Logs");
  auto* wizard = new QPushButton("Run Network Setup Wizard");
  wizard->setEnabled(static_cast<bool>(hooks_.runNetworkTool));
  connect(wizard, &QPushButton::clicked, this, [this] { hooks_.runNetworkTool(); });
  connect(logs, &QPushButton::clicked, this, [this] {
    if (hooks_.viewLogs) hooks_.viewLogs();
  });
  form->addRow("Local SIP port to listen on", port);
  form->addRow("Local RTP ports starting from...", rtp);
  form->addRow(trace);
  form->addRow(audio);
  form->addRow(logs);
  form->addRow(wizard);
  Bind(tab, "Port", port);
  Bind(tab, "RTPPortBase", rtp);
  Bind(tab, "SipTraceOn", trace);
  Bind(tab, "SipTraceAudioOn", audio);
}

void OptionsDialog::BuildNet2() {
  Tab& tab = AddTab(std::make_unique<app::Net2Page>(settings_, env_), "Net 2");
  auto* form = new QFormLayout(tab.widget);
  auto* upnp = new QCheckBox("Use uPNP to find external IP Address");
  auto* stun = new QCheckBox("Use STUN for external IP Address/Port");
  auto* stun1 = Edit();
  auto* stun2 = Edit();
  auto* fixed = new QCheckBox("Use static IP address/mapped ports");
  auto* publicIp = Edit();
  auto* sipPort = PortBox(1, 1);
  auto* rtpPort = PortBox(2, 2);
  form->addRow(upnp);
  form->addRow(stun);
  form->addRow("STUN Server 1", stun1);
  form->addRow("STUN Server 2", stun2);
  form->addRow(fixed);
  form->addRow("Public IP Address", publicIp);
  form->addRow("External SIP port", sipPort);
  form->addRow("External RTP ports", rtpPort);
  for (auto [key, control] : std::initializer_list<std::pair<const char*, QObject*>>{
           {"UPNP", upnp}, {"STUN", stun}, {"STUNServer1", stun1}, {"STUNServer2", stun2}, {"STATIC", fixed},
           {"STATICPublicIP", publicIp}, {"STATICSIPPort", sipPort}, {"STATICRTPPortBase", rtpPort}}) {
    Bind(tab, key, control);
  }
}

void OptionsDialog::BuildRecord() {
  Tab& tab = AddTab(std::make_unique<app::RecordPage>(settings_, env_), "Record");
  auto* layout = new QVBoxLayout(tab.widget);
  QButtonGroup* link = Choice(this, layout, {"Record call as wave files in memory (Basic Option)",
                                             "Link to Orrin (Professional Option)"});
  auto* form = new QFormLayout;
  auto* folder = Edit();
  auto* browse = new QPushButton("...");
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(folder);
  folderRow->addWidget(browse);
  connect(browse, &QPushButton::clicked, this, [this, folder] {
    const QString chosen = QFileDialog::getExistingDirectory(this, ToQt(app::options_texts::kLocateFolder), folder->text());
    if (!chosen.isEmpty()) folder->setText(chosen);
  });
  auto* host = Edit();
  auto* code = Edit(nullptr, true);
  auto* autoRecord = new QCheckBox("Record all calls automatically");
  form->addRow("Folder", folderRow);
  form->addRow("Orrin Server", host);
  form->addRow("Access Code", code);
  form->addRow(autoRecord);
  layout->addLayout(form);
  Bind(tab, "Orrinlink", link);
  Bind(tab, "Folder", folder);
  Bind(tab, "OrrinHost", host);
  Bind(tab, "OrrinAccessCode", code);
  Bind(tab, "Auto", autoRecord);
}

void OptionsDialog::BuildHold() {
  Tab& tab = AddTab(std::make_unique<app::HoldPage>(settings_, env_), "Hold");
  auto* layout = new QVBoxLayout(tab.widget);
  QButtonGroup* link = Choice(this, layout, {"Play On-Hold Ringtone File on repeat (Basic Option)",
                                             "Link to Lumo On-Hold Player (Professional Option)"});
  auto* form = new QFormLayout;
  auto* server = Edit();
  form->addRow("Lumo Server", server);
  layout->addLayout(form);
  layout->addStretch();
  Bind(tab, "UseLumoServer", link);
  Bind(tab, "LumoServer", server);
}

}  // namespace corvina::ui
