#include "ui/mail_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/options/options_texts.h"
#include "contacts/contact_rules.h"
#include "ui/qt_text.h"

namespace corvina::ui {
namespace {

QDialogButtonBox* AddButtons(QDialog* dialog, QVBoxLayout* layout, const char* okText) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  buttons->button(QDialogButtonBox::Ok)->setText(okText);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  layout->addWidget(buttons);
  return buttons;
}

// A box that does not block: the dialog stays usable behind it and tests can read it.
void OpenBox(QWidget* parent, const std::string& title, const std::string& text) {
  auto* box = new QMessageBox(QMessageBox::Warning, ToQt(title), ToQt(text), QMessageBox::Ok, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

}  // namespace

EmailSettingsDialog::EmailSettingsDialog(platform::Settings& settings, app::OptionsEnvironment& env, QWidget* parent)
    : QDialog(parent), page_(settings, env) {
  setObjectName("emailSettings");
  setWindowTitle("Email Settings");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);
  method_ = new QComboBox(this);
  method_->addItems({"Send with this program's mail client (SMTP)", "Hand to the local mail system"});
  form->addRow("Send email:", method_);
  useHost_ = new QCheckBox("Send through this mail server", this);
  form->addRow(useHost_);
  host_ = new QLineEdit(this);
  host_->setPlaceholderText("mail.example.com:587");
  form->addRow("Mail server:", host_);
  sendDirect_ = new QCheckBox("Deliver directly when the mail server cannot be reached", this);
  form->addRow(sendDirect_);
  auth_ = new QCheckBox("The server requires authentication", this);
  form->addRow(auth_);
  user_ = new QLineEdit(this);
  form->addRow("User name:", user_);
  password_ = new QLineEdit(this);
  password_->setEchoMode(QLineEdit::Password);
  form->addRow("Password:", password_);
  note_ = new QLabel(ToQt(app::options_texts::kClearAuthNote), this);
  note_->setWordWrap(true);
  form->addRow(note_);
  replyTo_ = new QLineEdit(this);
  form->addRow("Reply-to address:", replyTo_);
  AddButtons(this, layout, "OK");

  page_.Load();
  method_->setCurrentIndex(page_.Get("UseMAPI") == "0" ? 0 : 1);
  useHost_->setChecked(page_.Get("UseSMTPHost") == "1");
  host_->setText(ToQt(page_.Get("MailSMTPHost")));
  auth_->setChecked(page_.Get("SMTPAuthOn") == "1");
  user_->setText(ToQt(page_.Get("SMTPUserName")));
  password_->setText(ToQt(page_.Get("SMTPPassword")));
  sendDirect_->setChecked(page_.Get("SendDirect") == "1");
  replyTo_->setText(ToQt(page_.Get("ReplyToEmail")));
  for (QCheckBox* box : {useHost_, auth_}) connect(box, &QCheckBox::toggled, this, [this] { UpdateControls(); });
  connect(method_, &QComboBox::currentIndexChanged, this, [this] { UpdateControls(); });
  UpdateControls();
}

void EmailSettingsDialog::UpdateControls() {
  const bool smtp = method_->currentIndex() == 0;
  for (QWidget* w : {static_cast<QWidget*>(useHost_), static_cast<QWidget*>(sendDirect_),
                     static_cast<QWidget*>(auth_)}) {
    w->setEnabled(smtp);
  }
  host_->setEnabled(smtp && useHost_->isChecked());
  user_->setEnabled(smtp && auth_->isChecked());
  password_->setEnabled(smtp && auth_->isChecked());
  note_->setVisible(auth_->isChecked());
}

QWidget* EmailSettingsDialog::Control(const std::string& key) const {
  const std::pair<const char*, QWidget*> controls[] = {
      {"UseMAPI", method_},   {"UseSMTPHost", useHost_},  {"MailSMTPHost", host_}, {"SMTPAuthOn", auth_},
      {"SMTPUserName", user_}, {"SMTPPassword", password_}, {"SendDirect", sendDirect_}, {"ReplyToEmail", replyTo_}};
  for (const auto& [name, widget] : controls) {
    if (key == name) return widget;
  }
  return nullptr;
}

void EmailSettingsDialog::accept() {
  page_.Set("UseMAPI", method_->currentIndex() == 0 ? "0" : "1");
  page_.Set("UseSMTPHost", useHost_->isChecked() ? "1" : "0");
  page_.Set("MailSMTPHost", FromQt(host_->text()));
  page_.Set("SMTPAuthOn", auth_->isChecked() ? "1" : "0");
  page_.Set("SMTPUserName", FromQt(user_->text()));
  page_.Set("SMTPPassword", FromQt(password_->text()));
  page_.Set("SendDirect", sendDirect_->isChecked() ? "1" : "0");
  page_.Set("ReplyToEmail", FromQt(replyTo_->text()));
  if (std::optional<app::OptionsMessage> refusal = page_.Confirm()) {
    lastMessage_ = *refusal;
    OpenBox(this, refusal->title, refusal->text);
    if (QWidget* field = Control(refusal->field)) field->setFocus();
    return;
  }
  QDialog::accept();
}

ComposeMailDialog::ComposeMailDialog(Kind kind, std::string to, std::string attachment, platform::Settings& settings,
                                     Send send, QWidget* parent)
    : QDialog(parent), kind_(kind), attachment_(std::move(attachment)), settings_(settings), send_(std::move(send)) {
  setObjectName("composeMail");
  const char* titles[] = {"Send Mail", "Invite Friends", "Send Recording by Email"};
  setWindowTitle(titles[static_cast<int>(kind)]);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);
  to_ = new QLineEdit(ToQt(to), this);
  to_->setPlaceholderText("name@example.com, ...");
  form->addRow("To:", to_);
  subject_ = new QLineEdit(this);
  form->addRow("Subject:", subject_);
  body_ = new QPlainTextEdit(this);
  layout->addWidget(body_);
  if (kind == Kind::kInvitation) {
    subject_->setText(kInvitationSubject);
    body_->setPlainText(kInvitationBody);
  }
  if (kind == Kind::kRecording) {
    subject_->setText(kRecordingSubject);
    body_->setPlainText(kRecordingBody);
    subject_->setReadOnly(true);
    body_->setReadOnly(true);
    body_->setMaximumHeight(60);
    form->addRow("Attachment:", new QLabel(QFileInfo(ToQt(attachment_)).fileName(), this));
  }
  AddButtons(this, layout, "Send");
  resize(380, kind == Kind::kRecording ? 160 : 300);
}

void ComposeMailDialog::Show(const std::string& title, const std::string& text) {
  lastMessage_ = text;
  OpenBox(this, title, text);
}

void ComposeMailDialog::accept() {
  mail::MailRequest request;
  request.recipients = FromQt(to_->text().trimmed());
  request.subject = FromQt(subject_->text());
  request.body = FromQt(body_->toPlainText());
  if (kind_ == Kind::kRecording) {
    if (!contacts::IsValidEmail(request.recipients)) {
      Show("Error", kEnterValidAddress);
      to_->setFocus();
      return;
    }
    settings_.SetSettingString("Settings", "EmailTo", request.recipients);
    request.attachments.push_back(attachment_);
  }
  // The send reports its own failure once; a recording adds the hint to check the settings.
  const mail::MailResult result = send_ ? send_(request, this) : mail::MailResult::kFailed;
  if (result == mail::MailResult::kDone) {
    QDialog::accept();
    return;
  }
  if (kind_ == Kind::kRecording && result == mail::MailResult::kFailed) Show("Error", kRecordingSendFailed);
}

}  // namespace corvina::ui
