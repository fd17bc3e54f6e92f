#include "app/console/phone_verbs.h"

#include <algorithm>
#include <charconv>

#include "app/controller/call_lines.h"
#include "app/console/json_writer.h"

namespace corvina::app {
namespace {

constexpr std::string_view kKeypad = "123456789*0#";

std::optional<long> ParseNumber(std::string_view text) {
  long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

const char* CallStateName(call::CallState state) { return CallLines::StateName(state); }

namespace {

std::string LineJson(PhoneController& phone, int i) {
  PhoneLine& line = phone.Line(i);
  return JsonObject()
      .Add("line", i + 1)
      .Add("state", CallStateName(line.State()))
      .Add("indicator", static_cast<int>(phone.Indicators().State(i)))
      .Add("lit", phone.Indicators().Lit(i))
      .Add("answered", line.answered)
      .Add("onHold", line.onHold)
      .Add("holdApplied", line.Last().holdApplied)
      .AddRaw("holdSource", line.holdSource == media::HoldSourceKind::kNone
                                ? std::string("null")
                                : "\"" + std::string(media::HoldSourceName(line.holdSource)) + "\"")
      .Add("intercom", line.intercom)
      .AddRaw("intercomAudio", JsonObject().Add("bufferedMs", static_cast<std::int64_t>(phone.IntercomBufferedMs(i))).Add("timerMs", phone.PrivateTimerLeftMs(i)).Str())
      .Add("recording", line.recording)
      .Add("recordingPath", line.recordingTarget.kind == media::RecordingTarget::Kind::kFile
                                ? line.recordingTarget.where
                                : std::string())
      .Add("unanswered", line.unanswered)
      .Add("remote", line.remoteNumber)
      .Add("start", static_cast<std::int64_t>(line.timing.Start()))
      .Str();
}

// A line number 1 or 2 as typed, as a line index.
int LineIndex(long n) { return n == 1 || n == 2 ? static_cast<int>(n - 1) : -1; }

// The line an optional "1" or "2" argument names: kNoLine without one, nothing when it is not a line.
std::optional<int> ChosenLine(const CommandArgs& args) {
  if (args.Count() == 0) return PhoneController::kNoLine;
  std::optional<long> n = args.Count() == 1 ? ParseNumber(args[0]) : std::nullopt;
  if (!n || LineIndex(*n) < 0) return std::nullopt;
  return LineIndex(*n);
}

// The conference: whether it exists and runs, its button state (0 off, 1 running, 2 paused)
// and its members (the local device and each joined line; 0 without a conference).
std::string ConferenceJson(PhoneController& phone) {
  const Conference& c = phone.CurrentConference();
  return JsonObject()
      .Add("exists", c.Exists())
      .Add("running", c.Running())
      .Add("buttonState", c.ButtonState())
      .Add("members", c.Members())
      .Str();
}

}  // namespace

std::string PhoneStateJson(PhoneController& phone) {
  std::string lines = "[";
  for (int i = 0; i < 2; ++i) lines += (i ? "," : "") + LineJson(phone, i);
  lines += "]";
  JsonObject buttons;
  for (const auto& [id, shown] : phone.ButtonStates()) {
    buttons.AddRaw(std::to_string(id),
                   JsonObject().Add("image", static_cast<int>(shown.first)).Add("pressed", shown.second).Str());
  }
  JsonObject menus;
  for (const auto& [id, shown] : phone.MenuStates()) {
    menus.AddRaw(std::to_string(id), JsonObject().Add("enabled", shown.first).Add("checked", shown.second).Str());
  }
  auto lineOrNone = [](int n) { return n == PhoneController::kNoLine ? 0 : n + 1; };
  StatusDisplay& display = phone.Display();
  DisplayRows rows = display.Paint();
  return JsonObject()
      .AddRaw("lines", lines)
      .Add("currentLine", lineOrNone(phone.CurrentLine()))
      .Add("callingLine", lineOrNone(phone.CallingLine()))
      .Add("transferSource", lineOrNone(phone.TransferSource()))
      .Add("dialText", phone.DialText())
      .AddRaw("display", JsonObject()
                             .Add("title", rows.title)
                             .Add("left", rows.left)
                             .Add("right", rows.right)
                             .Add("note", rows.note)
                             .Str())
      .Add("callImage", static_cast<int>(phone.CallImage()))
      .Add("hangUpImage", static_cast<int>(phone.HangUpImage()))
      .AddRaw("buttons", buttons.Str())
      .AddRaw("menus", menus.Str())
      .Add("dnd", phone.DndOn())
      .Add("missedCalls", static_cast<std::int64_t>(phone.Missed().Count()))
      .Add("missedText", phone.Missed().Summary())
      .AddRaw("conference", ConferenceJson(phone))
      .Str();
}

void RegisterPhoneVerbs(CommandProcessor& verbs, std::function<PhoneController*()> phone) {
  // Each action verb runs `action` on the controller and answers "ok".
  auto add = [&verbs, phone](const char* verb, const char* help,
                             std::function<CommandReply(PhoneController&, const CommandArgs&)> action) {
    verbs.Register(verb, help, [phone, action](const CommandArgs& args) {
      PhoneController* p = phone();
      if (p == nullptr || !p->HasLines()) return CommandReply::Error("the phone has not started");
      return action(*p, args);
    });
  };
  auto simple = [&add](const char* verb, const char* help, std::function<void(PhoneController&)> action) {
    add(verb, help, [action](PhoneController& p, const CommandArgs& args) {
      if (args.Count() != 0) return CommandReply::Error("usage: takes no arguments");
      action(p);
      return CommandReply::Ok();
    });
  };
  add("type", "types TEXT on the keyboard (DTMF in a call, else into the dial box)",
      [](PhoneController& p, const CommandArgs& args) {
        if (args.Raw().empty()) return CommandReply::Error("usage: type TEXT");
        for (char c : args.Raw()) p.OnTypedChar(c);
        return CommandReply::Ok();
      });
  add("key", "presses keypad keys DIGITS (0-9 * #)", [](PhoneController& p, const CommandArgs& args) {
    std::string_view keys = args.Raw();
    if (keys.empty() || keys.find_first_not_of(kKeypad) != std::string_view::npos) {
      return CommandReply::Error("usage: key DIGITS (0-9 * #)");
    }
    for (char c : keys) p.OnButton(static_cast<ControlId>(static_cast<int>(ControlId::kKey1) + kKeypad.find(c)));
    return CommandReply::Ok();
  });
  simple("call", "presses Call (dials the dial box, or answers when it is empty)",
         [](PhoneController& p) { p.OnButton(ControlId::kCall); });
  add("dial", "dials TEXT, or the dial box; answers the line the call went out on",
      [](PhoneController& p, const CommandArgs& args) {
        if (!args.Raw().empty()) p.EnterDialText(args.Raw());
        int line = p.Dial(false);
        if (line == PhoneController::kNoLine) return CommandReply::Error("no call placed");
        return CommandReply::Ok(JsonObject().Add("line", line + 1).Str());
      });
  simple("redial", "dials the most recent number again", [](PhoneController& p) { p.OnCommand(1018); });
  add("answer", "answers the ringing call (on line N); answers its line", [](PhoneController& p, const CommandArgs& args) {
    std::optional<int> chosen = ChosenLine(args);
    if (!chosen) return CommandReply::Error("usage: answer [1|2]");
    int line = *chosen;
    if (line == PhoneController::kNoLine) {
      line = p.RingingLine();
      if (line == PhoneController::kNoLine || !p.Answer()) return CommandReply::Error("no call is ringing");
    } else if (p.Line(line).State() == call::CallState::kIncomingRinging) {
      p.LineButton(line);
    } else {
      return CommandReply::Error("no call is ringing");
    }
    return CommandReply::Ok(JsonObject().Add("line", line + 1).Str());
  });
  add("reject", "rejects the ringing call", [](PhoneController& p, const CommandArgs&) {
    return p.Reject() ? CommandReply::Ok() : CommandReply::Error("no call is ringing");
  });
  add("hangup", "hangs up the current call (or line N's), else rejects the ringing one; answers its line",
      [](PhoneController& p, const CommandArgs& args) {
        std::optional<int> chosen = ChosenLine(args);
        if (!chosen) return CommandReply::Error("usage: hangup [1|2]");
        int line = p.CurrentLine();
        // Without a normal call the hang-up ends the conference, every member with it.
        const bool conference = !p.NormalCall() && p.CurrentConference().Exists();
        if ((*chosen == PhoneController::kNoLine || *chosen == line) && p.HangUp()) {
          if (conference) return CommandReply::Ok(JsonObject().Add("conference", true).Str());
          return CommandReply::Ok(JsonObject().Add("line", line + 1).Str());
        }
        line = *chosen == PhoneController::kNoLine ? p.RingingLine() : *chosen;
        if (line == PhoneController::kNoLine || !p.Reject(line)) return CommandReply::Error("no call to hang up");
        return CommandReply::Ok(JsonObject().Add("line", line + 1).Str());
      });
  simple("end", "presses Hang up (hang up, else reject, else clear)",
         [](PhoneController& p) { p.OnButton(ControlId::kHangUp); });
  simple("clear", "clears the dial box", [](PhoneController& p) { p.ClearDialBox(); });
  simple("hold", "presses Hold (hold, or retrieve the held call)", [](PhoneController& p) { p.OnButton(ControlId::kHold); });
  add("transfer",
      "presses Transfer; `transfer blind TEXT` transfers the connected current call to TEXT; `transfer attended` "
      "joins the connected current call with the other line's connected call",
      [](PhoneController& p, const CommandArgs& args) {
        if (args.Count() == 0) {
          p.OnButton(ControlId::kTransfer);
          return CommandReply::Ok();
        }
        if (args[0] == "attended" && args.Count() == 1) {
          const int line = p.CurrentLine();
          if (!p.AttendedTransfer()) return CommandReply::Error("both lines need a connected call");
          return CommandReply::Ok(JsonObject().Add("line", line + 1).Str());
        }
        if (args[0] != "blind" || args.Count() < 2) {
          return CommandReply::Error("usage: transfer [blind TEXT | attended]");
        }
        const int line = p.CurrentLine();
        if (!p.NormalCall() || p.Line(line).State() != call::CallState::kConnected) {
          return CommandReply::Error("no connected call to transfer");
        }
        std::string_view text = args.Raw().substr(args.Raw().find("blind") + 5);
        text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
        if (!p.BlindTransfer(text)) return CommandReply::Error("nothing to transfer to");
        return CommandReply::Ok(JsonObject().Add("line", line + 1).Str());
      });
  add("line", "presses line button 1 or 2", [](PhoneController& p, const CommandArgs& args) {
    std::optional<int> n = ChosenLine(args);
    if (!n || *n == PhoneController::kNoLine) return CommandReply::Error("usage: line 1|2");
    p.LineButton(*n);
    return CommandReply::Ok();
  });
  add("record", "presses Record: starts or stops recording the current call",
      [](PhoneController& p, const CommandArgs&) {
        if (!p.Record()) return CommandReply::Error("no call to record");
        PhoneLine& line = p.Line(p.CurrentLine());
        return CommandReply::Ok(JsonObject()
                                    .Add("line", p.CurrentLine() + 1)
                                    .Add("recording", line.recording)
                                    .Add("path", line.recordingTarget.where)
                                    .Str());
      });
  add("conference", "presses Conference (start, resume or refuse with a message box); answers its state",
      [](PhoneController& p, const CommandArgs&) {
        p.OnButton(ControlId::kConference);
        return CommandReply::Ok(ConferenceJson(p));
      });
  add("intercom", "intercom press|release: holds or lets go of the Intercom button",
      [](PhoneController& p, const CommandArgs& args) {
        std::string_view how = args.Count() == 1 ? std::string_view(args[0]) : std::string_view();
        if (how != "press" && how != "release") return CommandReply::Error("usage: intercom press|release");
        p.Intercom(how == "press");
        const int n = p.CurrentLine();
        return CommandReply::Ok(JsonObject()
                                    .Add("held", p.IntercomHeld())
                                    .AddRaw("line", n == PhoneController::kNoLine ? "null" : std::to_string(n + 1))
                                    .Str());
      });
  add("dnd", "Do Not Disturb on|off|toggle", [](PhoneController& p, const CommandArgs& args) {
    std::string_view how = args.Count() == 1 ? std::string_view(args[0]) : std::string_view();
    if (how == "on" || how == "off") {
      p.SetDoNotDisturb(how == "on");
    } else if (how == "toggle") {
      p.OnButton(ControlId::kDnd);
    } else {
      return CommandReply::Error("usage: dnd on|off|toggle");
    }
    return CommandReply::Ok(JsonObject().Add("dnd", p.DndOn()).Str());
  });
  add("volume", "sets the play or record volume slider to N (-127 … 127)",
      [](PhoneController& p, const CommandArgs& args) {
        std::optional<long> n = args.Count() == 2 ? ParseNumber(args[1]) : std::nullopt;
        bool play = args.Count() == 2 && args[0] == "play";
        bool record = args.Count() == 2 && args[0] == "record";
        if (!n || (!play && !record) || *n < -127 || *n > 127) {
          return CommandReply::Error("usage: volume play|record N (-127 … 127)");
        }
        p.OnSliderReleased(play ? ControlId::kPlaySlider : ControlId::kRecordSlider, static_cast<int>(*n));
        return CommandReply::Ok();
      });
  add("list", "opens the dial box's list", [](PhoneController& p, const CommandArgs&) {
    p.OnDialListOpening();
    std::string items = "[";
    for (const DialListItem& item : p.CurrentDialList().items) {
      items += (items.size() > 1 ? "," : "") + JsonQuote(item.text);
    }
    return CommandReply::Ok(JsonObject().AddRaw("items", items + "]").Str());
  });
  add("pick", "picks address-book entry N of the dial box's list", [](PhoneController& p, const CommandArgs& args) {
    std::optional<long> n = args.Count() == 1 ? ParseNumber(args[0]) : std::nullopt;
    if (!n) return CommandReply::Error("usage: pick N");
    p.OnDialListOpening();
    if (!p.PickListItem(*n)) return CommandReply::Error("no list entry " + args[0]);
    return CommandReply::Ok();
  });
  add("command", "runs menu or application command N", [](PhoneController& p, const CommandArgs& args) {
    std::optional<long> n = args.Count() == 1 ? ParseNumber(args[0]) : std::nullopt;
    if (!n || *n < 0 || *n > 0x7fffffffL) return CommandReply::Error("usage: command N");
    switch (p.OnCommand(static_cast<int>(*n))) {
      case CommandResult::kDone: return CommandReply::Ok();
      case CommandResult::kNotBuilt: return CommandReply::Error(kNotBuiltYet);
      case CommandResult::kUnavailable: return CommandReply::Error("command " + args[0] + " is not available now");
      case CommandResult::kUnknown: break;
    }
    return CommandReply::Error("unknown command " + args[0]);
  });
  add("state", "the phone's lines, flags, display, images, menus, DND and missed calls",
      [](PhoneController& p, const CommandArgs&) { return CommandReply::Ok(PhoneStateJson(p)); });
}

}  // namespace corvina::app
