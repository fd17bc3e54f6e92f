// The option pages without a toolkit. Every page holds its controls' values as strings keyed
// by the name of the setting behind them ("Port", "UseAGC", ...; switches as "1"/"0"). Load
// fills them as the page shows them; Confirm checks and writes them in the page's own order and
// either finishes or refuses with the message box the page shows (title, text and the field to
// focus). A refusal keeps every write made before it. The Qt dialog, the console verbs and
// `corvina options` all drive these objects, so one rule set decides what is stored.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/progress/progress_sink.h"
#include "platform/settings.h"

namespace corvina::app {

struct OptionsMessage {
  std::string title;
  std::string text;
  std::string field;  // the setting whose control gets the focus (empty: none)

  bool operator==(const OptionsMessage&) const = default;
};

// What a page needs besides the settings: where its other message boxes go, how a server link
// is tested and whether a folder can be written to.
struct OptionsEnvironment {
  // A message box that does not end the confirm (a failed link test).
  std::function<void(const OptionsMessage&)> note;
  // Runs `test` inside a progress window titled `title`: kDone when the test returned true,
  // kFailed when false, kCancelled when the user closed the window. `test` gets the stop event
  // that closing the window sets.
  std::function<WaitResult(std::string_view title, const std::function<bool(platform::Event* stop)>& test)>
      runTest;
  // Connects and logs in to the Orrin server list `hosts` with `accessCode`; Lumo server `server`.
  std::function<bool(const std::string& hosts, const std::string& accessCode, platform::Event* stop)> testOrrin;
  std::function<bool(const std::string& server, platform::Event* stop)> testLumo;
  // True when a file can be made in `folder` (OptionsFolderWritable for the program).
  std::function<bool(const std::string& folder)> folderWritable;
  // Switches the SIP trace log on or off at once.
  std::function<void(bool on)> setSipTrace;
  // The program's recordings folder, shown when `Folder` is missing.
  std::string recordingsFolder;
};

class OptionsPage {
 public:
  enum class Kind { kText, kSwitch, kNumber, kChoice, kPassword };
  struct Field {
    std::string key;
    Kind kind;
    std::string value;
    int choices = 0;  // kChoice: the values 0 .. choices - 1
  };

  OptionsPage(platform::Settings& settings, OptionsEnvironment& env) : settings_(settings), env_(env) {}
  virtual ~OptionsPage() = default;

  virtual std::string_view Name() const = 0;
  virtual void Load() = 0;
  // Nothing when done, else the refusal's box.
  virtual std::optional<OptionsMessage> Confirm() = 0;

  const std::vector<Field>& Fields() const { return fields_; }
  // The value of a control; empty for an unknown key.
  std::string Get(std::string_view key) const;
  // False for a key the page does not have. Switches take "1"/"0" (any value not starting with
  // "0" is on), choices their number.
  bool Set(std::string_view key, std::string value);

 protected:
  void AddField(std::string key, Kind kind, int choices = 0) { fields_.push_back({std::move(key), kind, {}, choices}); }
  // Load's helpers: a stored string, and a switch as "1"/"0".
  void Show(std::string_view key, std::string value) { Set(key, std::move(value)); }
  bool On(std::string_view key) const;
  platform::Settings& settings_;
  OptionsEnvironment& env_;

 private:
  std::vector<Field> fields_;
};

// The checks every text that reaches a header, SDP, a server link or the digest passes: no
// control characters, at most 259 UTF-16 units (longer values would read back as missing).
// Nothing when the text is fine, else the box naming `label` and focusing `key`.
std::optional<OptionsMessage> CheckOptionText(std::string_view text, std::string_view key, std::string_view label);
// `text` without leading and trailing spaces and tabs.
std::string TrimOptionText(std::string_view text);
// The decimal value of `text` when it is a number within [low, high], else nothing.
std::optional<int> ParsePortNumber(std::string_view text, int low, int high);
// The entry of the Lines chooser to open: `LineConfigure` + 1, and "Line 1" (1) when the value
// is missing, not a number or outside -1..1.
int OptionsLineEntry(const platform::Settings& settings);
// Creates a uniquely named file in `folder` exclusively and deletes it again.
bool OptionsFolderWritable(const std::string& folder);

// The page named `name` ("audio", "lines", "advanced", "net1", "net2", "record", "hold",
// "email", and the wizards' pages that hold settings: "mode", "microphone", "output",
// "sipdetails");
// `lineEntry` picks the line of "lines" and "advanced" (0 default, 1 or 2). Null for other names.
std::unique_ptr<OptionsPage> MakeOptionsPage(std::string_view name, platform::Settings& settings,
                                             OptionsEnvironment& env, int lineEntry);
inline constexpr std::string_view kOptionsPageNames[] = {"audio", "lines", "advanced", "net1",
                                                         "net2",  "record", "hold", "email"};

}  // namespace corvina::app
