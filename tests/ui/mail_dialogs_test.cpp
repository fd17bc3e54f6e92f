// The e-mail windows stay open on a refusal: Email Settings with its page's box (and the
// clear-login note while authentication is on), a recording's compose with a bad address (no
// send) or a failed send; a good address is stored as EmailTo and a sent message closes it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "app/options/options_texts.h"
#include "platform/memory_settings_store.h"
#include "ui/mail_dialogs.h"

namespace corvina::ui {
namespace {

TEST(MailDialogs, ARefusalOrAFailedSendKeepsTheDialogOpen) {
  platform::MemorySettingsStore store;
  platform::Settings settings(store);
  app::OptionsEnvironment env;
  EmailSettingsDialog email(settings, env, nullptr);
  email.show();
  EXPECT_TRUE(email.Note()->isHidden());
  qobject_cast<QCheckBox*>(email.Control("SMTPAuthOn"))->setChecked(true);
  EXPECT_FALSE(email.Note()->isHidden());
  email.accept();
  EXPECT_TRUE(email.isVisible());
  EXPECT_EQ(email.LastMessage().text, app::options_texts::kInvalidMailUser);

  struct { const char* to; mail::MailResult sent; int sends; std::string message; bool open; } cases[] = {
      {"ann@example", mail::MailResult::kDone, 0, kEnterValidAddress, true},
      {"ann@example.org", mail::MailResult::kFailed, 1, kRecordingSendFailed, true},
      {"ann@example.org", mail::MailResult::kDone, 1, "", false},
  };
  for (const auto& c : cases) {
    std::vector<mail::MailRequest> sent;
    ComposeMailDialog dialog(ComposeMailDialog::Kind::kRecording, "", "/r/call.wav", settings,
                             [&](const mail::MailRequest& r, QWidget*) { sent.push_back(r); return c.sent; }, nullptr);
    dialog.show();
    dialog.To()->setText(c.to);
    dialog.accept();
    EXPECT_EQ(dialog.isVisible(), c.open) << c.to;
    EXPECT_EQ(dialog.LastMessage(), c.message);
    ASSERT_EQ(sent.size(), static_cast<std::size_t>(c.sends));
    if (c.sends == 0) continue;
    EXPECT_EQ(sent[0].attachments, std::vector<std::string>{"/r/call.wav"});
    EXPECT_EQ(sent[0].subject, kRecordingSubject);
    EXPECT_EQ(settings.GetSettingString("Settings", "EmailTo", ""), c.to);
  }
}

}  // namespace
}  // namespace corvina::ui
