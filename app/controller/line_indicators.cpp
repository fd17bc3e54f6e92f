#include "app/controller/line_indicators.h"

namespace corvina::app {

bool LineIndicators::AnyBlinkingLine() const {
  for (LineIndicator s : state_) {
    if (s == LineIndicator::kRinging || s == LineIndicator::kHeld) return true;
  }
  return false;
}

void LineIndicators::Draw(int line, bool lit, IndicatorUpdate& update) {
  auto& shown = lit_[static_cast<std::size_t>(line)];
  if (shown == lit) return;
  shown = lit;
  update.draws.push_back({line, lit});
}

IndicatorUpdate LineIndicators::SetLineIndicator(int line, LineIndicator state, std::uint32_t nowMs) {
  IndicatorUpdate update;
  if (line < 0 || line >= kLines) return update;
  state_[static_cast<std::size_t>(line)] = state;
  if (state == LineIndicator::kRinging || state == LineIndicator::kHeld) {
    if (!blinking_) {
      blinking_ = true;
      blinkStartMs_ = nowMs;
      Draw(line, true, update);
      update.timer = BlinkTimer::kStart;
    }
    return update;
  }
  Draw(line, state == LineIndicator::kActive, update);
  if (blinking_ && !AnyBlinkingLine()) {
    blinking_ = false;
    update.timer = BlinkTimer::kStop;
  }
  return update;
}

IndicatorUpdate LineIndicators::Tick(std::uint32_t nowMs) {
  IndicatorUpdate update;
  if (!blinking_) {
    update.timer = BlinkTimer::kStop;
    return update;
  }
  // Half-second steps since the blinking began, rounded to the nearest so that a timer firing
  // a little early or late lands on the step it was meant for.
  const std::uint32_t step = (nowMs - blinkStartMs_ + kBlinkStepMs / 2) / kBlinkStepMs;
  const bool fastOn = step % 2 == 0;
  const bool slowOn = (step / 2) % 2 == 0;
  for (int line = 0; line < kLines; ++line) {
    LineIndicator s = state_[static_cast<std::size_t>(line)];
    if (s == LineIndicator::kRinging) Draw(line, slowOn, update);
    if (s == LineIndicator::kHeld) Draw(line, fastOn, update);
  }
  update.timer = BlinkTimer::kStart;
  return update;
}

}  // namespace corvina::app
