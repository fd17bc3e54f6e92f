// The progress window's cooperative waits on the fake clock, its bar, its run rules, and the
// console's progress events with the `cancel` verb.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>

#include "app/progress/fake_progress.h"
#include "app/progress/headless_progress.h"

namespace corvina::app {
namespace {

TEST(ProgressWait, EndsOnSignalCancelOrTimeOut) {
  struct Case {
    const char* name;
    bool signalled;
    int cancelAt;  // -1: never
    int inputAt;   // other input, -1: never
    bool sleep;
    WaitResult result;
    std::uint32_t endMs;
    int pumps;
  };
  const Case cases[] = {
      {"already signalled: no pumping", true, -1, -1, false, WaitResult::kDone, 0, 0},
      {"cancel in a 10 s wait: one cycle", false, 3000, -1, false, WaitResult::kCancelled, 3000, 1},
      {"time-out after other input", false, -1, 4000, false, WaitResult::kFailed, 10000, 1},
      {"sleep passes", false, -1, 4000, true, WaitResult::kDone, 10000, 1},
      {"cancel after the time-out is not seen", false, 12000, -1, false, WaitResult::kFailed, 10000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::FakeTickClock clock(100);
    FakeProgressWindow window(clock);
    if (c.cancelAt >= 0) window.CancelAt(100 + c.cancelAt);
    if (c.inputAt >= 0) window.InputAt(100 + c.inputAt);
    platform::Event event;
    if (c.signalled) event.Set();
    WaitResult result = WaitResult::kDone;
    window.Run("Testing", [&](ProgressSink& sink) {
      result = c.sleep ? sink.Sleep(10000) : sink.WaitOne(platform::WaitSource::Of(event), 10000);
      return result;
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(clock.NowMs() - 100, c.endMs);
    EXPECT_EQ(window.pumps, c.pumps);
    EXPECT_FALSE(event.IsSet());  // a signalled auto-reset event is consumed
  }
}

TEST(ProgressWait, RefusesWaitsItCannotMakeAndSeesAClosedWindow) {
  platform::FakeTickClock clock;
  FakeProgressWindow window(clock);
  std::vector<platform::Event> events(64);
  std::vector<platform::WaitSource> sources;
  for (auto& e : events) sources.push_back(platform::WaitSource::Of(e));
  window.CancelAt(5);
  window.Run("t", [&](ProgressSink& sink) {
    EXPECT_EQ(sink.WaitAny(sources, 100), WaitResult::kFailed);  // 64 sources: one too many
    EXPECT_EQ(sink.WaitAny(std::span(sources).first(63), -5), WaitResult::kFailed);
    EXPECT_EQ(sink.WaitAny(std::span(sources).first(63), platform::kWaitInfinite), WaitResult::kCancelled);
    EXPECT_EQ(sink.Sleep(10), WaitResult::kCancelled);  // gone: every later wait ends at once
    EXPECT_TRUE(sink.Pump());
    return WaitResult::kCancelled;
  });
}

TEST(ProgressWindow, RunDisablesTheParentAndRefusesASecondRun) {
  platform::FakeTickClock clock;
  FakeProgressWindow window(clock);
  WaitResult inner = WaitResult::kDone;
  const WaitResult outer = window.Run("Importing Contacts", [&](ProgressSink&) {
    EXPECT_FALSE(window.parentEnabled);
    EXPECT_EQ(window.title, "Importing Contacts");
    inner = window.Run("again", [](ProgressSink&) { return WaitResult::kDone; });
    return WaitResult::kFailed;
  });
  EXPECT_EQ(outer, WaitResult::kFailed);
  EXPECT_EQ(inner, WaitResult::kCancelled);
  EXPECT_TRUE(window.parentEnabled);
  EXPECT_FALSE(window.open);
  EXPECT_FALSE(window.Running());
}

TEST(ProgressWindow, BarPositionsJumpWithoutAnimationNearTheEnd) {
  EXPECT_EQ(BarPositions(0.995), (std::vector<int>{100, 99}));
  EXPECT_EQ(BarPositions(1.0), (std::vector<int>{101, 100}));
  EXPECT_EQ(BarPositions(0.427), (std::vector<int>{42}));
  EXPECT_EQ(BarPositions(-3.0), (std::vector<int>{0}));
  EXPECT_EQ(BarPositions(7.0), (std::vector<int>{101, 100}));
  EXPECT_EQ(BarPositions(std::nan("")), (std::vector<int>{0}));
}

// The console's input: scripted command lines, one per wait, through the real verb table.
class ScriptedConsole final : public ConsoleInput, public ConsoleEventSink {
 public:
  int WaitSourcesOrInput(std::span<const platform::WaitSource> sources, int) override {
    if (platform::WaitForAny(sources, 0) >= 0) return 0;
    return script.empty() ? platform::kWaitTimedOut : CooperativeWaiter::kInput;
  }
  void HandleInput() override {
    answers.push_back(commands.Execute(script.front()));
    script.pop_front();
  }
  void Emit(const ConsoleEvent& event) override { events.push_back(event.Json()); }
  CommandProcessor commands;
  std::deque<std::string> script;
  std::vector<std::string> answers;
  std::vector<std::string> events;
};

TEST(HeadlessProgress, ShowsEventsReadsCommandsAndCancels) {
  ScriptedConsole console;
  platform::FakeTickClock clock;
  HeadlessProgress progress(console, console, clock);
  RegisterProgressVerbs(console.commands, progress);
  console.commands.Register("ping", "", [](const CommandArgs&) { return CommandReply::Ok(); });
  EXPECT_EQ(console.commands.Execute("cancel"), "error: no progress window");
  console.script = {"ping", "cancel"};
  const WaitResult result = progress.Run("Importing Contacts", [](ProgressSink& sink) {
    sink.SetText("Importing", 0);
    sink.SetText("ignored", 2);
    sink.SetFraction(0.5);
    sink.SetFraction(0.505);  // same position: no event
    sink.StartIndeterminate();
    const WaitResult waited = sink.Sleep(10000);
    sink.ReportError("Unable to read the file.");  // still shown after Cancel
    sink.SetText("after", 1);                      // the window is gone
    return waited;
  });
  EXPECT_EQ(result, WaitResult::kCancelled);
  EXPECT_EQ(console.answers, (std::vector<std::string>{"ok", "ok"}));
  EXPECT_EQ(console.events, (std::vector<std::string>{
                                R"({"event":"progress","state":"open","title":"Importing Contacts"})",
                                R"({"event":"progress","row":0,"text":"Importing"})",
                                R"({"event":"progress","percent":50})",
                                R"({"event":"progress","marquee":true})",
                                R"({"event":"progress","state":"cancelled"})",
                                R"({"event":"messageBox","title":"Error","text":"Unable to read the file."})",
                            }));
}

}  // namespace
}  // namespace corvina::app
