// The Qt progress window: the parent is disabled while it runs, Cancel ends a long wait, a
// source signalled before the wait wins without handling input, one signalled during the wait
// wakes it, and the bar and lines show what the operation sets.
#include <gtest/gtest.h>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include "ui/qt_progress.h"

namespace corvina::ui {
namespace {

using app::WaitResult;

void ClickCancel(QtProgressWindow& window) {
  QDialog* dialog = window.Dialog();
  ASSERT_NE(dialog, nullptr);
  QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel), Qt::LeftButton);
}

TEST(QtProgressWindow, WaitsEndOnCancelOrSignal) {
  struct Case {
    const char* name;
    bool setBefore;     // the event is set before the wait
    bool setDuring;     // the event is set by input handled during the wait
    bool cancelDuring;  // the user presses Cancel during the wait
    WaitResult result;
    bool stillOpen;
  };
  const Case cases[] = {
      {"cancel in a 10 s wait", false, false, true, WaitResult::kCancelled, false},
      {"signalled before: no input handled", true, false, true, WaitResult::kDone, true},
      {"signalled during the wait", false, true, false, WaitResult::kDone, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QWidget parent;
    parent.show();
    QtProgressWindow window(&parent);
    platform::Event event;
    bool stillOpen = false;
    const WaitResult result = window.Run("Testing Lumo Server", [&](app::ProgressSink& sink) {
      EXPECT_FALSE(parent.isEnabled());
      EXPECT_EQ(window.Dialog()->windowTitle(), "Testing Lumo Server");
      if (c.setBefore) event.Set();
      QTimer::singleShot(0, window.Dialog(), [&] {
        if (c.setDuring) event.Set();
        if (c.cancelDuring) ClickCancel(window);
      });
      const WaitResult waited = sink.WaitOne(platform::WaitSource::Of(event), 10000);
      stillOpen = window.Dialog() != nullptr && window.Dialog()->isVisible();
      return waited;
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(stillOpen, c.stillOpen);
    EXPECT_FALSE(event.IsSet());
    EXPECT_TRUE(parent.isEnabled());
    EXPECT_EQ(window.Dialog(), nullptr);
  }
}

TEST(QtProgressWindow, ShowsLinesBarMarqueeAndTimesOut) {
  QWidget parent;
  QtProgressWindow window(&parent);
  window.Run("Importing Contacts", [&](app::ProgressSink& sink) {
    sink.SetText("Importing", 0);
    sink.SetText("Ada Lovelace", 1);
    sink.SetFraction(0.995);
    const auto labels = window.Dialog()->findChildren<QLabel*>();
    EXPECT_EQ(labels.at(0)->text(), "Importing");
    EXPECT_EQ(labels.at(1)->text(), "Ada Lovelace");
    auto* bar = window.Dialog()->findChild<QProgressBar*>();
    EXPECT_EQ(bar->value(), 99);
    sink.StartIndeterminate();
    EXPECT_EQ(bar->maximum(), 0);
    sink.StopIndeterminate();
    EXPECT_EQ(bar->maximum(), 100);
    platform::Event never;
    EXPECT_EQ(sink.WaitOne(platform::WaitSource::Of(never), 1), WaitResult::kFailed);
    EXPECT_EQ(sink.Sleep(1), WaitResult::kDone);
    return WaitResult::kDone;
  });
}

}  // namespace
}  // namespace corvina::ui
