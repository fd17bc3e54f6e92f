// The progress window of the console phone. It shows itself as `progress` events:
//   {"event":"progress","state":"open","title":"Importing Contacts"}
//   {"event":"progress","row":0,"text":"..."}         (rows 0 and 1)
//   {"event":"progress","percent":42}                 (the bar's final position)
//   {"event":"progress","marquee":true|false}
//   {"event":"progress","state":"cancelled"}          (the `cancel` verb)
//   {"event":"progress","state":"closed"}
// and reports errors as the `messageBox` event titled "Error". While an operation waits or
// pumps, the console's commands are still read and answered; `cancel` closes the window, and
// so does the phone's quitting.
#pragma once

#include "app/console/command_processor.h"
#include "app/console/console_event.h"
#include "app/progress/progress_sink.h"
#include "platform/clock.h"

namespace corvina::app {

// The console's command input as a progress wait sees it.
class ConsoleInput {
 public:
  virtual ~ConsoleInput() = default;
  // Waits for one of `sources` or for command input: a source index, CooperativeWaiter::kInput,
  // platform::kWaitTimedOut or platform::kWaitFailed.
  virtual int WaitSourcesOrInput(std::span<const platform::WaitSource> sources, int timeoutMs) = 0;
  // Reads and answers the waiting commands.
  virtual void HandleInput() = 0;
};

class HeadlessProgress final : public CooperativeProgressWindow {
 public:
  // All three stay the caller's and outlive this object.
  HeadlessProgress(ConsoleEventSink& events, ConsoleInput& input, const platform::TickClock& clock)
      : events_(events), input_(input), clock_(clock) {}

  // The Cancel button: false when no window is open.
  bool Cancel();
  bool IsOpen() const { return open_; }

  bool Pump() override;
  void ReportError(std::string_view text) override;
  void SetText(std::string_view text, int line) override;
  void SetFraction(double fraction) override;
  void StartIndeterminate() override;
  void StopIndeterminate() override;

 private:
  void Open(std::string_view title) override;
  void Close() override;
  std::uint32_t NowMs() override { return clock_.NowMs(); }
  int WaitSourcesOrInput(std::span<const platform::WaitSource> sources, int timeoutMs) override {
    return input_.WaitSourcesOrInput(sources, timeoutMs);
  }
  bool PumpInput() override { return Pump(); }
  bool Gone() const override { return !open_; }

  ConsoleEventSink& events_;
  ConsoleInput& input_;
  const platform::TickClock& clock_;
  bool open_ = false;  // user-interface thread, as all of this object
  int percent_ = -1;   // the bar's last position, so an unchanged one is not repeated
};

// Adds the `cancel` verb: the progress window's Cancel button.
void RegisterProgressVerbs(CommandProcessor& commands, HeadlessProgress& progress);

}  // namespace corvina::app
