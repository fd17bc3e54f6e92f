#include "app/console/quick_verbs.h"

#include <charconv>
#include <optional>

#include "app/console/json_writer.h"
#include "app/controller/main_window.h"
#include "contacts/quick_lists.h"

namespace corvina::app {
namespace {

constexpr const char* kQuickUsage = "usage: quick list | add NAME NUMBER | edit N NAME NUMBER | remove N | menu";
constexpr const char* kIntercomUsage = "usage: autointercom list | add NAME NUMBER | remove N";
constexpr const char* kHotkeysUsage = "usage: hotkeys list | set N KEY | remove N";
constexpr const char* kHotkeyUsage = "usage: hotkey N down|up";

template <typename T>
std::optional<T> ParseNumber(const std::string& text) {
  T value{};
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A refused save answers with the box's text and shows the box as an event.
CommandReply Refuse(ConsoleEventSink& events, const contacts::Refusal& refusal) {
  events.Emit(ConsoleEvent("messageBox").Add("title", refusal.title).Add("text", refusal.text));
  return CommandReply::Error(refusal.text);
}

std::string EntriesJson(const std::vector<contacts::NamedNumber>& entries) {
  std::string items = "[";
  for (const contacts::NamedNumber& e : entries) {
    if (items.size() > 1) items += ',';
    items += JsonObject().Add("entry", e.entry).Add("name", e.name).Add("number", e.number).Str();
  }
  return JsonObject().AddRaw("entries", items + "]").Str();
}

// `quick` and `autointercom`: list, add, edit (quick only), remove.
CommandReply RunNamedList(const ConsoleVerbContext& c, const char* list, const char* usage, bool editable,
                          const CommandArgs& args) {
  contacts::NamedNumberList entries(c.program.settings, list);
  const std::size_t n = args.Count();
  const std::string what = n > 0 ? args[0] : "";
  std::optional<contacts::Refusal> refusal;
  int saved = -1;
  if (what == "list" && n == 1) return CommandReply::Ok(EntriesJson(entries.Entries()));
  if (what == "add" && n == 3) {
    refusal = entries.Save(std::nullopt, args[1], args[2], &saved);
  } else if (what == "edit" && editable && n == 4) {
    std::optional<int> entry = ParseNumber<int>(args[1]);
    if (!entry) return CommandReply::Error(usage);
    refusal = entries.Save(*entry, args[2], args[3], &saved);
  } else if (what == "remove" && n == 2) {
    std::optional<int> entry = ParseNumber<int>(args[1]);
    if (!entry || !entries.Remove(*entry)) return CommandReply::Error("no entry " + args[1]);
    return CommandReply::Ok();
  } else {
    return CommandReply::Error(usage);
  }
  if (refusal) return Refuse(c.events, *refusal);
  return CommandReply::Ok(JsonObject().Add("entry", saved).Str());
}

CommandReply RunHotkeys(const ConsoleVerbContext& c, const CommandArgs& args) {
  contacts::HotkeyList hotkeys(c.program.settings);
  const std::size_t n = args.Count();
  const std::string what = n > 0 ? args[0] : "";
  if (what == "list" && n == 1) {
    std::string items = "[";
    for (const contacts::HotkeyEntry& e : hotkeys.Entries()) {
      if (items.size() > 1) items += ',';
      JsonObject item;
      item.Add("entry", e.entry);
      if (e.key) item.Add("key", static_cast<std::int64_t>(*e.key));
      items += item.Str();
    }
    const auto& bound = c.window.Hotkeys().Registered();
    std::string ids = "[";
    for (const HotkeyBindings::Binding& b : bound) ids += (ids.size() > 1 ? "," : "") + std::to_string(b.id);
    return CommandReply::Ok(JsonObject().AddRaw("hotkeys", items + "]").AddRaw("registered", ids + "]").Str());
  }
  std::optional<int> entry = n >= 2 ? ParseNumber<int>(args[1]) : std::nullopt;
  if (what == "set" && n == 3 && entry) {
    std::optional<std::uint32_t> key = ParseNumber<std::uint32_t>(args[2]);
    if (!key) return CommandReply::Error(kHotkeysUsage);
    if (std::optional<contacts::Refusal> refusal = hotkeys.Set(*entry, *key)) return Refuse(c.events, *refusal);
  } else if (what == "remove" && n == 2 && entry) {
    if (!hotkeys.Remove(*entry)) return CommandReply::Error("no entry " + args[1]);
  } else {
    return CommandReply::Error(kHotkeysUsage);
  }
  c.window.ApplyHotkeys();  // saving the list registers it again
  return CommandReply::Ok();
}

}  // namespace

void RegisterQuickVerbs(CommandProcessor& verbs, const ConsoleVerbContext& context) {
  verbs.Register("quick", kQuickUsage, [context](const CommandArgs& args) {
    if (args.Count() == 1 && args[0] == "menu") {
      PhoneController* phone = context.window.Phone();
      if (phone == nullptr) return CommandReply::Error("the phone has not started");
      return CommandReply::Ok(JsonObject().AddRaw("items", TransferMenuJson(phone->TransferMenu())).Str());
    }
    return RunNamedList(context, contacts::kQuickTransferList, kQuickUsage, true, args);
  });
  verbs.Register("autointercom", kIntercomUsage, [context](const CommandArgs& args) {
    return RunNamedList(context, contacts::kAutoIntercomList, kIntercomUsage, false, args);
  });
  verbs.Register("hotkeys", kHotkeysUsage, [context](const CommandArgs& args) { return RunHotkeys(context, args); });
  verbs.Register("hotkey", kHotkeyUsage, [context](const CommandArgs& args) {
    std::optional<int> k = args.Count() == 2 ? ParseNumber<int>(args[0]) : std::nullopt;
    if (!k || (args[1] != "down" && args[1] != "up")) return CommandReply::Error(kHotkeyUsage);
    if (!context.window.Hotkeys().PositionOf(HotkeyBindings::kFirstId + *k)) {
      return CommandReply::Error("no hotkey " + args[0]);
    }
    context.window.OnHotkey(HotkeyBindings::kFirstId + *k, args[1] == "down");
    return CommandReply::Ok();
  });
}

}  // namespace corvina::app
