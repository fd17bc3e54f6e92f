// The phone log: one row per finished call in a monthly file "YYYY-MM Phone Log.csv" in the
// activity log's folder, named by the month of the call's start. No header; UTF-16
// little-endian without a byte-order mark; rows end in CR LF:
//   date, time, total mm:ss, connected mm:ss, hold mm:ss, "address","name"
// Minutes have at least two digits and no upper limit. A double quote inside the address or
// name is doubled and CR or LF become spaces, so that no caller-supplied text can end its field
// or start a row of its own. Each row is appended in one write, so rows of concurrent writers
// never interleave; a row that cannot be written is lost silently.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "app/controller/call_timing.h"
#include "platform/clock.h"

namespace corvina::app {

class PhoneLog {
 public:
  PhoneLog(std::string folder, const platform::WallClock& clock) : folder_(std::move(folder)), clock_(clock) {}

  // Writes the row of the call that ends now and then clears `timing`, so that the line's next
  // call cannot inherit this call's start or hold time. True when the row was written.
  bool WritePhoneLog(CallTiming& timing, std::string_view address, std::string_view name);

  // The file for calls that started at local time `start`.
  std::string FilePath(const std::tm& start) const;
  // One row as UTF-8 text (the file holds it as UTF-16).
  static std::string FormatRow(const std::tm& start, const CallDurations& d, std::string_view address,
                               std::string_view name);
  // A field's text as it goes between its quotes.
  static std::string QuoteSafe(std::string_view text);

 private:
  std::string folder_;
  const platform::WallClock& clock_;
};

}  // namespace corvina::app
