#include "app/console/console_verbs.h"

#include <unistd.h>

#include "app/controller/call_lines.h"
#include "app/controller/main_window.h"
#include "app/console/contact_verbs.h"
#include "app/console/json_writer.h"
#include "app/console/mail_verbs.h"
#include "app/console/phone_verbs.h"
#include "app/console/options_verbs.h"
#include "app/console/quick_verbs.h"
#include "app/console/sip_console.h"
#include "platform/product.h"
#include "platform/product_info.h"

// The Qt the window program is built with: the console phone never loads it.
#ifndef CORVINA_QT_VERSION
#define CORVINA_QT_VERSION ""
#endif

namespace corvina::app {
namespace {

void RegisterHelp(CommandProcessor& verbs) {
  verbs.Register("help", "lists the commands, or describes VERB", [&verbs](const CommandArgs& args) {
    if (args.Count() == 0) return CommandReply::Ok(verbs.HelpJson());
    if (args.Count() > 1) return CommandReply::Error("usage: help [VERB]");
    std::optional<std::string> one = verbs.HelpJson(args[0]);
    if (!one) return CommandReply::Error(CommandProcessor::UnknownVerb(args[0]));
    return CommandReply::Ok(*one);
  });
}

void RegisterShell(CommandProcessor& verbs, const ConsoleVerbContext& context) {
  verbs.Register("about", "the phone's name, version, build and libraries with their licences", [](const CommandArgs&) {
    return CommandReply::Ok(JsonObject().Add("text", platform::AboutText(CORVINA_QT_VERSION)).Str());
  });
  verbs.Register("quit", "stops the phone", [context](const CommandArgs&) {
    context.quit();
    return CommandReply::Ok();
  });
  verbs.Register("status", "what the phone is and where it keeps its files", [context](const CommandArgs&) {
    MainWindow& window = context.window;
    ProgramObjects& p = window.Program();
    return CommandReply::Ok(JsonObject()
                                .Add("phone", platform::kProductName)
                                .Add("version", platform::kProductVersion)
                                .Add("pid", static_cast<std::int64_t>(getpid()))
                                .Add("initialised", window.Initialised())
                                .Add("registry", p.paths.registryFile)
                                .Add("settingsOpen", p.store.IsOpen())
                                .Add("dataFolder", p.paths.DataFolder())
                                .Add("logFile", p.activityLog.CurrentFilePath())
                                .Add("startTime", static_cast<std::int64_t>(p.startTime))
                                .Add("workers", static_cast<std::int64_t>(p.workers.Count()))
                                .Add("bridges", static_cast<std::int64_t>(p.bridges.Count()))
                                .Add("statusEntries", static_cast<std::int64_t>(window.Status().Count()))
                                .Add("uiTasksDropped", static_cast<std::int64_t>(p.postbox.GetCounters().droppedFull))
                                .AddRaw("engine", EngineJson(p.sipEngine))
                                .AddRaw("registrations", RegistrationsJson(window.LineRegistrations()))
                                .AddRaw("lines", window.Calls().StatusJson())
                                .Str());
  });
}

}  // namespace

void RegisterConsoleVerbs(CommandProcessor& verbs, const ConsoleVerbContext& context) {
  RegisterHelp(verbs);
  RegisterShell(verbs, context);
  MainWindow* window = &context.window;
  RegisterPhoneVerbs(verbs, [window] { return window->Phone(); });
  RegisterSipVerbs(verbs, context);
  RegisterContactVerbs(verbs, {[window] { return window->Contacts(); }, context.events, context.program.settings,
                                context.progress});
  RegisterQuickVerbs(verbs, context);
  RegisterOptionsVerbs(verbs, context);
  RegisterMailVerbs(verbs, context);
  // Every announcement of a call line is also a "line" event with its call state.
  context.window.Calls().SetEventSink(&context.events);
}

}  // namespace corvina::app
