// What the call-audio interop tests share: the two tones and the phone's settings for a call
// whose microphone is a sox tone and whose speaker is a WAV file.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/interop/kamailio_registrar.h"
#include "tests/interop/media_interop_support.h"
#include "tests/support/phone_under_test.h"
#include "tests/support/raw_tcp.h"
#include "tests/support/sipp_peer.h"

namespace corvina::interop {

inline constexpr double kPhoneTone = 1000;
inline constexpr double kBaresipTone = 440;

// The phone's settings for an audio call on SIP port `phonePort`: its microphone a tone from sox
// at half of full scale (made here; no settings when sox fails), its speaker heard.wav, both in
// `folder`; echo suppression and gain control off. The tone lasts two minutes: the file does not
// loop, and a loaded machine stretches a call's late checks well past 20 s.
inline std::vector<std::vector<std::string>> AudioPhoneSettings(const testing::TempFolder& folder, std::uint16_t phonePort,
                                                         const std::string& quality) {
  const std::string tone = folder.Sub("tone.wav");
  testing::ChildProcess sox({"/usr/bin/sox", "-n", "-r", "8000", "-c", "1", "-b", "16", tone, "synth", "120", "sine",
                             std::to_string(static_cast<int>(kPhoneTone)), "vol", "0.5"},
                            {});
  if (sox.Wait(10000) != 0) return {};
  return {{"SIP", "Port", std::to_string(phonePort)},
          {"SIP", "RTPPortBase", std::to_string(FreeEvenPortPair())},
          {"DefaultLine", "UserName", "100"},
          {"Settings", "Record", "wav:" + tone},
          {"Settings", "PlayDevice", "wav:" + folder.Sub("heard.wav")},
          {"Settings", "UseEchoCancellation", "0"},
          {"Settings", "UseAGC", "0"},
          {"SIP", "Quality", quality}};
}

}  // namespace corvina::interop
