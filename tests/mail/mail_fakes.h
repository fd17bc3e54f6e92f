// A progress sink that records what the user would see.
#pragma once

#include <string>
#include <vector>

#include "mail/smtp_exchange.h"

namespace corvina::mail {

struct RecordingProgress : MailProgress {
  void SetText(std::string_view text, int) override { texts.emplace_back(text); }
  void SetFraction(double) override {}
  void ReportError(std::string_view text) override { errors.emplace_back(text); }
  void LogNote(std::string_view text) override { notes.emplace_back(text); }
  std::vector<std::string> texts, errors, notes;
};

}  // namespace corvina::mail
