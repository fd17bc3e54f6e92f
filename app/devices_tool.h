// `corvina devices`: the sound devices as the option pages list them, one name a line.
//   devices            "Playback devices:" and its list, then "Capture devices:" and its list
//   devices playback   the playback list alone (for scripts)
//   devices capture    the capture list alone
// Each list starts with its default entry. When the sound system cannot start, one line on
// standard error says why (the lists then hold only the default entries).
// Exit codes: 0 done, 2 bad arguments.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "media/audio_devices.h"

namespace corvina::app {

int RunDevicesTool(const std::vector<std::string>& args, media::AudioDevices& devices,
                   const std::string& startupProblem, std::ostream& out, std::ostream& err);

}  // namespace corvina::app
