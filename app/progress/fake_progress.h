// The progress window for tests: time is a FakeTickClock that the waits move forward, and the
// user's input (Cancel, or anything else) is scripted at given ticks. Real events and
// descriptors are polled, so a source signalled before the wait is seen at once.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/progress/progress_sink.h"
#include "platform/clock.h"

namespace corvina::app {

class FakeProgressWindow final : public CooperativeProgressWindow {
 public:
  explicit FakeProgressWindow(platform::FakeTickClock& clock) : clock_(clock) {}

  // The user presses Cancel when the clock reaches `atMs`.
  void CancelAt(std::uint32_t atMs) { input_[atMs] = true; }
  // Input that leaves the window open arrives at `atMs`.
  void InputAt(std::uint32_t atMs) { input_.emplace(atMs, false); }

  bool Pump() override;
  void ReportError(std::string_view text) override { errors.emplace_back(text); }
  void SetText(std::string_view text, int line) override;
  void SetFraction(double fraction) override;
  void StartIndeterminate() override { marquee = true; }
  void StopIndeterminate() override { marquee = false; }

  // What the window showed; read by the test.
  std::string title;
  std::string lines[2];
  std::vector<int> barPositions;
  std::vector<std::string> errors;
  bool marquee = false;
  bool open = false;
  bool parentEnabled = true;
  int pumps = 0;

 private:
  void Open(std::string_view windowTitle) override;
  void Close() override;
  std::uint32_t NowMs() override { return clock_.NowMs(); }
  int WaitSourcesOrInput(std::span<const platform::WaitSource> sources, int timeoutMs) override;
  bool PumpInput() override { return Pump(); }
  bool Gone() const override { return !open; }

  platform::FakeTickClock& clock_;
  std::map<std::uint32_t, bool> input_;  // tick -> is Cancel
};

}  // namespace corvina::app
