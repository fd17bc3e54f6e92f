#include "ui/setup_wizard.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QPointer>
#include <QWizardPage>

#include <algorithm>

#include "app/controller/audio_route.h"
#include "app/wizards/wizard_pages.h"
#include "app/wizards/wizard_texts.h"
#include "ui/control_value.h"
#include "ui/qt_text.h"

namespace corvina::ui {
namespace {

namespace w = app::wizard_texts;

QComboBox* DeviceBox(const std::vector<std::string>& choices) {
  auto* box = new QComboBox;
  box->setEditable(true);
  for (const std::string& c : choices) box->addItem(ToQt(c));
  return box;
}

QSlider* VolumeSlider() {
  auto* slider = new QSlider(Qt::Horizontal);
  slider->setRange(-127, 127);
  return slider;
}

}  // namespace

// One wizard page over its page object: controls bound to the object's values by key (a radio
// group's ids index `words`, or are the value themselves when there are none).
class SetupWizard::Page final : public QWizardPage {
 public:
  struct Binding {
    std::string key;
    QObject* control;
    std::vector<std::string> words;
  };

  Page(SetupWizard& wizard, std::unique_ptr<app::OptionsPage> model) : wizard_(wizard), model_(std::move(model)) {}

  app::OptionsPage& Model() { return *model_; }
  void Bind(const std::string& key, QObject* control, std::vector<std::string> words = {}) {
    bindings_.push_back({key, control, std::move(words)});
  }
  QObject* Bound(const std::string& key) const {
    for (const Binding& b : bindings_) {
      if (b.key == key) return b.control;
    }
    return nullptr;
  }
  std::function<void()> onShow, onLeave;
  std::function<bool()> complete;

  void ToModel() {
    for (const Binding& b : bindings_) {
      std::string value = PlainControlValue(b.control).value_or("");
      if (auto* group = qobject_cast<QButtonGroup*>(b.control)) {
        const int id = group->checkedId();
        if (id >= 0) value = b.words.empty() ? std::to_string(id) : b.words[static_cast<std::size_t>(id)];
      }
      model_->Set(b.key, value);
    }
  }

  void FromModel() {
    for (const Binding& b : bindings_) {
      const std::string value = model_->Get(b.key);
      if (ShowPlainControlValue(b.control, value)) continue;
      if (auto* group = qobject_cast<QButtonGroup*>(b.control)) {
        int id = -1;
        for (std::size_t i = 0; i < b.words.size(); ++i) {
          if (b.words[i] == value) id = static_cast<int>(i);
        }
        if (b.words.empty() && !value.empty()) id = ToQt(value).toInt();
        if (QAbstractButton* button = group->button(id)) button->setChecked(true);
      }
    }
  }

  void initializePage() override {
    model_->Load();
    FromModel();
    if (onShow) onShow();
  }
  // Back: nothing is written; what the page runs stops.
  void cleanupPage() override {
    if (onLeave) onLeave();
  }
  bool validatePage() override {
    ToModel();
    std::optional<app::OptionsMessage> refusal = model_->Confirm();
    if (refusal) {
      if (!refusal->text.empty()) wizard_.ShowMessage(*refusal);
      if (auto* widget = qobject_cast<QWidget*>(Bound(refusal->field))) widget->setFocus();
      return false;
    }
    if (onLeave) onLeave();
    return true;
  }
  bool isComplete() const override { return complete ? complete() : true; }
  void Changed() { emit completeChanged(); }

 private:
  SetupWizard& wizard_;
  std::unique_ptr<app::OptionsPage> model_;
  std::vector<Binding> bindings_;
};

SetupWizard::SetupWizard(app::WizardKind kind, platform::Settings& settings, app::OptionsEnvironment& env,
                         SetupWizardHooks hooks, QWidget* parent)
    : QWizard(parent), settings_(settings), env_(env), hooks_(std::move(hooks)) {
  setWindowTitle(ToQt(kind == app::WizardKind::kFirstRun ? w::kFirstRunTitle : w::kAudioTitle));
  setWizardStyle(QWizard::ModernStyle);
  for (const app::WizardPageInfo& info : app::WizardPages(kind)) {
    Page* page = AddPage(info.name, info.title, info.subtitle);
    if (info.name == "mode") BuildMode(*page);
    if (info.name == "microphone") BuildSound(*page, true);
    if (info.name == "output") BuildSound(*page, false);
    if (info.name == "sipsetup") BuildSipSetup(*page);
    if (info.name == "sipdetails") BuildSipDetails(*page);
  }
}

SetupWizard::~SetupWizard() = default;

SetupWizard::Page* SetupWizard::AddPage(std::string_view name, std::string_view title, std::string_view subtitle) {
  auto* page = new Page(*this, app::MakeWizardPage(name, settings_, env_));
  page->setTitle(ToQt(title));
  page->setSubTitle(ToQt(subtitle));
  page->setObjectName(ToQt(name));
  addPage(page);
  pages_.push_back(page);
  return page;
}

void SetupWizard::BuildMode(Page& page) {
  auto* layout = new QVBoxLayout(&page);
  auto addGroup = [&](const char* key, std::initializer_list<std::string_view> texts, std::vector<std::string> words) {
    auto* group = new QButtonGroup(&page);
    int id = 0;
    for (std::string_view text : texts) {
      auto* radio = new QRadioButton(ToQt(text));
      group->addButton(radio, id++);
      layout->addWidget(radio);
    }
    page.Bind(key, group, std::move(words));
    layout->addSpacing(12);
  };
  addGroup("TalkMode", {w::kTalkSpeaker, w::kTalkHeadset, w::kTalkHandset}, {"speaker", "headset", "handset"});
  addGroup("Quality", {w::kQualityDefault, w::kQualityLower, w::kQualityHigher}, {"default", "lower", "higher"});
  layout->addStretch();
}

void SetupWizard::BuildSound(Page& page, bool capture) {
  auto& model = static_cast<app::SoundDevicePage&>(page.Model());
  const std::string device(model.DeviceKey()), volume(model.VolumeKey());
  auto* layout = new QVBoxLayout(&page);
  auto* prompt = new QLabel(ToQt(capture ? w::kSpeakPrompt : w::kTestSoundPrompt));
  prompt->setWordWrap(true);
  layout->addWidget(prompt);
  auto* form = new QFormLayout;
  auto* deviceBox = DeviceBox(capture ? hooks_.captureChoices : hooks_.playbackChoices);
  auto* channel = new QSpinBox;
  channel->setRange(0, 63);
  auto* slider = VolumeSlider();
  form->addRow(capture ? "Sound &device:" : "Play &device:", deviceBox);
  form->addRow("&Channel:", channel);
  page.Bind(device, deviceBox);
  page.Bind(device + "Channel", channel);
  page.Bind(volume, slider);
  if (capture) {
    meter_ = new QProgressBar;
    meter_->setRange(app::kMeterFloorDb, app::kMeterTopDb);
    meter_->setValue(app::kMeterFloorDb);
    meter_->setTextVisible(false);
    auto* marks = new QHBoxLayout;
    marks->addWidget(new QLabel(ToQt(w::kMeterLow)), 1, Qt::AlignLeft);
    marks->addWidget(new QLabel(ToQt(w::kMeterGood)), 1, Qt::AlignHCenter);
    marks->addWidget(new QLabel(ToQt(w::kMeterHigh)), 1, Qt::AlignRight);
    layout->addWidget(meter_);
    layout->addLayout(marks);
  }
  form->addRow(capture ? "&Record volume:" : "Play &volume:", slider);
  layout->addLayout(form);
  QProgressBar* meter = meter_;
  auto start = [this, deviceBox, slider, capture, meter] {
    const std::string chosen = FromQt(deviceBox->currentText());
    if (!capture) {
      if (hooks_.playTest) hooks_.playTest(chosen, slider->value());
      return;
    }
    if (!hooks_.listen) return;
    hooks_.listen(chosen, slider->value(), [meter = QPointer<QProgressBar>(meter)](int level) {
      if (meter) meter->setValue(std::clamp(level, app::kMeterFloorDb, app::kMeterTopDb));
    });
  };
  page.onShow = start;
  page.onLeave = [this, capture] {
    if (capture && hooks_.stopListening) hooks_.stopListening();
    if (!capture && hooks_.stopTest) hooks_.stopTest();
  };
  connect(deviceBox, &QComboBox::currentTextChanged, &page, [start, &page] {
    if (page.isVisible()) start();
  });
  connect(slider, &QSlider::sliderReleased, &page, start);
  if (!capture) {
    auto* again = new QPushButton("&Play Test Sound");
    connect(again, &QPushButton::clicked, &page, start);
    layout->addWidget(again, 0, Qt::AlignLeft);
  }
  layout->addStretch();
}

void SetupWizard::BuildSipSetup(Page& page) {
  auto* layout = new QVBoxLayout(&page);
  auto* group = new QButtonGroup(&page);
  links_.assign(3, nullptr);
  const std::pair<std::string_view, std::string_view> choices[] = {
      {w::kHaveAccount, {}}, {w::kNoAccount, w::kSignUpLink}, {w::kUseIpDirectly, "Networking help"}};
  const std::string_view topics[] = {{}, w::kSignUpTopic, w::kIpSetupTopic};
  for (int id = 0; id < 3; ++id) {
    auto* radio = new QRadioButton(ToQt(choices[id].first));
    group->addButton(radio, id);
    layout->addWidget(radio);
    if (choices[id].second.empty()) continue;
    auto* link = new QPushButton(ToQt(choices[id].second));
    link->setFlat(true);
    link->setStyleSheet(
        "QPushButton { color: palette(link); text-decoration: underline; text-align: left; margin-left: 20px; }"
        "QPushButton:disabled { color: palette(mid); }");
    link->setEnabled(false);
    connect(link, &QPushButton::clicked, this, [this, topic = topics[id]] {
      if (hooks_.openHelp) hooks_.openHelp(topic);
    });
    layout->addWidget(link, 0, Qt::AlignLeft);
    links_[static_cast<std::size_t>(id)] = link;
  }
  layout->addStretch();
  page.Bind("Account", group);
  auto* model = static_cast<app::SipSetupPage*>(&page.Model());
  page.complete = [model] { return model->CanGoNext(); };
  connect(group, &QButtonGroup::idToggled, &page, [this, &page, model] {
    page.ToModel();
    for (int id = 0; id < 3; ++id) {
      if (links_[static_cast<std::size_t>(id)] == nullptr) continue;
      links_[static_cast<std::size_t>(id)]->setEnabled(model->LinkEnabled(static_cast<app::SipSetupPage::Choice>(id)));
    }
    page.Changed();
  });
}

void SetupWizard::BuildSipDetails(Page& page) {
  auto* form = new QFormLayout(&page);
  const struct {
    const char* key;
    const char* label;
    std::string_view cue;
    bool password;
  } fields[] = {{"DisplayName", "&Name:", w::kNameCue, false},
                {"UserName", "SIP &account number:", w::kUserCue, false},
                {"Proxy", "SIP &server:", w::kServerCue, false},
                {"ProxyPassword", "&Password:", {}, true}};
  for (const auto& f : fields) {
    auto* edit = new QLineEdit;
    edit->setPlaceholderText(ToQt(f.cue));
    if (f.password) edit->setEchoMode(QLineEdit::Password);
    edit->setObjectName(f.key);
    form->addRow(f.label, edit);
    page.Bind(f.key, edit);
  }
}

QWidget* SetupWizard::Control(const std::string& page, const std::string& key) const {
  for (Page* p : pages_) {
    if (p->Model().Name() != page) continue;
    QObject* bound = p->Bound(key);
    if (auto* group = qobject_cast<QButtonGroup*>(bound)) return group->checkedButton();
    return qobject_cast<QWidget*>(bound);
  }
  return nullptr;
}

QPushButton* SetupWizard::Link(int choice) const {
  if (choice < 0 || static_cast<std::size_t>(choice) >= links_.size()) return nullptr;
  return links_[static_cast<std::size_t>(choice)];
}

void SetupWizard::ShowMessage(const app::OptionsMessage& message) {
  lastMessage_ = message;
  auto* box = new QMessageBox(QMessageBox::NoIcon, ToQt(message.title), ToQt(message.text), QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

void SetupWizard::done(int result) {
  // The microphone and the test sound stop with the wizard, whichever way it closes.
  if (hooks_.stopListening) hooks_.stopListening();
  if (hooks_.stopTest) hooks_.stopTest();
  QWizard::done(result);
}

}  // namespace corvina::ui
