// The setup wizards on Qt: the first-run wizard (talk mode and quality, microphone, sound output,
// SIP account choice and details) and the audio setup wizard (its first three pages). Each page
// is a view of one wizard page object (app/wizards): it is loaded as it shows and confirmed as
// the user leaves it with Next or Finish; a refusal shows its box and keeps the page. The
// microphone page's meter follows the chosen capture device live; the output page plays the
// test sound on the chosen play device, saved or not. Qt main thread only.
#pragma once

#include <QWizard>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/options/options_page.h"
#include "app/wizards/wizard_kind.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace corvina::ui {

struct SetupWizardHooks {
  std::vector<std::string> captureChoices;  // the device lists
  std::vector<std::string> playbackChoices;
  // Starts listening to `device` at `volume` for the meter; `level` hears its levels (dB as
  // the meters count them). Called again for every change of device or volume.
  std::function<void(const std::string& device, int volume, std::function<void(int level)> level)> listen;
  std::function<void()> stopListening;
  // Plays the test sound on `device` at `volume`; stops it.
  std::function<void(const std::string& device, int volume)> playTest;
  std::function<void()> stopTest;
  // Opens a help topic ("corvina/sip", "ipsetup").
  std::function<void(std::string_view topic)> openHelp;
};

class SetupWizard final : public QWizard {
  Q_OBJECT

 public:
  // `settings` and `env` outlive the wizard.
  SetupWizard(app::WizardKind kind, platform::Settings& settings, app::OptionsEnvironment& env, SetupWizardHooks hooks,
              QWidget* parent);
  ~SetupWizard() override;

  // For tests: the control bound to a page's setting (a radio group's checked button), the
  // microphone meter, a SIP Setup choice's link, the last box shown.
  QWidget* Control(const std::string& page, const std::string& key) const;
  QProgressBar* Meter() const { return meter_; }
  QPushButton* Link(int choice) const;
  const app::OptionsMessage& LastMessage() const { return lastMessage_; }

  void done(int result) override;

 private:
  class Page;
  Page* AddPage(std::string_view name, std::string_view title, std::string_view subtitle);
  void BuildMode(Page& page);
  void BuildSound(Page& page, bool capture);
  void BuildSipSetup(Page& page);
  void BuildSipDetails(Page& page);
  void ShowMessage(const app::OptionsMessage& message);

  platform::Settings& settings_;
  app::OptionsEnvironment& env_;
  SetupWizardHooks hooks_;
  std::vector<Page*> pages_;  // owned by the wizard
  QProgressBar* meter_ = nullptr;
  std::vector<QPushButton*> links_;  // by SIP Setup choice; null where a choice has none
  app::OptionsMessage lastMessage_;
};

}  // namespace corvina::ui
