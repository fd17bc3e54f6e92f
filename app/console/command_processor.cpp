#include "app/console/command_processor.h"

#include "app/console/command_line.h"
#include "app/console/json_writer.h"

namespace corvina::app {

std::string CommandReply::Line() const {
  if (!ok) return "error: " + text;
  return text.empty() ? "ok" : "ok " + text;
}

bool CommandProcessor::Register(std::string verb, std::string help, Handler handler) {
  if (commands_.count(verb) != 0) return false;
  order_.push_back(verb);
  commands_.emplace(std::move(verb), Command{std::move(help), std::move(handler)});
  return true;
}

std::string CommandProcessor::UnknownVerb(std::string_view verb) { return "unknown command " + JsonQuote(verb); }

std::string CommandProcessor::Execute(std::string_view line) {
  line = TrimCommandSpace(line);
  if (line.empty()) return {};
  std::size_t end = 0;
  while (end < line.size() && !IsCommandSpace(line[end])) ++end;
  const std::string_view verb = line.substr(0, end);
  const std::string_view rest = TrimCommandSpace(line.substr(end));
  auto it = commands_.find(verb);
  if (it == commands_.end()) return CommandReply::Error(UnknownVerb(verb)).Line();
  std::string answer;
  if (TokenizedLine words = TokenizeArguments(rest); !words.ok) {
    answer = CommandReply::Error(words.error).Line();
  } else {
    answer = it->second.handler(CommandArgs(rest, std::move(words.words))).Line();
  }
  // One answer is one line, whatever a handler put in it.
  for (char& c : answer) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return answer;
}

std::string CommandProcessor::HelpJson() const {
  std::string list = "[";
  for (const std::string& verb : order_) {
    if (list.size() > 1) list += ',';
    list += *HelpJson(verb);
  }
  list += "]";
  return JsonObject().AddRaw("commands", list).Str();
}

std::optional<std::string> CommandProcessor::HelpJson(std::string_view verb) const {
  auto it = commands_.find(verb);
  if (it == commands_.end()) return std::nullopt;
  return JsonObject().Add("verb", it->first).Add("help", it->second.help).Str();
}

}  // namespace corvina::app
