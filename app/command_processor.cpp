#include "app/command_processor.h"

#include "app/json_writer.h"

namespace corvina::app {

std::string CommandReply::Line() const {
  if (!ok) return "error: " + text;
  return text.empty() ? "ok" : "ok " + text;
}

void CommandProcessor::Register(std::string verb, std::string help, Handler handler) {
  if (commands_.count(verb) == 0) order_.push_back(verb);
  commands_[verb] = Command{std::move(help), std::move(handler)};
}

std::string CommandProcessor::Execute(std::string_view line) {
  auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!line.empty() && isSpace(line.front())) line.remove_prefix(1);
  while (!line.empty() && isSpace(line.back())) line.remove_suffix(1);
  if (line.empty()) return {};
  std::size_t end = 0;
  while (end < line.size() && !isSpace(line[end])) ++end;
  std::string verb(line.substr(0, end));
  std::string_view args = line.substr(end);
  while (!args.empty() && isSpace(args.front())) args.remove_prefix(1);
  auto it = commands_.find(verb);
  if (it == commands_.end()) return CommandReply::Error("unknown command " + JsonQuote(verb)).Line();
  std::string answer = it->second.handler(args).Line();
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
    list += JsonObject().Add("verb", verb).Add("help", commands_.at(verb).help).Str();
  }
  list += "]";
  return JsonObject().AddRaw("commands", list).Str();
}

}  // namespace corvina::app
