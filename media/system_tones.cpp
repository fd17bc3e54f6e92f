#include "media/system_tones.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <numbers>

#include "media/sample_scale.h"
#include "media/tone_texts.h"
#include "media/wav_file.h"
#include "platform/paths.h"

namespace corvina::media {
namespace {

// One stretch of a tone: up to two frequencies (0: none) for `ms` milliseconds.
struct Segment {
  int f1;
  int f2;
  int ms;
};

struct Recipe {
  std::string_view name;
  std::vector<Segment> segments;
  bool fadeEdges;  // soft starts and ends (not for a tone that loops seamlessly)
};

const std::vector<Recipe>& Recipes() {
  static const std::vector<Recipe> recipes = [] {
    std::vector<Recipe> r;
    r.push_back({kToneDialtone, {{350, 440, 1000}}, false});
    r.push_back({kToneBusy, {{480, 620, 500}, {0, 0, 500}, {480, 620, 500}, {0, 0, 500}}, true});
    r.push_back({kToneCalling, {{440, 480, 2000}}, true});
    std::vector<Segment> trill;
    for (int i = 0; i < 8; ++i) {
      trill.push_back({1000, 0, 50});
      trill.push_back({1250, 0, 50});
    }
    trill.push_back({0, 0, 200});
    r.push_back({kToneRinging, trill, true});
    r.push_back({kToneTest, {{660, 0, 150}, {880, 0, 150}, {1320, 0, 300}, {0, 0, 100}}, true});
    std::vector<Segment> hold;
    for (int i = 0; i < 2; ++i) {
      for (int f : {523, 659, 784, 659}) hold.push_back({f, 0, 400});
    }
    r.push_back({kToneHold, hold, true});
    return r;
  }();
  return recipes;
}

constexpr double kComponentLevel = 0.25 * kFullScale;  // -12 dB of full scale per frequency
constexpr int kFadeSamples = 32;                         // 4 ms

std::vector<std::int32_t> Render(const Recipe& recipe) {
  std::vector<std::int32_t> out;
  for (const Segment& s : recipe.segments) {
    const int n = s.ms * kSampleRate / 1000;
    for (int i = 0; i < n; ++i) {
      double v = 0.0;
      for (int f : {s.f1, s.f2}) {
        if (f > 0) v += kComponentLevel * std::sin(2.0 * std::numbers::pi * f * i / kSampleRate);
      }
      if (recipe.fadeEdges) {
        const int edge = std::min(i, n - 1 - i);
        if (edge < kFadeSamples) v *= 0.5 - 0.5 * std::cos(std::numbers::pi * edge / kFadeSamples);
      }
      out.push_back(static_cast<std::int32_t>(std::lround(v)));
    }
  }
  return out;
}

bool WriteTone(const std::string& path, const std::vector<std::int32_t>& samples) {
  WavWriter writer;
  if (writer.Create(path) != WavError::kNone) return false;
  const bool wrote = writer.Write(samples);
  return writer.Close() == WavError::kNone && wrote;
}

}  // namespace

std::string SystemTonesFolder(const std::string& dataFolder) { return dataFolder + "/" + std::string(kSystemTonesFolder); }

std::string SystemToneFile(const std::string& dataFolder, std::string_view name) {
  return SystemTonesFolder(dataFolder) + "/" + std::string(name) + std::string(kToneFileExtension);
}

bool EnsureSystemTonesFolder(const std::string& dataFolder) {
  const std::string folder = SystemTonesFolder(dataFolder);
  if (!platform::EnsureFolder(folder)) return false;
  // Each missing tone is written on its own, so a folder made by an earlier version gains the
  // tones added since; a file that is there (perhaps the user's own) is never replaced. A tone
  // that cannot be written is reported when it is played.
  for (const Recipe& recipe : Recipes()) {
    const std::string path = SystemToneFile(dataFolder, recipe.name);
    std::error_code ec;
    if (std::filesystem::exists(path, ec) || ec) continue;
    WriteTone(path, Render(recipe));
  }
  return true;
}

std::vector<std::string_view> ShippedToneNames() {
  std::vector<std::string_view> names;
  for (const Recipe& recipe : Recipes()) names.push_back(recipe.name);
  return names;
}

std::vector<std::int32_t> SynthesizeTone(std::string_view name) {
  for (const Recipe& recipe : Recipes()) {
    if (recipe.name == name) return Render(recipe);
  }
  return {};
}

std::vector<std::int32_t> KeyClickSamples() {
  constexpr int kClickSamples = kSampleRate / 10;
  std::vector<std::int32_t> click(kClickSamples, 0);
  for (int i = 0; i < 64; ++i) {
    const double envelope = std::exp(-i / 12.0);
    click[i] = static_cast<std::int32_t>(std::lround(0.5 * kFullScale * envelope *
                                                     std::sin(2.0 * std::numbers::pi * 2200 * i / kSampleRate)));
  }
  return click;
}

}  // namespace corvina::media
