#include "app/progress/headless_progress.h"

namespace corvina::app {

void HeadlessProgress::Open(std::string_view title) {
  open_ = true;
  percent_ = -1;
  events_.Emit(ConsoleEvent("progress").Add("state", "open").Add("title", title));
}

void HeadlessProgress::Close() {
  if (!open_) return;
  open_ = false;
  events_.Emit(ConsoleEvent("progress").Add("state", "closed"));
}

bool HeadlessProgress::Cancel() {
  if (!open_) return false;
  open_ = false;
  events_.Emit(ConsoleEvent("progress").Add("state", "cancelled"));
  return true;
}

bool HeadlessProgress::Pump() {
  // A round of the loop without waiting reads what arrived meanwhile, so an operation that
  // never waits (an import) still sees `cancel`.
  if (input_.WaitSourcesOrInput({}, 0) == CooperativeWaiter::kInput) input_.HandleInput();
  return !open_;
}

void HeadlessProgress::ReportError(std::string_view text) {
  events_.Emit(ConsoleEvent("messageBox").Add("title", "Error").Add("text", text));
}

void HeadlessProgress::SetText(std::string_view text, int line) {
  if (!open_ || (line != 0 && line != 1)) return;
  events_.Emit(ConsoleEvent("progress").Add("row", line).Add("text", text));
}

void HeadlessProgress::SetFraction(double fraction) {
  const int percent = BarPositions(fraction).back();
  if (!open_ || percent == percent_) return;
  percent_ = percent;
  events_.Emit(ConsoleEvent("progress").Add("percent", percent));
}

void HeadlessProgress::StartIndeterminate() {
  if (open_) events_.Emit(ConsoleEvent("progress").Add("marquee", true));
}

void HeadlessProgress::StopIndeterminate() {
  if (open_) events_.Emit(ConsoleEvent("progress").Add("marquee", false));
}

void RegisterProgressVerbs(CommandProcessor& commands, HeadlessProgress& progress) {
  commands.Register("cancel", "cancel: closes the progress window, ending its operation",
                    [&progress](const CommandArgs&) {
                      return progress.Cancel() ? CommandReply::Ok() : CommandReply::Error("no progress window");
                    });
}

}  // namespace corvina::app
