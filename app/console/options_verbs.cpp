#include "app/console/options_verbs.h"

#include "app/controller/main_window.h"
#include "app/options/options_command.h"
#include "app/options/program_options.h"

namespace corvina::app {

void RegisterOptionsVerbs(CommandProcessor& verbs, const ConsoleVerbContext& context) {
  verbs.Register("options", kOptionsUsage, [context](const CommandArgs& args) {
    ProgramObjects& p = context.program;
    ConsoleEventSink* events = &context.events;
    auto box = [events](const OptionsMessage& m) {
      events->Emit(ConsoleEvent("messageBox").Add("title", m.title).Add("text", m.text));
    };
    OptionsEnvironment env = MakeProgramOptionsEnvironment(p.resolver, p.paths.DataFolder(), &context.progress, box);
    env.setSipTrace = [&p](bool on) { p.sipEngine.SetTraceOn(on); };
    std::optional<OptionsMessage> refusal;
    const OptionsCommandResult result = RunOptionsCommand(args.Words(), p.settings, env, &refusal);
    switch (result.kind) {
      case OptionsCommandResult::Kind::kShown:
        return CommandReply::Ok(result.text);
      case OptionsCommandResult::Kind::kDone:
        if (PhoneController* phone = context.window.Phone()) phone->ApplySettings();
        return CommandReply::Ok();
      case OptionsCommandResult::Kind::kRefused:
        break;
      case OptionsCommandResult::Kind::kBadArguments:
        return CommandReply::Error(result.text);
    }
    if (refusal && !refusal->text.empty()) box(*refusal);
    return CommandReply::Error("refused " + result.text);
  });
}

}  // namespace corvina::app
