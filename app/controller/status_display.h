// The status display: a first row naming the call ("Corvina" when idle) and a second row with
// the date and clock when idle, or the line (or the conference) and the call's running time.
// An optional note is shown over the second row as "[note]". This class keeps the display's
// data and forms its rows; the view paints them with the look below. User-interface thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include <vector>

#include "app/controller/phone_texts.h"
#include "platform/clock.h"
#include "sip/registration.h"

namespace corvina::app {

// What the phone shows of one line's registration.
struct LineRegistrationState {
  int line = 0;  // 1-based
  std::string addressOfRecord;
  std::string server;
  bool registers = false;  // false for a line without a domain
  bool registered = false;
  std::int64_t secondsToNextAttempt = 0;
  sip::RegistrationPhase phase = sip::RegistrationPhase::kRegistering;
  int status = 0;  // the refusing or rejecting answer
  std::string reason;
};

// One of the rows under the second row; a warning row is drawn in the warning colour.
struct DisplayRow {
  std::string text;
  bool warning = false;
  friend bool operator==(const DisplayRow&, const DisplayRow&) = default;
};

// The rows as painted at one moment.
struct DisplayRows {
  std::string title;  // first row, at x = kTextX, y = 0
  std::string left;   // second row, left
  std::string right;  // second row, ending kRightMargin pixels before the right edge
  std::string note;   // "[note]" centred over the second row; empty when there is none
  // Under the second row: each line's registration when idle; the other party and the digits
  // typed during a call.
  std::vector<DisplayRow> lower;
};

// How the view paints the display: a white background, every text drawn twice, first in the
// light colour at its place, then in dark grey one pixel right and one down.
struct DisplayLook {
  static constexpr std::uint32_t kBackground = 0xFFFFFF;  // 0xRRGGBB
  static constexpr std::uint32_t kTextLight = 0xE0EAFF;
  static constexpr std::uint32_t kTextDark = 0x282828;
  static constexpr int kShadowOffset = 1;
  static constexpr int kTextX = 4;
  static constexpr int kRightMargin = 6;
  static constexpr std::uint32_t kWarning = 0xF62850;  // the status pane's colour for errors
};

class StatusDisplay {
 public:
  static constexpr int kNoLine = -1;
  static constexpr int kConference = 1000;

  explicit StatusDisplay(const platform::WallClock& clock) : clock_(clock) {}

  // Idle: "Corvina", no note, no line, no start time.
  void ShowIdle();
  // "Conference" with the conference's number in its label.
  void ShowConference(int number);
  // A pending transfer: "Transfer" with no line.
  void ShowTransfer();
  // Any other call text (cut to 259 characters) for `line` (kNoLine, 0 or 1) and the call's
  // start (0 = none).
  void Show(std::string_view text, int line, std::time_t start);
  // The note (cut to 259 characters); cleared when the display goes idle.
  void SetNote(std::string_view note);
  // A line's registration, shown while idle.
  void SetRegistration(const LineRegistrationState& state);
  // The call shown (set after Show): the other party's name and number, and the touch tones
  // typed in it.
  void SetCallDetails(std::string_view name, std::string_view number, std::string_view digits);

  // "Line 1: 200@host registered" and whether it tells of a failure; the line button's tip.
  static DisplayRow RegistrationRow(const LineRegistrationState& state);
  static std::string LineTip(const LineRegistrationState& state);

  // The rows at this moment. The idle display restarts its start time at every paint.
  DisplayRows Paint();

  const std::string& Text() const { return text_; }
  int ShownLine() const { return shownLine_; }
  std::time_t StartTime() const { return start_; }
  const std::string& Note() const { return note_; }

  // Elapsed seconds as hours (as many digits as needed), minutes and seconds ("0:02:05"); a
  // negative span (the clock set back) shows as "0:00:00".
  static std::string FormatElapsed(std::int64_t seconds);

 private:
  const platform::WallClock& clock_;
  std::string text_{texts::kIdleTitle};
  int shownLine_ = kNoLine;
  std::time_t start_ = 0;
  std::string note_;
  int conferenceNumber_ = 0;
  bool idle_ = true;
  DisplayRow registrations_[2];
  std::vector<DisplayRow> callRows_;
};

}  // namespace corvina::app
