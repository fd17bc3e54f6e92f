// The phone's main window on Qt. It only shows what the controller tells it (MainView) and
// forwards the user's actions; the phone's behaviour stays in the controller.
#pragma once

#include <QLabel>
#include <QListWidget>
#include <QMainWindow>

#include "app/main_view.h"
#include "app/main_window.h"

namespace corvina::ui {

class QtMainView final : public QMainWindow, public app::MainView {
  Q_OBJECT

 public:
  QtMainView();

  void Attach(app::MainWindow* controller) { controller_ = controller; }

  void BringToFront() override;
  void ShowStatusWindow(bool visible) override;
  void StatusWindowChanged() override;
  void Close() override { close(); }
  void RegistrationChanged(const app::LineRegistrationState& state) override;

  QListWidget* StatusWindowList() const { return statusList_; }
  // One line per phone line: its address of record and whether it is registered.
  QLabel* RegistrationText() const { return registrationText_; }

 private:
  void RefreshStatusWindow();

  app::MainWindow* controller_ = nullptr;
  QListWidget* statusList_ = nullptr;
  QLabel* registrationText_ = nullptr;
  QAction* statusAction_ = nullptr;
};

}  // namespace corvina::ui
