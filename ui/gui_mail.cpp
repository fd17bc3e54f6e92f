// The program's e-mail commands in the window.
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>

#include "app/controller/call_recording.h"
#include "app/mail_progress.h"
#include "ui/gui_frontend.h"

namespace corvina::ui {

void GuiFrontend::AddMailCommands(app::MainWindow& window) {
  QMenu* tools = view_.ToolsMenu();
  if (tools == nullptr) return;
  QAction* folder = view_.MenuAction(2003);
  const QList<QAction*> actions = tools->actions();
  const qsizetype at = actions.indexOf(folder);
  QAction* before = at >= 0 && at + 1 < actions.size() ? actions[at + 1] : nullptr;
  auto* sendRecording = new QAction("Send Recording by &Email...", tools);
  tools->insertAction(before, sendRecording);
  QObject::connect(sendRecording, &QAction::triggered, &view_, [this, &window] {
    platform::Settings& settings = window.Program().settings;
    const std::string recordings =
        app::ReadRecorderSettings(settings, window.Program().paths.DataFolder()).folder;
    const QString file = QFileDialog::getOpenFileName(&view_, "Recording to Send", QString::fromStdString(recordings),
                                                      "Recordings (*.wav *.mp3);;All Files(*)");
    if (file.isEmpty()) return;
    OpenCompose(window, ComposeMailDialog::Kind::kRecording, settings.GetSettingString("Settings", "EmailTo", ""),
                file.toStdString());
  });
  auto* emailSettings = new QAction("&Email Settings...", tools);
  tools->insertAction(before, emailSettings);
  QObject::connect(emailSettings, &QAction::triggered, &view_, [this, &window] {
    ShowDialog(emailSettings_, [&] { return new EmailSettingsDialog(window.Program().settings, mailEnv_, &view_); });
  });
}

void GuiFrontend::OpenCompose(app::MainWindow& window, ComposeMailDialog::Kind kind, const std::string& to,
                              const std::string& attachment) {
  auto send = [this, &window](const mail::MailRequest& request, QWidget* parent) {
    return SendMail(window, request, parent);
  };
  auto* dialog = new ComposeMailDialog(kind, to, attachment, window.Program().settings, send, &view_);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->open();
}

mail::MailResult GuiFrontend::SendMail(app::MainWindow& window, const mail::MailRequest& request, QWidget* parent) {
  app::ProgramObjects& program = window.Program();
  // The settings are read here, on this thread; the send's worker sees only copies.
  const mail::MailSettings settings = mail::ReadMailSettings(program.settings);
  const bool noteShown = program.settings.GetSettingString("Email", "SetViewed", "") == "1";
  const std::string dataFolder = program.paths.DataFolder();
  app::MailSendOutcome outcome;  // written by the worker, read after it ended
  QtProgressWindow progress(parent);
  const mail::MailResult result =
      app::RunMailInProgress(&progress, &program.activityLog, [&](mail::MailProgress& shown, platform::Event* stop) {
        outcome = app::SendMailAsSet(request, settings, noteShown, dataFolder, shown, stop);
        return outcome.result;
      });
  if (!outcome.note.empty()) {
    program.settings.SetSettingString("Email", "SetViewed", "1");
    auto* box = new QMessageBox(QMessageBox::Information, "Email", QString::fromStdString(outcome.note),
                                QMessageBox::Ok, &view_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
  }
  return result;
}

}  // namespace corvina::ui
