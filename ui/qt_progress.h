// The progress window on Qt: a modeless dialog over a disabled parent with two text lines, a
// bar (or a marquee) and Cancel. Waits run a nested event loop that wakes for the awaited
// events and sockets (socket notifiers on their descriptors), for the time-out, and when the
// dialog goes away; everything else the loop meets is handled as usual, so Cancel works.
// Closing the parent, or any window it sits in, cancels the operation first, as Cancel does.
#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>

#include "app/progress/progress_sink.h"
#include "platform/clock.h"


class QLabel;
class QProgressBar;
class QWidget;

namespace corvina::ui {

class QtProgressWindow final : public app::CooperativeProgressWindow {
 public:
  // `parent` may be null; it is disabled while an operation runs. Qt main thread only.
  explicit QtProgressWindow(QWidget* parent);
  ~QtProgressWindow() override;

  // The dialog while an operation runs (null otherwise or once cancelled), for tests.
  QDialog* Dialog() const { return dialog_; }

  bool Pump() override;
  void ReportError(std::string_view text) override;
  void SetText(std::string_view text, int line) override;
  void SetFraction(double fraction) override;
  void StartIndeterminate() override;
  void StopIndeterminate() override;

 private:
  void Open(std::string_view title) override;
  void Close() override;
  std::uint32_t NowMs() override { return clock_.NowMs(); }
  int WaitSourcesOrInput(std::span<const platform::WaitSource> sources, int timeoutMs) override;
  bool PumpInput() override { return Pump(); }
  bool Gone() const override { return cancelled_ || dialog_.isNull(); }

  QWidget* parent_;
  platform::SystemTickClock clock_;
  QPointer<QDialog> dialog_;  // deleted on Cancel or close; Qt main thread, as all of this
  std::unique_ptr<QObject> closeWatch_;  // filters the parent's and its ancestors' events while open
  bool cancelled_ = false;    // the user closed the dialog
  QLabel* lines_[2] = {nullptr, nullptr};
  QProgressBar* bar_ = nullptr;
};

}  // namespace corvina::ui
