#include "app/nettest_window.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/progress/update_queue.h"
#include "call/network_tool_texts.h"
#include "call/network_tool_worker.h"
#include "platform/text.h"

namespace corvina::app {
namespace {

constexpr int kPollMs = 200;

// The worker's display: updates queued for the user-interface thread. The tool shows about
// twenty texts, two fractions and at most one message, so the queue stays small.
class QueuedToolDisplay final : public call::NetworkToolDisplay {
 public:
  struct Update {
    std::string text;
    std::string title;  // a message box when not empty
    double fraction = -1;
  };
  void ShowStep(std::string_view text) override { queue_.Push({std::string(text), {}, -1}); }
  void SetFraction(double fraction) override { queue_.Push({{}, {}, fraction}); }
  void ShowMessage(std::string_view title, std::string_view text) override {
    queue_.Push({std::string(text), std::string(title), -1});
  }
  platform::Event& Changed() { return queue_.Changed(); }
  // User-interface thread: shows what is queued.
  void Drain(ProgressSink* sink, MainView& view) {
    for (const Update& u : queue_.Take()) {
      if (!u.title.empty()) {
        view.ShowMessageBox(u.title, u.text);
      } else if (sink == nullptr) {
        continue;
      } else if (u.fraction >= 0) {
        sink->SetFraction(u.fraction);
      } else {
        sink->SetText(u.text, 0);
      }
    }
  }

 private:
  UpdateQueue<Update> queue_;
};

// One task run on the user-interface thread for a waiting worker. A worker that stops waiting
// abandons it; the task, should it still run later, then does nothing.
template <typename Result>
class UiCall {
 public:
  // Posts `task` and waits for its result or for `stop`; nothing when stopped first or not posted.
  static std::optional<Result> Run(platform::PostOwner& posts, platform::Event& stop, std::function<Result()> task) {
    auto call = std::make_shared<UiCall>();
    const bool posted = posts.Post([call, task = std::move(task)] {
      std::lock_guard lock(call->mutex_);
      if (call->abandoned_) return;
      call->result_ = task();
      call->done_.Set();
    });
    if (!posted) return std::nullopt;
    const platform::WaitSource sources[] = {platform::WaitSource::Of(call->done_), platform::WaitSource::Of(stop)};
    platform::WaitForAny(sources, platform::kWaitInfinite);  // `stop` is set whenever the tool ends
    std::lock_guard lock(call->mutex_);
    call->abandoned_ = true;
    return call->result_;  // a result that came with the stop still counts
  }

 private:
  std::mutex mutex_;
  bool abandoned_ = false;         // guarded by mutex_
  std::optional<Result> result_;   // guarded by mutex_
  platform::Event done_{platform::Event::Mode::kManualReset};
};

call::FirewallAnswer ToFirewallAnswer(QuestionAnswer answer) {
  switch (answer) {
    case QuestionAnswer::kYes: return call::FirewallAnswer::kYes;
    case QuestionAnswer::kNo: return call::FirewallAnswer::kNo;
    case QuestionAnswer::kCancel: break;
  }
  return call::FirewallAnswer::kCancel;
}

}  // namespace

WaitResult RunNetworkToolInWindow(const NetworkToolWindowParts& parts) {
  ProgramObjects& program = parts.program;
  MainView& view = parts.view;
  platform::PostOwner& posts = parts.posts;
  call::NetworkToolHooks hooks;
  const bool engineRunning = parts.engineRunning;
  hooks.engineRunning = [engineRunning] { return engineRunning; };
  hooks.stopEngine = [&posts, stop = parts.stopEngine](platform::Event& cancel) {
    const auto ran = UiCall<bool>::Run(posts, cancel, [stop] {
      stop();
      return true;
    });
    return ran ? call::EngineStop::kStopped : call::EngineStop::kCancelled;
  };
  // Not waited for: the engine starts on the user-interface thread once the tool has ended.
  hooks.startEngine = [&posts, start = parts.startEngine] { posts.Post(start); };
  hooks.askFirewall = [&posts, &view](int port, platform::Event& cancel) {
    const std::string text = platform::FormatText(call::tool::kFirewallQuestion.data(), port);
    const auto answer = UiCall<QuestionAnswer>::Run(
        posts, cancel, [&view, text] { return view.AskYesNoCancel(call::tool::kFirewallTitle, text); });
    return ToFirewallAnswer(answer.value_or(QuestionAnswer::kCancel));
  };

  // The worker's hooks are answered by the postbox, which only a running window loop serves.
  ProgressWindow* window = view.ToolProgress();
  if (window == nullptr) return WaitResult::kFailed;
  QueuedToolDisplay display;
  call::NetworkToolWorker worker(program.settings, program.activityLog, program.resolver, program.tickClock, display,
                                 std::move(hooks), call::ProgramNetworkToolServers());
  if (!worker.Start()) return WaitResult::kFailed;
  const WaitResult waited = window->Run(call::tool::kTitle, [&](ProgressSink& sink) {
    const platform::WaitSource sources[] = {platform::WaitSource::Of(display.Changed())};
    for (;;) {
      const bool ended = worker.Ended();  // before draining: all of its updates are queued then
      display.Drain(&sink, view);
      if (ended) return WaitResult::kDone;
      // A short wait keeps the window answering; the worker's end is seen on the next round.
      if (sink.WaitAny(sources, kPollMs) == WaitResult::kCancelled) return WaitResult::kCancelled;
    }
  });
  worker.Cancel();  // every wait of the tool ends on it, so the join is bounded
  worker.Join();
  display.Drain(nullptr, view);  // a closing message queued as the window closed
  // The question's Cancel ends the tool as the window's Cancel does.
  const bool cancelled = waited == WaitResult::kCancelled || worker.Result() == call::NetworkToolResult::kCancelled;
  return cancelled ? WaitResult::kCancelled : WaitResult::kDone;
}

}  // namespace corvina::app
