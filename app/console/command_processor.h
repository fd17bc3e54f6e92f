// The table of console verbs and its answer rules: one command per line, exactly one answer
// line each - "ok", "ok <json>" or "error: <reason>". The verb is the first word of the line,
// matched exactly; the arguments after it are split by the shared tokenizer
// (command_line.h). Features register their verbs in console_verbs.cpp, never in the
// console's transport.
#pragma once

#include <functional>
#include <map>
#include <optional>
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

// The arguments of one command.
class CommandArgs {
 public:
  CommandArgs(std::string_view raw, std::vector<std::string> words) : raw_(raw), words_(std::move(words)) {}
  // The rest of the line after the verb, as typed, without surrounding white space.
  std::string_view Raw() const { return raw_; }
  // The arguments split into words (quotes removed, escapes resolved).
  const std::vector<std::string>& Words() const { return words_; }
  std::size_t Count() const { return words_.size(); }
  const std::string& operator[](std::size_t i) const { return words_[i]; }

 private:
  std::string_view raw_;
  std::vector<std::string> words_;
};

class CommandProcessor {
 public:
  using Handler = std::function<CommandReply(const CommandArgs& args)>;

  // Adds a verb; false (and the first registration stays) when the verb is taken.
  bool Register(std::string verb, std::string help, Handler handler);
  // The answer line for one input line; an empty string for a blank line, which is no command.
  std::string Execute(std::string_view line);
  // {"commands":[{"verb":...,"help":...},...]} in registration order.
  std::string HelpJson() const;
  // {"verb":...,"help":...} of one verb; nothing when the verb is unknown.
  std::optional<std::string> HelpJson(std::string_view verb) const;
  // The error reason for an unknown verb.
  static std::string UnknownVerb(std::string_view verb);

 private:
  struct Command {
    std::string help;
    Handler handler;
  };
  std::map<std::string, Command, std::less<>> commands_;
  std::vector<std::string> order_;
};

}  // namespace corvina::app
