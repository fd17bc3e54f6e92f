#include "app/controller/status_display.h"

#include "app/controller/dial_text.h"
#include "app/controller/phone_texts.h"
#include "platform/text.h"

namespace corvina::app {
namespace {

using sip::RegistrationPhase;

// The account as the user knows it: the address of record without "sip:" and, for a line
// without a domain, without the trailing "@".
std::string_view Account(std::string_view aor) {
  if (aor.starts_with("sip:")) aor.remove_prefix(4);
  if (aor.ends_with('@')) aor.remove_suffix(1);
  return aor;
}

std::string RegistrationWords(const LineRegistrationState& s) {
  if (!s.registers) return std::string(texts::kPeerToPeer);
  switch (s.phase) {
    case RegistrationPhase::kRegistering: return std::string(texts::kRegistering);
    case RegistrationPhase::kRegistered: return std::string(texts::kRegistered);
    case RegistrationPhase::kNoPassword: return std::string(texts::kNoPassword);
    case RegistrationPhase::kRefused: return std::string(texts::kPasswordRefused);
    case RegistrationPhase::kNoAnswer: return std::string(texts::kServerNotAnswering);
    case RegistrationPhase::kRejected: return platform::FormatText(texts::kRejected, s.status, s.reason.c_str());
    case RegistrationPhase::kPeerToPeer: break;
  }
  return std::string(texts::kPeerToPeer);
}

}  // namespace

DisplayRow StatusDisplay::RegistrationRow(const LineRegistrationState& s) {
  std::string text = platform::FormatText(texts::kDisplayRegistration, s.line);
  const std::string words = RegistrationWords(s);
  for (std::string_view part : {Account(s.addressOfRecord), std::string_view(words)}) {
    if (!part.empty()) text.append(" ").append(part);
  }
  const RegistrationPhase p = s.phase;
  const bool failed = s.registers && (p == RegistrationPhase::kNoPassword || p == RegistrationPhase::kRefused ||
                                      p == RegistrationPhase::kNoAnswer || p == RegistrationPhase::kRejected);
  return {CutToField(text), failed};
}

std::string StatusDisplay::LineTip(const LineRegistrationState& s) {
  std::string tip = RegistrationRow(s).text;
  if (s.registers) tip += platform::FormatText(texts::kLineTipServer, s.server.c_str());
  return tip;
}

void StatusDisplay::SetRegistration(const LineRegistrationState& state) {
  if (state.line == 1 || state.line == 2) registrations_[state.line - 1] = RegistrationRow(state);
}

void StatusDisplay::SetCallDetails(std::string_view name, std::string_view number, std::string_view digits) {
  callRows_.clear();
  const bool named = !name.empty() && name != number;
  const std::string party = named ? platform::FormatText(texts::kDisplayParty, std::string(name).c_str(),
                                                         std::string(number).c_str())
                                   : std::string(number);
  if (!party.empty()) callRows_.push_back({CutToField(party)});
  if (!digits.empty()) {
    callRows_.push_back({CutToField(platform::FormatText(texts::kDisplayDigits, std::string(digits).c_str()))});
  }
}

void StatusDisplay::ShowIdle() {
  text_ = texts::kIdleTitle;
  idle_ = true;
  callRows_.clear();
  note_.clear();
  shownLine_ = kNoLine;
  start_ = 0;
}

void StatusDisplay::ShowConference(int number) {
  text_ = texts::kConferenceTitle;
  idle_ = false;
  callRows_.clear();
  shownLine_ = kConference;
  conferenceNumber_ = number;
}

void StatusDisplay::ShowTransfer() {
  text_ = texts::kTransferTitle;
  idle_ = false;
  callRows_.clear();
  shownLine_ = kNoLine;
}

void StatusDisplay::Show(std::string_view text, int line, std::time_t start) {
  text_ = CutToField(text);
  idle_ = false;
  shownLine_ = line;
  start_ = start;
}

void StatusDisplay::SetNote(std::string_view note) { note_ = CutToField(note); }

std::string StatusDisplay::FormatElapsed(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const long hours = static_cast<long>(seconds / 3600);
  const long minutes = static_cast<long>(seconds / 60 % 60);
  const int secs = static_cast<int>(seconds % 60);
  return platform::FormatText(texts::kDisplayElapsed, hours, minutes, secs);
}

DisplayRows StatusDisplay::Paint() {
  DisplayRows rows;
  rows.title = text_;
  const std::time_t now = clock_.Now();
  if (shownLine_ == kNoLine) {
    start_ = now;
    std::tm t = clock_.LocalTime(now);
    rows.left = platform::FormatText(texts::kDisplayDate, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    rows.right = platform::FormatText(texts::kDisplayClock, t.tm_hour, t.tm_min, t.tm_sec);
  } else {
    rows.left = shownLine_ == kConference ? platform::FormatText(texts::kDisplayConference, conferenceNumber_)
                                          : platform::FormatText(texts::kDisplayLine, shownLine_ + 1);
    rows.right = FormatElapsed(start_ == 0 ? 0 : static_cast<std::int64_t>(now - start_));
  }
  if (!note_.empty()) rows.note = platform::FormatText(texts::kDisplayNote, note_.c_str());
  if (idle_) {
    for (const DisplayRow& row : registrations_) {
      if (!row.text.empty()) rows.lower.push_back(row);
    }
  } else {
    rows.lower = callRows_;
  }
  return rows;
}

}  // namespace corvina::app
