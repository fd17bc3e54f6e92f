#include "app/nettest_tool.h"

#include <mutex>

#include "app/logs/activity_log.h"
#include "app/phone_entry.h"
#include "call/network_tool_texts.h"
#include "call/network_tool_worker.h"
#include "platform/instance_channel.h"
#include "platform/name_resolver.h"
#include "platform/settings.h"
#include "platform/text.h"

namespace corvina::app {
namespace {

constexpr int kEndedOrRefused = 2;
// Without a person to ask, "yes" tries a silent port again this often, then gives it up.
constexpr int kYesRetries = 3;

std::string OneLine(std::string_view text) {
  std::string line(text);
  for (std::size_t at; (at = line.find("\r\n")) != std::string::npos;) line.replace(at, 2, " ");
  return line;
}

// Prints what the tool shows and logs, from its worker thread, and passes the log lines on to
// the phone's activity log.
class PrintingTool final : public call::NetworkToolDisplay, public platform::LogSink {
 public:
  PrintingTool(std::ostream& out, platform::LogSink& log) : out_(out), log_(log) {}
  void ShowStep(std::string_view text) override { Print("progress " + std::string(text)); }
  void SetFraction(double fraction) override {
    Print("progress " + std::to_string(static_cast<int>(fraction * 100)) + "%");
  }
  void ShowMessage(std::string_view title, std::string_view text) override {
    Print("messageBox " + std::string(title) + ": " + OneLine(text));
  }
  void Log(std::string_view message, std::uint8_t level) override {
    log_.Log(message, level);
    Print("log " + std::to_string(level) + " " + std::string(message));
  }
  void Print(const std::string& line) {
    std::lock_guard lock(mutex_);
    out_ << line << "\n" << std::flush;
  }

 private:
  std::mutex mutex_;
  std::ostream& out_;  // guarded by mutex_
  platform::LogSink& log_;
};

}  // namespace

int RunNetTestTool(const std::vector<std::string>& args, platform::SettingsStore& store,
                   const platform::PhonePaths& paths, std::ostream& out, std::ostream& err) {
  call::FirewallAnswer answer = call::FirewallAnswer::kNo;
  std::string answerText = "no";
  if (!args.empty()) {
    const bool known = args.size() == 2 && args[0] == "--blocked" &&
                       (args[1] == "yes" || args[1] == "no" || args[1] == "cancel");
    if (!known) {
      err << "error: unknown arguments\nusage:\n" CORVINA_NETTEST_USAGE;
      return kEndedOrRefused;
    }
    answerText = args[1];
    answer = args[1] == "yes" ? call::FirewallAnswer::kYes
                              : (args[1] == "no" ? call::FirewallAnswer::kNo : call::FirewallAnswer::kCancel);
  }
  if (platform::RunningInstanceAnswers(paths.runtimeFolder, kHandOverTimeoutMs)) {
    err << "error: a phone is running on this home and holds its SIP port; use its Networking Setup Wizard\n";
    return kEndedOrRefused;
  }
  platform::Settings settings(store);
  platform::SystemWallClock wall;
  ActivityLog activityLog(paths.DataFolder(), wall);
  PrintingTool printing(out, activityLog);
  platform::SystemNameResolver resolver;
  platform::SystemTickClock clock;
  call::NetworkToolHooks hooks;
  int asked = 0;
  int askedPort = -1;
  hooks.askFirewall = [&](int port, platform::Event&) {
    asked = port == askedPort ? asked + 1 : 1;
    askedPort = port;
    const bool retry = answer != call::FirewallAnswer::kYes || asked <= kYesRetries;
    printing.Print("question " + std::string(call::tool::kFirewallTitle) + ": " +
                   OneLine(platform::FormatText(call::tool::kFirewallQuestion.data(), port)) + " -> " + (retry ? answerText : "no"));
    return retry ? answer : call::FirewallAnswer::kNo;
  };
  call::NetworkToolWorker worker(settings, printing, resolver, clock, printing, std::move(hooks),
                                 call::ProgramNetworkToolServers());
  if (!worker.Start()) {
    err << "error: cannot start the network tool's thread\n";
    return kEndedOrRefused;
  }
  worker.Join();
  switch (worker.Result()) {
    case call::NetworkToolResult::kFinished: return 0;
    case call::NetworkToolResult::kCancelled: return 1;
    case call::NetworkToolResult::kEnded: return kEndedOrRefused;
  }
  return kEndedOrRefused;
}

}  // namespace corvina::app
