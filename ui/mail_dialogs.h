// The e-mail windows. "Email Settings" edits the `Email` keys through the Email option page, so
// it follows the same rules as the console and `corvina options`; while authentication is on it
// says that the login goes in clear to a server without STARTTLS. The compose dialog writes a
// message (Send Mail, Invite Friends) or sends a recording with the fixed subject and body. Send
// runs the caller's send (in the progress window); a refusal or a failed send keeps the dialog
// open. Qt main thread only.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "app/options/mail_page.h"
#include "mail/smtp_client.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace corvina::ui {

class EmailSettingsDialog final : public QDialog {
 public:
  // `settings` and `env` outlive the dialog.
  EmailSettingsDialog(platform::Settings& settings, app::OptionsEnvironment& env, QWidget* parent);

  // For tests: the control bound to a key of the page, the clear-login note and the last box.
  QWidget* Control(const std::string& key) const;
  QLabel* Note() const { return note_; }
  const app::OptionsMessage& LastMessage() const { return lastMessage_; }

  void accept() override;

 private:
  void UpdateControls();

  app::EmailPage page_;
  QComboBox* method_ = nullptr;
  QCheckBox* useHost_ = nullptr;
  QLineEdit* host_ = nullptr;
  QCheckBox* auth_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QCheckBox* sendDirect_ = nullptr;
  QLineEdit* replyTo_ = nullptr;
  QLabel* note_ = nullptr;
  app::OptionsMessage lastMessage_;
};

class ComposeMailDialog final : public QDialog {
 public:
  enum class Kind { kMessage, kInvitation, kRecording };
  // Sends the request with `parent` (the dialog) disabled behind the progress window; its result code.
  using Send = std::function<mail::MailResult(const mail::MailRequest& request, QWidget* parent)>;

  // `to` pre-fills the recipients; `attachment` is the recording of kRecording. A recording's
  // recipient is checked as an address and stored as `EmailTo` in `settings`.
  ComposeMailDialog(Kind kind, std::string to, std::string attachment, platform::Settings& settings, Send send,
                    QWidget* parent);

  QLineEdit* To() const { return to_; }
  QLineEdit* Subject() const { return subject_; }
  QPlainTextEdit* Body() const { return body_; }
  // The text of the last box shown (empty: none).
  const std::string& LastMessage() const { return lastMessage_; }

  void accept() override;

 private:
  void Show(const std::string& title, const std::string& text);

  Kind kind_;
  std::string attachment_;
  platform::Settings& settings_;
  Send send_;
  QLineEdit* to_ = nullptr;
  QLineEdit* subject_ = nullptr;
  QPlainTextEdit* body_ = nullptr;
  std::string lastMessage_;
};

// The texts of a recording sent by e-mail and of an invitation.
inline constexpr const char* kRecordingSubject = "Corvina Attachment";
inline constexpr const char* kRecordingBody = "Please see the attachment sent by Corvina.";
inline constexpr const char* kEnterValidAddress = "Please enter a valid email address.";
inline constexpr const char* kRecordingSendFailed =
    "Unable to send the email, please check your settings and the address you are sending to.";
inline constexpr const char* kInvitationSubject = "Join me on Corvina";
inline constexpr const char* kInvitationBody =
    "Hello,\n\nI make my calls with Corvina, a SIP phone. Install it too and call me.\n";

}  // namespace corvina::ui
