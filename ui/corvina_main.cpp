// The `corvina` program: the phone with its Qt window, the console phone (--headless), the
// settings tool (reg ...), e-mail without the window (mail ...), or the list of sound devices
// (devices). The window is a second program (ui/window_main.cpp) that takes this one's place
// when a display is used, so that nothing here loads Qt.
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/console/console_phone.h"
#include "app/dial_arguments.h"
#include "app/devices_tool.h"
#include "app/mail_tool.h"
#include "app/phone_entry.h"
#include "app/program_objects.h"
#include "app/reg_tool.h"
#include "media/audio_devices.h"
#include "platform/paths.h"
#include "platform/portaudio_system.h"
#include "platform/program_exec.h"
#include "platform/sqlite_settings_store.h"
#include "platform/termination_signals.h"

namespace {

constexpr const char* kUsage =
    "usage: corvina [--headless [--control 127.0.0.1:PORT]] [--dial TEXT] [--line 1|2] [sip:...|tel:...]\n"
    "       corvina reg list|get|set|delete ...\n"
    "       corvina devices [playback|capture]\n" CORVINA_MAIL_USAGE;

bool HaveDisplay() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

// `startNote` goes to standard error once this start runs the phone (not when it hands over).
int RunConsole(const std::string& control, corvina::platform::TerminationSignals& signals,
               const std::optional<corvina::platform::DialRequest>& dial, std::string startNote) {
  corvina::app::ProgramObjects program(corvina::platform::ResolvePhonePaths());
  corvina::app::ConsolePhone console(0, 1, &signals);
  console.SetControlAddress(control);
  console.SetStartNote(std::move(startNote));
  return corvina::app::RunPhone(program, console, dial);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "reg") {
    corvina::platform::SqliteSettingsStore store(corvina::platform::ResolvePhonePaths().registryFile);
    if (!store.IsOpen()) {
      std::cerr << "error: cannot open the settings store " << store.Path() << "\n";
      return 1;
    }
    return corvina::app::RunRegTool(std::vector<std::string>(args.begin() + 1, args.end()), store, std::cout,
                                    std::cerr);
  }

  if (!args.empty() && args[0] == "mail") {
    const corvina::platform::PhonePaths paths = corvina::platform::ResolvePhonePaths();
    corvina::platform::SqliteSettingsStore store(paths.registryFile);
    if (!store.IsOpen()) {
      std::cerr << "error: cannot open the settings store " << store.Path() << "\n";
      return 2;
    }
    return corvina::app::RunMailTool(std::vector<std::string>(args.begin() + 1, args.end()), store, paths, std::cout,
                                     std::cerr);
  }

  if (!args.empty() && args[0] == "devices") {
    corvina::platform::PortAudioSystem cards;
    corvina::platform::NullLogSink quiet;
    corvina::media::AudioDevices devices(cards, quiet);
    return corvina::app::RunDevicesTool(std::vector<std::string>(args.begin() + 1, args.end()), devices,
                                        cards.StartupProblem(), std::cout, std::cerr);
  }

  const corvina::app::DialArguments dialling = corvina::app::ParseDialArguments(args);
  if (!dialling.error.empty()) {
    std::cerr << "error: " << dialling.error << "\n" << kUsage;
    return 2;
  }
  args = dialling.rest;
  bool headless = false;
  std::string control;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--headless") {
      headless = true;
    } else if (args[i] == "--control" && i + 1 < args.size()) {
      control = args[++i];
    } else if (args[i] == "--help" || args[i] == "-h") {
      std::cout << kUsage;
      return 0;
    } else {
      std::cerr << "error: unknown argument \"" << args[i] << "\"\n" << kUsage;
      return 2;
    }
  }
  if (!control.empty() && !headless) {
    std::cerr << "error: --control goes with --headless\n" << kUsage;
    return 2;
  }

#ifdef CORVINA_HAVE_GUI
  if (!headless && HaveDisplay()) {
    // The window program gets these same arguments, already accepted here.
    const std::string failure = corvina::platform::ReplaceWithProgram(
        {CORVINA_WINDOW_PROGRAM, CORVINA_WINDOW_INSTALLED "/" CORVINA_WINDOW_PROGRAM}, argv);
    std::cerr << "error: cannot start the window: " << failure << "\n";
    return 1;
  }
#endif
  // Before any thread exists, so that every thread inherits the blocked signals.
  corvina::platform::TerminationSignals signals;
  signals.Open();
  const bool noDisplay = !headless && !HaveDisplay();
  return RunConsole(control, signals, dialling.request, noDisplay ? "No display: starting the console phone.\n" : "");
}
