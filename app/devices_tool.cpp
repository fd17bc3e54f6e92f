#include "app/devices_tool.h"

namespace corvina::app {
namespace {

void Print(const std::vector<std::string>& names, std::ostream& out) {
  for (const std::string& name : names) out << name << "\n";
}

}  // namespace

int RunDevicesTool(const std::vector<std::string>& args, media::AudioDevices& devices,
                   const std::string& startupProblem, std::ostream& out, std::ostream& err) {
  if (args.size() > 1 || (args.size() == 1 && args[0] != "playback" && args[0] != "capture")) {
    err << "usage: corvina devices [playback|capture]\n";
    return 2;
  }
  if (!startupProblem.empty()) err << "No sound system: " << startupProblem << "\n";
  if (args.empty()) {
    out << "Playback devices:\n";
    Print(devices.PlaybackChoices(), out);
    out << "Capture devices:\n";
    Print(devices.CaptureChoices(), out);
    out << "Besides these, every device setting takes \"null\" (silence) and \"wav:PATH\" (a WAV file).\n";
  } else {
    Print(args[0] == "playback" ? devices.PlaybackChoices() : devices.CaptureChoices(), out);
  }
  return 0;
}

}  // namespace corvina::app
