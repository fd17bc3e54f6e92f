#include "app/options_tool.h"

#include "app/options/options_command.h"

namespace corvina::app {

int RunOptionsTool(const std::vector<std::string>& args, platform::Settings& settings, OptionsEnvironment& env,
                   const std::function<void()>& applied, std::ostream& out, std::ostream& err) {
  env.note = [&out](const OptionsMessage& note) { out << "note " << OptionsMessageJson(note, false) << "\n"; };
  const OptionsCommandResult result = RunOptionsCommand(args, settings, env);
  switch (result.kind) {
    case OptionsCommandResult::Kind::kShown:
      out << result.text << "\n";
      return 0;
    case OptionsCommandResult::Kind::kDone:
      out << "ok\n";
      if (applied) applied();
      return 0;
    case OptionsCommandResult::Kind::kRefused:
      out << "refused " << result.text << "\n";
      return 3;
    case OptionsCommandResult::Kind::kBadArguments:
      break;
  }
  err << "error: " << result.text << "\nusage: corvina " << kOptionsUsage << "\n";
  return 2;
}

}  // namespace corvina::app
