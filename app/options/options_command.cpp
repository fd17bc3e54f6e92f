#include "app/options/options_command.h"

#include <algorithm>

#include "app/console/json_writer.h"
#include "app/options/line_pages.h"

namespace corvina::app {
namespace {

using Kind = OptionsCommandResult::Kind;

OptionsCommandResult Bad(std::string why) { return {Kind::kBadArguments, std::move(why)}; }

std::optional<int> LineEntryOf(const std::string& text) {
  if (text == "default") return 0;
  if (text == "1") return 1;
  if (text == "2") return 2;
  return std::nullopt;
}

std::string PageJson(const OptionsPage& page, int entry) {
  JsonObject values;
  for (const OptionsPage::Field& f : page.Fields()) {
    const bool masked = f.kind == OptionsPage::Kind::kPassword && !f.value.empty();
    values.Add(f.key, masked ? std::string_view("********") : std::string_view(f.value));
  }
  JsonObject out;
  out.Add("page", page.Name());
  if (page.Name() == "lines" || page.Name() == "advanced") {
    out.Add("line", OptionsLineEntryName(entry));
  }
  if (const auto* lines = dynamic_cast<const LinesPage*>(&page)) {
    auto [caption, bold] = lines->AdvancedCaption();
    out.Add("advanced", caption).Add("bold", bold);
  }
  return out.AddRaw("values", values.Str()).Str();
}

}  // namespace

std::string OptionsMessageJson(const OptionsMessage& message, bool withField) {
  JsonObject json;
  json.Add("title", message.title).Add("text", message.text);
  if (withField) json.Add("field", message.field);
  return json.Str();
}

OptionsCommandResult RunOptionsCommand(const std::vector<std::string>& args, platform::Settings& settings,
                                       OptionsEnvironment& env, std::optional<OptionsMessage>* refusal) {
  if (args.size() < 2 || (args[0] != "show" && args[0] != "set")) return Bad(kOptionsUsage);
  const bool show = args[0] == "show";
  int entry = OptionsLineEntry(settings);
  std::vector<std::pair<std::string, std::string>> changes;
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--line" && i + 1 < args.size()) {
      std::optional<int> chosen = LineEntryOf(args[++i]);
      if (!chosen) return Bad("--line takes default, 1 or 2");
      entry = *chosen;
      continue;
    }
    const std::size_t equals = args[i].find('=');
    if (show || equals == std::string::npos || equals == 0) return Bad(kOptionsUsage);
    changes.emplace_back(args[i].substr(0, equals), args[i].substr(equals + 1));
  }
  if (!show && changes.empty()) return Bad("set takes at least one KEY=VALUE");
  std::unique_ptr<OptionsPage> page = MakeOptionsPage(args[1], settings, env, entry);
  if (!page) return Bad("no page \"" + args[1] + "\"");
  page->Load();
  if (show) return {Kind::kShown, PageJson(*page, entry)};
  for (const auto& [key, value] : changes) {
    if (!page->Set(key, value)) return Bad("the page has no value " + key + "=" + value);
  }
  if (std::optional<OptionsMessage> refused = page->Confirm()) {
    if (refusal) *refusal = refused;
    return {Kind::kRefused, OptionsMessageJson(*refused, true)};
  }
  return {Kind::kDone, {}};
}

}  // namespace corvina::app
