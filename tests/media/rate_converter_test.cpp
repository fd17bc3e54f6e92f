// The sample-rate and channel converter.
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "media/rate_converter.h"

namespace corvina::media {
namespace {

std::vector<std::int32_t> Sine(double frequency, int rate, double amplitude, std::size_t count) {
  std::vector<std::int32_t> s(count);
  for (std::size_t i = 0; i < count; ++i) {
    s[i] = static_cast<std::int32_t>(std::lround(amplitude * std::sin(2 * M_PI * frequency * i / rate)));
  }
  return s;
}

// The rest of the signal after a tone is taken out must stay this far below the tone.
constexpr double kMaxResidualDb = -75.0;

// Fits a sine of `frequency` (with offset) to s[from..] by least squares; gives its amplitude
// and the level of the rest relative to it, in dB.
struct Fit {
  double amplitude;
  double residualDb;
};
Fit FitSine(const std::vector<std::int32_t>& s, std::size_t from, double frequency, int rate) {
  double m[3][4] = {};
  for (std::size_t i = from; i < s.size(); ++i) {
    const double w = 2 * M_PI * frequency * i / rate;
    const double v[3] = {std::sin(w), std::cos(w), 1.0};
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) m[r][c] += v[r] * v[c];
      m[r][3] += v[r] * s[i];
    }
  }
  for (int p = 0; p < 3; ++p) {
    for (int r = 0; r < 3; ++r) {
      if (r == p) continue;
      const double f = m[r][p] / m[p][p];
      for (int c = 0; c < 4; ++c) m[r][c] -= f * m[p][c];
    }
  }
  const double a = m[0][3] / m[0][0], b = m[1][3] / m[1][1], dc = m[2][3] / m[2][2];
  double residual = 0;
  for (std::size_t i = from; i < s.size(); ++i) {
    const double w = 2 * M_PI * frequency * i / rate;
    const double e = s[i] - (a * std::sin(w) + b * std::cos(w) + dc);
    residual += e * e;
  }
  const double amplitude = std::hypot(a, b);
  const double rms = std::sqrt(residual / static_cast<double>(s.size() - from));
  return {amplitude, 20 * std::log10(rms / (amplitude / std::sqrt(2.0)))};
}

// Tones across the voice band keep their level within 0.01 dB, and everything else stays at
// least 75 dB below them, up, down and on the round trip; one second in gives one second out.
TEST(RateConverterTest, TonesConvertAccurately) {
  struct Case {
    int inRate;
    int outRate;
    double frequency;
    bool roundTrip;
  } cases[] = {
      {8000, 44100, 1000, false}, {8000, 22050, 3000, false}, {8000, 11025, 300, false},
      {44100, 8000, 1000, false}, {22050, 8000, 3000, false}, {11025, 8000, 2000, false},
      {8000, 44100, 440, true},   {8000, 44100, 3000, true},
  };
  constexpr double kAmplitude = 300000;
  for (const Case& c : cases) {
    const std::vector<std::int32_t> in = Sine(c.frequency, c.inRate, kAmplitude, c.inRate);
    RateConverter there(c.inRate, 1, c.outRate, 1);
    std::vector<std::int32_t> out;
    // Uneven pieces, as a device delivers them.
    for (std::size_t at = 0; at < in.size();) {
      const std::size_t n = std::min<std::size_t>(in.size() - at, 37 + at % 500);
      there.Process(std::span(in).subspan(at, n), out);
      at += n;
    }
    EXPECT_NEAR(static_cast<double>(out.size()), c.outRate, 1.0) << c.inRate << "->" << c.outRate;
    int rate = c.outRate;
    if (c.roundTrip) {
      RateConverter back(c.outRate, 1, c.inRate, 1);
      std::vector<std::int32_t> again;
      back.Process(out, again);
      out.swap(again);
      rate = c.inRate;
    }
    const Fit fit = FitSine(out, rate / 10, c.frequency, rate);
    EXPECT_NEAR(20 * std::log10(fit.amplitude / kAmplitude), 0.0, 0.01) << c.inRate << "->" << c.outRate;
    EXPECT_LT(fit.residualDb, kMaxResidualDb) << c.inRate << "->" << c.outRate << " " << c.frequency;
  }
}

TEST(RateConverterTest, ChannelsAndEqualRates) {
  const std::vector<std::int32_t> stereo = {100, 300, -5, -6, 524287, 524287, -524288, -524288};
  std::vector<std::int32_t> out;
  RateConverter(8000, 2, 8000, 1).Process(stereo, out);
  EXPECT_EQ(out, (std::vector<std::int32_t>{200, -6, 524287, -524288}));

  std::vector<std::int32_t> doubled;
  RateConverter(8000, 1, 8000, 2).Process(out, doubled);
  EXPECT_EQ(doubled, (std::vector<std::int32_t>{200, 200, -6, -6, 524287, 524287, -524288, -524288}));

  // Stereo at 44100 down to the mono chain: the mean of the channels, converted.
  std::vector<std::int32_t> left = Sine(1000, 44100, 200000, 44100);
  std::vector<std::int32_t> both(2 * left.size());
  for (std::size_t i = 0; i < left.size(); ++i) {
    both[2 * i] = left[i];
    both[2 * i + 1] = left[i] / 2;
  }
  std::vector<std::int32_t> mono;
  RateConverter(44100, 2, 8000, 1).Process(both, mono);
  const Fit fit = FitSine(mono, 800, 1000, 8000);
  EXPECT_NEAR(fit.amplitude, 150000, 150000 * 0.002);
  EXPECT_LT(fit.residualDb, kMaxResidualDb);
}

}  // namespace
}  // namespace corvina::media
