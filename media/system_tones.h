// The phone's own tone files, made by the program itself: the "System Tones" folder of the
// data folder gets each of them that is missing, a dial tone (350 + 440 Hz, one second that
// loops without a seam), busy (480 + 620 Hz, 0.5 s on, 0.5 s off, twice), ring-back
// "Calling" (440 + 480 Hz for 2 s), "Ringing" (a 1000/1250 Hz trill), a "Test" chime and a
// "Hold" arpeggio, all 8000 Hz mono 16-bit. A tone file that exists is left as the user keeps
// it. The key click (0.1 s, a short decaying 2200 Hz burst) is made in memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::media {

// dataFolder + "/System Tones".
std::string SystemTonesFolder(const std::string& dataFolder);
// The tone folder + "/" + name + ".wav".
std::string SystemToneFile(const std::string& dataFolder, std::string_view name);

// Creates the tone folder when it is missing and writes each tone file that is missing; true
// when the folder exists afterwards.
bool EnsureSystemTonesFolder(const std::string& dataFolder);

// The names of the tones the phone ships.
std::vector<std::string_view> ShippedToneNames();
// A shipped tone's samples at the internal scale (empty for an unknown name).
std::vector<std::int32_t> SynthesizeTone(std::string_view name);
// The key click: 800 samples at 8000 Hz, internal scale.
std::vector<std::int32_t> KeyClickSamples();

}  // namespace corvina::media
