#include "app/call_verbs.h"

#include <string>

#include "app/call_lines.h"
#include "app/json_writer.h"
#include "call/dial_target.h"

namespace corvina::app {
namespace {

// The first entry written to a sink, for the reason of a refusal.
class FirstEntry final : public platform::LogSink {
 public:
  std::string text;
  void Log(std::string_view message, std::uint8_t) override {
    if (text.empty()) text = message;
  }
};

// Line N from the first argument; 0 when it is missing, -1 when it is not a line.
int LineArgument(const CommandArgs& args) {
  if (args.Count() == 0) return 0;
  if (args[0] == "1") return 1;
  if (args[0] == "2") return 2;
  return -1;
}

CommandReply LineOk(int line) { return CommandReply::Ok(JsonObject().Add("line", line).Str()); }

}  // namespace

void RegisterCallVerbs(CommandProcessor& verbs, const ConsoleVerbContext& context) {
  CallLines& lines = context.window.Calls();
  lines.SetEventSink(&context.events);
  verbs.Register("dial", "calls TEXT on the first idle line", [&lines, context](const CommandArgs& args) {
    const std::string target(args.Raw());
    const int line = lines.FirstIn(call::CallState::kIdle);
    if (line == 0) return CommandReply::Error("no idle line");
    FirstEntry reason;
    const call::LineAccount account =
        call::ReadLineAccount(context.window.Program().settings, LineAccountSection(context.window.Program().settings, line));
    if (!call::CheckDialTarget(target, account.server, reason)) {
      lines.Line(line).MakeCall(target);  // logs the refusal in the activity log
      return CommandReply::Error(reason.text);
    }
    if (!lines.Line(line).MakeCall(target)) return CommandReply::Error("the line is busy");
    return LineOk(line);
  });
  verbs.Register("answer", "answers the ringing call on line N (or the ringing line)", [&lines](const CommandArgs& args) {
    int line = LineArgument(args);
    if (line < 0) return CommandReply::Error("usage: answer [1|2]");
    if (line == 0) line = lines.FirstIn(call::CallState::kIncomingRinging);
    if (line == 0 || !lines.Line(line).Answer()) return CommandReply::Error("no ringing call");
    return LineOk(line);
  });
  verbs.Register("hangup", "ends the call on line N, the current line or the ringing one",
                 [&lines](const CommandArgs& args) {
                   int line = LineArgument(args);
                   if (line < 0) return CommandReply::Error("usage: hangup [1|2]");
                   if (line == 0 && lines.Current() != 0 && lines.Line(lines.Current()).IsBusy()) line = lines.Current();
                   if (line == 0) line = lines.FirstIn(call::CallState::kIncomingRinging);
                   if (line == 0) {
                     for (int n = 1; n <= kLineCount && line == 0; ++n) {
                       if (lines.Line(n).IsBusy()) line = n;
                     }
                   }
                   if (line == 0 || !lines.Line(line).IsBusy()) return CommandReply::Error("no call");
                   lines.Line(line).HangUp();
                   return LineOk(line);
                 });
  verbs.Register("line", "answers ringing line N or makes its call current", [&lines](const CommandArgs& args) {
    const int line = LineArgument(args);
    if (line <= 0) return CommandReply::Error("usage: line 1|2");
    const call::CallState state = lines.Line(line).Snapshot().state;
    if (state == call::CallState::kIncomingRinging) {
      lines.Line(line).Answer();
    } else if (state == call::CallState::kConnected) {
      lines.SetCurrent(line);
    } else {
      return CommandReply::Error("no ringing or connected call on that line");
    }
    return LineOk(line);
  });
}

}  // namespace corvina::app
