// Sound devices made of WAV files, for tests and for feeding a call from a recording. Capture
// plays the file into the chain at the pace of a real device, then gives silence; it opens
// only in the file's own rate, mono (stereo files are mixed down). Playback writes 8000 Hz mono
// 16-bit, and makes the file complete after every block, so a process killed in the middle of
// a call still leaves a file other programs can read.
#pragma once

#include <string>

#include "platform/audio_device.h"

namespace corvina::media {

platform::AudioOpenResult<platform::AudioInput> OpenWavInput(const std::string& path,
                                                             const platform::AudioFormat& format);
platform::AudioOpenResult<platform::AudioOutput> OpenWavOutput(const std::string& path,
                                                               const platform::AudioFormat& format);

}  // namespace corvina::media
