// The two line buttons: each line's indicator state and whether its button is drawn lit. A
// ringing line blinks one second lit, one second dark; a held line twice as fast. The blink
// phases run from the moment the first line started blinking and are computed from `now`
// (tick milliseconds), so a late timer never puts the phases out of step. The controller's
// blink timer runs only while a line is ringing or held. User-interface thread only.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace corvina::app {

enum class LineIndicator : std::uint8_t { kIdle = 0, kRinging = 1, kHeld = 2, kActive = 3 };

struct ButtonDraw {
  int line = 0;
  bool lit = false;
};

enum class BlinkTimer { kLeave, kStart, kStop };

// What the view must redraw (only buttons whose shown state changed) and what to do with the
// blink timer.
struct IndicatorUpdate {
  std::vector<ButtonDraw> draws;
  BlinkTimer timer = BlinkTimer::kLeave;
};

class LineIndicators {
 public:
  static constexpr int kLines = 2;
  static constexpr std::uint32_t kBlinkStepMs = 500;

  // Stores the line's state. Ringing or held starts the blinking when none runs (the line is
  // lit at once); idle or active draws the line dark or lit and stops the blinking when no
  // line rings or is held any more.
  IndicatorUpdate SetLineIndicator(int line, LineIndicator state, std::uint32_t nowMs);
  // The blink timer fired: draws each blinking line by its phase. The timer is re-armed
  // (kStart, kBlinkStepMs) while blinking, else stopped.
  IndicatorUpdate Tick(std::uint32_t nowMs);

  LineIndicator State(int line) const { return state_[static_cast<std::size_t>(line)]; }
  bool Lit(int line) const { return lit_[static_cast<std::size_t>(line)]; }
  bool Blinking() const { return blinking_; }

 private:
  bool AnyBlinkingLine() const;
  void Draw(int line, bool lit, IndicatorUpdate& update);

  std::array<LineIndicator, kLines> state_{LineIndicator::kIdle, LineIndicator::kIdle};
  std::array<bool, kLines> lit_{false, false};  // the buttons start dark
  bool blinking_ = false;
  std::uint32_t blinkStartMs_ = 0;
};

}  // namespace corvina::app
