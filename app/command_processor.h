// The console protocol's commands: one command per line, exactly one answer line each -
// "ok", "ok <json>" or "error: <reason>". Later features register their own verbs.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::app {

struct CommandReply {
  bool ok = true;
  std::string text;  // JSON on success (may be empty), the reason on error

  static CommandReply Ok(std::string json = {}) { return CommandReply{true, std::move(json)}; }
  static CommandReply Error(std::string reason) { return CommandReply{false, std::move(reason)}; }
  std::string Line() const;
};

class CommandProcessor {
 public:
  // `args` is the rest of the line after the verb, without leading white space.
  using Handler = std::function<CommandReply(std::string_view args)>;

  void Register(std::string verb, std::string help, Handler handler);
  // The answer line for one input line; an empty string for a blank line, which is no command.
  std::string Execute(std::string_view line);
  // {"commands":[{"verb":...,"help":...},...]} in registration order.
  std::string HelpJson() const;

 private:
  struct Command {
    std::string help;
    Handler handler;
  };
  std::map<std::string, Command> commands_;
  std::vector<std::string> order_;
};

}  // namespace corvina::app
