// The console phone as the controller's view: every change it is told of becomes one event.
#include <string>

#include "app/console/console_phone.h"
#include "app/console/json_writer.h"
#include "app/console/phone_verbs.h"

namespace corvina::app {

void ConsolePhone::RequestAttention() { Emit(ConsoleEvent("front").Add("urgent", true)); }

void ConsolePhone::SetButtonImage(ControlId control, ButtonImage image, bool pressed) {
  Emit(ConsoleEvent("button")
           .Add("id", static_cast<int>(control))
           .Add("image", static_cast<int>(image))
           .Add("pressed", pressed));
}

void ConsolePhone::SetControlEnabled(ControlId control, bool enabled) {
  Emit(ConsoleEvent("button").Add("id", static_cast<int>(control)).Add("enabled", enabled));
}

void ConsolePhone::SetLineButton(int line, bool lit) { Emit(ConsoleEvent("line").ForLine(line + 1).Add("lit", lit)); }

void ConsolePhone::SetLineTip(int line, std::string_view tip) {
  Emit(ConsoleEvent("line").ForLine(line + 1).Add("tip", tip));
}

void ConsolePhone::PaintDisplay(const DisplayRows& rows) {
  if (rows.title == shownRows_.title && rows.left == shownRows_.left && rows.note == shownRows_.note &&
      rows.lower == shownRows_.lower) {
    return;
  }
  shownRows_ = rows;
  std::string lower = "[";
  for (const DisplayRow& row : rows.lower) lower += (lower.size() > 1 ? "," : "") + JsonQuote(row.text);
  Emit(ConsoleEvent("display")
           .Add("title", rows.title)
           .Add("left", rows.left)
           .Add("right", rows.right)
           .Add("note", rows.note)
           .AddRaw("lower", lower + "]"));
}

void ConsolePhone::SetDialText(std::string_view text) { Emit(ConsoleEvent("dialBox").Add("text", text)); }

void ConsolePhone::SetDialBoxEnabled(bool enabled) { Emit(ConsoleEvent("dialBox").Add("enabled", enabled)); }

void ConsolePhone::FocusDialBox() { Emit(ConsoleEvent("dialBox").Add("focus", true)); }

void ConsolePhone::SetDialList(const std::vector<std::string>& items) {
  std::string list = "[";
  for (const std::string& item : items) list += (list.size() > 1 ? "," : "") + JsonQuote(item);
  Emit(ConsoleEvent("dialBox").AddRaw("list", list + "]"));
}

void ConsolePhone::SelectDialListItem(int index) { Emit(ConsoleEvent("dialBox").Add("selected", index)); }

void ConsolePhone::SetMenuItem(MenuId item, bool enabled, bool checked) {
  Emit(ConsoleEvent("menu").Add("id", static_cast<int>(item)).Add("enabled", enabled).Add("checked", checked));
}

void ConsolePhone::SetSliders(int play, int record) {
  Emit(ConsoleEvent("sliders").Add("play", play).Add("record", record));
}

void ConsolePhone::ShowMessageBox(std::string_view title, std::string_view text) {
  // Nobody can click it: it counts as answered at once.
  Emit(ConsoleEvent("messageBox").Add("title", title).Add("text", text));
}

void ConsolePhone::OpenExternal(std::string_view target) { Emit(ConsoleEvent("open").Add("target", target)); }

void ConsolePhone::ShowTransferMenu(const std::vector<TransferMenuItem>& items) {
  Emit(ConsoleEvent("transferMenu").AddRaw("items", TransferMenuJson(items)));
}

void ConsolePhone::OpenQuickTransferList() { Emit(ConsoleEvent("dialog").Add("name", "Quick Transfer List")); }

bool ConsolePhone::OpenOptions(int page) {
  Emit(ConsoleEvent("dialog").Add("name", "Options").Add("page", page));
  return true;
}

bool ConsolePhone::RegisterHotkey(int id, std::uint32_t modifiers, std::uint32_t virtualKey) {
  Emit(ConsoleEvent("hotkey")
           .Add("id", id)
           .Add("registered", true)
           .Add("modifiers", static_cast<std::int64_t>(modifiers))
           .Add("key", static_cast<std::int64_t>(virtualKey)));
  return true;
}

void ConsolePhone::UnregisterHotkey(int id) { Emit(ConsoleEvent("hotkey").Add("id", id).Add("registered", false)); }

void ConsolePhone::CallAnnounced(int line, const call::LineSnapshot& snapshot) {
  Emit(ConsoleEvent("call")
           .ForLine(line + 1)
           .Add("state", CallStateName(snapshot.state))
           .Add("ringCount", snapshot.ringCount)
           .Add("number", snapshot.remoteNumber)
           .Add("name", snapshot.remoteName)
           .Add("intercom", snapshot.intercomRequested)
           .Add("holdApplied", snapshot.holdApplied));
}

void ConsolePhone::HoldApplied(int line, bool held) { Emit(ConsoleEvent("hold").ForLine(line + 1).Add("held", held)); }

void ConsolePhone::WizardSkipped() { Emit(ConsoleEvent("wizard").Add("skipped", true)); }

void ConsolePhone::ConferenceChanged(const Conference& c) {
  Emit(ConsoleEvent("conference")
           .Add("exists", c.Exists())
           .Add("running", c.Running())
           .Add("buttonState", c.ButtonState())
           .Add("members", c.Members()));
}

void ConsolePhone::TransferReported(int line, call::TransferKind kind, call::TransferOutcome outcome) {
  const char* result = outcome == call::TransferOutcome::kReferred   ? "referred"
                       : outcome == call::TransferOutcome::kReplaced ? "replaced"
                       : outcome == call::TransferOutcome::kBridged  ? "bridged"
                                                                      : "failed";
  const char* kinds = kind == call::TransferKind::kTransferee ? "transferee"
                      : kind == call::TransferKind::kAttended ? "attended"
                                                              : "blind";
  Emit(ConsoleEvent("transfer").ForLine(line + 1).Add("kind", kinds).Add("result", result));
}

void ConsolePhone::RecordingChanged(int line, bool on, const media::RecordingTarget& target) {
  const bool file = target.kind == media::RecordingTarget::Kind::kFile;
  Emit(ConsoleEvent("recording").ForLine(line + 1).Add("on", on).Add(file ? "path" : "orrin", target.where));
}

void ConsolePhone::MissedCallsChanged(std::int64_t count, std::string_view summary) {
  Emit(ConsoleEvent("missed").Add("count", count).Add("text", summary));
}

void ConsolePhone::TonePlayed(std::string_view name, bool loop, bool ringDevice) {
  Emit(ConsoleEvent("tone").Add("name", name).Add("loop", loop).Add("ringDevice", ringDevice));
}

}  // namespace corvina::app
