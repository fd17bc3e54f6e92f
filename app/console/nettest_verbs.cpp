#include "app/console/nettest_verbs.h"

#include "app/console/console_phone.h"
#include "app/console/json_writer.h"
#include "app/controller/main_window.h"

namespace corvina::app {
namespace {

// How long one round of waiting for the reply lasts; the rounds end on the reply, a closed
// progress window or the phone's quitting.
constexpr int kQuestionRoundMs = 200;

}  // namespace

QuestionAnswer ConsolePhone::AskYesNoCancel(std::string_view title, std::string_view text) {
  CORVINA_CHECK_THREAD(uiThread_);
  const bool inProgress = progress_.IsOpen();
  question_.Open();
  Emit(ConsoleEvent("question").Add("title", title).Add("text", text).AddRaw("answers", R"(["yes","no","cancel"])"));
  while (!question_.Answer() && !loop_.Quitting() && (!inProgress || progress_.IsOpen())) {
    if (WaitSourcesOrInput({}, kQuestionRoundMs) == CooperativeWaiter::kInput) HandleInput();
  }
  const QuestionAnswer answer = question_.Answer().value_or(QuestionAnswer::kCancel);
  question_.Close();
  return answer;
}

bool ConsolePhone::RunNetworkTool() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (window_ == nullptr) return false;
  window_->RunNetworkTool();
  return true;
}

void RegisterNetTestVerbs(CommandProcessor& verbs, MainWindow& window, ConsoleQuestion& question) {
  verbs.Register("nettest", "runs the Networking Setup Wizard: {\"result\":0 done|1 cancelled}",
                 [&window](const CommandArgs& args) {
                   if (args.Count() != 0) return CommandReply::Error("nettest takes no arguments");
                   const WaitResult result = window.RunNetworkTool();
                   return CommandReply::Ok(JsonObject().Add("result", static_cast<std::int64_t>(result)).Str());
                 });
  verbs.Register("reply", "yes|no|cancel: answers the open question box", [&question](const CommandArgs& args) {
    const std::string word = args.Count() == 1 ? args[0] : "";
    std::optional<QuestionAnswer> answer;
    if (word == "yes") answer = QuestionAnswer::kYes;
    if (word == "no") answer = QuestionAnswer::kNo;
    if (word == "cancel") answer = QuestionAnswer::kCancel;
    if (!answer) return CommandReply::Error("reply yes|no|cancel");
    if (!question.Reply(*answer)) return CommandReply::Error("no question is open");
    return CommandReply::Ok();
  });
}

}  // namespace corvina::app
