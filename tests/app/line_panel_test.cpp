// The line panel:
// - a ringing line blinks one second lit, one second dark; a held line twice as fast; the
//   blinking starts with the first such line and stops when none is left;
// - the display shows "Corvina" with date and clock when idle, "Line n" and the call time
//   otherwise, never a negative time;
// - meters are shifted and clamped; fonts and layout units follow the screen's dpi.
#include <gtest/gtest.h>

#include "app/controller/line_indicators.h"
#include "app/controller/panel_metrics.h"
#include "app/controller/status_display.h"
#include "platform/clock.h"

namespace corvina::app {
namespace {

// Drives the blink timer the way the controller does, on a tick clock, and samples each
// line's shown state every half second.
std::string BlinkPattern(LineIndicators& panel, platform::FakeTickClock& clock, int line, int steps) {
  std::string pattern;
  for (int i = 0; i < steps; ++i) {
    clock.Advance(500);
    panel.Tick(clock.NowMs());
    pattern += panel.Lit(line) ? '#' : '.';
  }
  return pattern;
}

TEST(LineIndicatorsTest, RingingBlinksBySecondsAndHeldByHalfSeconds) {
  platform::FakeTickClock clock(0xFFFFF000u);  // the tick count wraps during the test
  LineIndicators panel;
  IndicatorUpdate u = panel.SetLineIndicator(0, LineIndicator::kHeld, clock.NowMs());
  EXPECT_EQ(u.timer, BlinkTimer::kStart);
  ASSERT_EQ(u.draws.size(), 1u);
  EXPECT_TRUE(u.draws[0].lit);  // lit at once
  u = panel.SetLineIndicator(1, LineIndicator::kRinging, clock.NowMs());
  EXPECT_EQ(u.timer, BlinkTimer::kLeave);  // the blinking already runs

  LineIndicators copy = panel;
  platform::FakeTickClock copyClock(clock.NowMs());
  EXPECT_EQ(BlinkPattern(panel, clock, 0, 12), ".#.#.#.#.#.#");
  EXPECT_EQ(BlinkPattern(copy, copyClock, 1, 12), "#..##..##..#");
}

TEST(LineIndicatorsTest, ALateTimerKeepsThePhase) {
  platform::FakeTickClock clock(1000);
  LineIndicators panel;
  panel.SetLineIndicator(0, LineIndicator::kRinging, clock.NowMs());
  std::string pattern;
  for (std::uint32_t late : {530u, 480u, 560u, 430u, 510u, 490u}) {
    clock.Advance(late);
    panel.Tick(clock.NowMs());
    pattern += panel.Lit(0) ? '#' : '.';
  }
  EXPECT_EQ(pattern, "#..##.");
}

TEST(LineIndicatorsTest, AnsweringDrawsLitAtOnceAndStopsBlinkingOnlyWhenNoLineBlinks) {
  platform::FakeTickClock clock(0);
  LineIndicators panel;
  panel.SetLineIndicator(0, LineIndicator::kRinging, 0);
  panel.SetLineIndicator(1, LineIndicator::kHeld, 0);
  clock.Advance(1000);
  panel.Tick(clock.NowMs());
  ASSERT_FALSE(panel.Lit(0));  // the ringing line is in its dark second

  IndicatorUpdate u = panel.SetLineIndicator(0, LineIndicator::kActive, clock.NowMs());
  EXPECT_TRUE(panel.Lit(0));
  EXPECT_EQ(u.timer, BlinkTimer::kLeave);  // line 2 still held
  u = panel.SetLineIndicator(1, LineIndicator::kIdle, clock.NowMs());
  EXPECT_EQ(u.timer, BlinkTimer::kStop);
  EXPECT_FALSE(panel.Blinking());
  EXPECT_FALSE(panel.Lit(1));
  // Redrawn only on change.
  EXPECT_TRUE(panel.SetLineIndicator(0, LineIndicator::kActive, clock.NowMs()).draws.empty());
  EXPECT_EQ(panel.Tick(clock.NowMs()).timer, BlinkTimer::kStop);
}

TEST(StatusDisplayTest, IdleShowsDateAndClockACallShowsItsLineAndTime) {
  platform::FakeWallClock clock(1773532798);  // 2026-03-14 23:59:58 UTC
  StatusDisplay display(clock);
  DisplayRows rows = display.Paint();
  EXPECT_EQ(rows.title, "Corvina");
  EXPECT_EQ(rows.left, "2026-03-14");
  EXPECT_EQ(rows.right, "23:59:58");
  EXPECT_EQ(display.StartTime(), clock.Now());

  display.Show("Call Answered", 1, clock.Now());
  display.SetNote("1 missed");
  clock.Advance(3 * 3600 + 2 * 60 + 5);
  rows = display.Paint();
  EXPECT_EQ(rows.left, "Line 2");
  EXPECT_EQ(rows.right, "3:02:05");
  EXPECT_EQ(rows.note, "[1 missed]");

  display.Show("Ringing sip:a@h", 0, 0);
  EXPECT_EQ(display.Paint().right, "0:00:00");
  display.Show("Call Answered", 0, clock.Now() + 50);  // the clock was set back
  EXPECT_EQ(display.Paint().right, "0:00:00");
  display.ShowConference(2);
  EXPECT_EQ(display.Paint().left, "Conference 2");
  display.ShowIdle();
  EXPECT_EQ(display.Paint().note, "");
  EXPECT_EQ(StatusDisplay::FormatElapsed(125LL * 3600 + 59), "125:00:59");
}

TEST(PanelMetricsTest, FontsLayoutUnitsAndMeters) {
  const std::pair<int, std::array<int, 6>> fontCases[] = {
      {96, {22, 11, 12, 20, 18, 8}},
      {192, {44, 22, 24, 40, 36, 16}},
      {131, {30, 15, 16, 27, 25, 11}},
  };
  for (const auto& [dpi, heights] : fontCases) {
    auto fonts = PanelFonts(dpi);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(fonts[i].height, heights[i]) << dpi << " font " << i;
  }
  EXPECT_EQ(ToLayoutUnits(480, 192), 240);
  EXPECT_EQ(ToLayoutUnits(131, 131), 96);
  EXPECT_TRUE(UsePortrait(480, 480));

  const int levels[] = {-127, -20, 0, 100, 127};
  EXPECT_EQ(ShiftLevels(levels, 30), (std::vector<int>{-97, 10, 30, 127, 127}));
  EXPECT_EQ(ShiftLevels(levels, -127), (std::vector<int>{-127, -127, -127, -27, 0}));
}

}  // namespace
}  // namespace corvina::app
