// The tabbed Options dialog: Audio, Lines, Net 1, Net 2, Record and Hold, each tab a view of
// one option page object (app/options), so the window follows the same rules as the console
// and `corvina options`. OK confirms the pages in tab order; a refusal shows its box, brings
// its tab and field forward and keeps the dialog open. When every page is confirmed the
// dialog calls `applied` (the controller's Apply) and closes. Qt main thread only.
#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/options/line_pages.h"
#include "app/options/options_page.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace corvina::ui {

struct OptionsDialogHooks {
  std::function<void()> applied;            // after a confirmed OK
  std::function<void()> viewLogs;           // Net 1's "View Logs"
  std::function<void()> runAudioWizard;     // Audio's "Run Audio Setup Wizard" (null: greyed)
  std::function<void()> runNetworkTool;     // Net 1's "Run Network Setup Wizard" (null: greyed)
  std::vector<std::string> captureChoices;  // the Audio tab's device lists
  std::vector<std::string> playbackChoices;
};

class OptionsDialog final : public QDialog {
  Q_OBJECT

 public:
  // `env` and `settings` outlive the dialog. `page` is the tab shown first.
  OptionsDialog(platform::Settings& settings, app::OptionsEnvironment& env, OptionsDialogHooks hooks, int page,
                QWidget* parent);
  ~OptionsDialog() override;

  // For tests: the tabs, the control bound to a setting, the last box shown, the advanced
  // button and its dialog while open.
  QTabWidget* Tabs() const { return tabs_; }
  QWidget* Control(const std::string& page, const std::string& key) const;
  const app::OptionsMessage& LastMessage() const { return lastMessage_; }
  QPushButton* AdvancedButton() const { return advanced_; }
  QComboBox* LineChooser() const { return chooser_; }
  QDialog* AdvancedDialog() const { return advancedDialog_; }

  void accept() override;

 private:
  struct Binding;
  struct Tab;
  Tab& AddTab(std::unique_ptr<app::OptionsPage> page, const QString& title);
  void Bind(Tab& tab, const std::string& key, QObject* control);
  void ToPage(Tab& tab);
  void FromPage(Tab& tab);
  void Show(const app::OptionsMessage& message);
  bool Refused(Tab& tab, const std::optional<app::OptionsMessage>& refusal);
  void BuildAudio();
  void BuildLines();
  void BuildNet1();
  void BuildNet2();
  void BuildRecord();
  void BuildHold();
  void ChooseLine(int entry);
  void UpdateLineControls();
  void OpenAdvanced();

  platform::Settings& settings_;
  app::OptionsEnvironment& env_;
  OptionsDialogHooks hooks_;
  QTabWidget* tabs_ = nullptr;
  std::vector<std::unique_ptr<Tab>> pages_;
  app::LinesPage* lines_ = nullptr;  // owned by its tab
  QComboBox* chooser_ = nullptr;
  QPushButton* advanced_ = nullptr;
  QPointer<QDialog> advancedDialog_;
  std::unique_ptr<Tab> advancedTab_;  // the advanced dialog's page while it is open
  app::OptionsMessage lastMessage_;
};

}  // namespace corvina::ui
