// `corvina devices` as a program: both lists with their default entries and the ALSA devices
// of the machine's sound configuration (here a private one, as PipeWire and PulseAudio set them
// up), one name a line, with nothing from ALSA or JACK on standard error.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace corvina::app {
namespace {

using corvina::testing::ChildProcess;

std::vector<std::string> Lines(ChildProcess& child) {
  std::vector<std::string> lines;
  std::string line;
  while (child.ReadLine(&line, 10000)) lines.push_back(line);
  return lines;
}

TEST(DevicesCommand, PrintsBothListsOneNameALineWithAQuietConsole) {
  testing::TempFolder home("devices");
  std::ofstream(home.Sub(".asoundrc")) << "pcm.!default { type file slave.pcm \"null\" file \"/dev/null\" }\n"
                                          "pcm.pipewire { type null hint { show on description \"PipeWire\" } }\n";
  const std::vector<std::string> env = {"HOME=" + home.Path().string(), "CORVINA_HOME=" + home.Sub("phone")};

  ChildProcess all({CORVINA_BINARY, "devices"}, env);
  std::vector<std::string> lines = Lines(all);
  EXPECT_EQ(all.ReadAllErrors(2000), "");
  EXPECT_EQ(WEXITSTATUS(all.Wait(5000)), 0);
  auto at = [&](const std::string& text) { return std::find(lines.begin(), lines.end(), text) - lines.begin(); };
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0], "Playback devices:");
  EXPECT_EQ(lines[1], "[Default Sound Out]");
  const auto capture = at("Capture devices:");
  ASSERT_LT(capture + 1, static_cast<long>(lines.size()));
  EXPECT_EQ(lines[capture + 1], "[Default Sound In]");
  for (const char* name : {"default", "pipewire"}) {
    EXPECT_LT(at(name), capture) << name << " missing from the playback list";
    EXPECT_NE(std::find(lines.begin() + capture, lines.end(), name), lines.end()) << name << " missing from capture";
  }

  ChildProcess one({CORVINA_BINARY, "devices", "playback"}, env);
  std::vector<std::string> playback = Lines(one);
  EXPECT_EQ(playback, std::vector<std::string>(lines.begin() + 1, lines.begin() + capture));

  ChildProcess bad({CORVINA_BINARY, "devices", "speakers"}, env);
  EXPECT_EQ(WEXITSTATUS(bad.Wait(5000)), 2);
}

}  // namespace
}  // namespace corvina::app
