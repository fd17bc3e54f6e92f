// The `corvina` program: the phone with its Qt window, the console phone (--headless), the
// settings tool (reg ...), the option pages (options ...), e-mail without the window (mail ...),
// the network setup tool (nettest) or the list of sound devices (devices). The window is a
// second program (ui/window_main.cpp) that takes this one's place when a display is used, so
// that nothing here loads Qt.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/console/console_phone.h"
#include "app/dial_arguments.h"
#include "app/devices_tool.h"
#include "app/mail_tool.h"
#include "app/nettest_tool.h"
#include "app/phone_entry.h"
#include "app/program_objects.h"
#include "app/options/program_options.h"
#include "app/options_tool.h"
#include "app/reg_tool.h"
#include "media/audio_devices.h"
#include "platform/instance_channel.h"
#include "platform/name_resolver.h"
#include "platform/paths.h"
#include "platform/memory_settings_store.h"
#include "platform/portaudio_system.h"
#include "platform/product_info.h"
#include "platform/program_exec.h"
#include "platform/sqlite_settings_store.h"
#include "platform/termination_signals.h"

namespace {

constexpr const char* kShortUsage =
    "usage: corvina [--headless [--control 127.0.0.1:PORT]] [--dial TEXT] [--line 1|2] [sip:...|tel:...]\n"
    "       corvina reg list|get|set|delete ...\n"
    "       corvina options show PAGE [--line default|1|2]\n"
    "       corvina options set PAGE [--line default|1|2] KEY=VALUE ...\n"
    "         (PAGE: audio, lines, advanced, net1, net2, record, hold, email,\n"
    "          and the wizard pages mode, microphone, output, sipdetails)\n"
    "       corvina devices [playback|capture]\n" CORVINA_MAIL_USAGE CORVINA_NETTEST_USAGE
    "       corvina --help\n";

constexpr const char* kHelp =
    "Corvina, a SIP softphone.\n"
    "\n"
    "Modes:\n"
    "  corvina                      the phone with its window (the console phone when there is no display)\n"
    "  corvina --headless           the console phone: one command a line on standard input, one answer\n"
    "                               line each (type \"help\" for the commands), events as \"event {json}\"\n"
    "      --control 127.0.0.1:PORT also take commands from TCP clients on loopback\n"
    "  corvina --dial TEXT          dial TEXT (a number or user@host) on the running phone, or start one\n"
    "      --line 1|2               on that line instead of the one Dial picks\n"
    "  corvina sip:USER@HOST        the same for a link (also tel:NUMBER); the desktop opens links this way\n"
    "  corvina reg list [SECTION]   the settings of SECTION, then the sections below it\n"
    "  corvina reg get SECTION NAME\n"
    "  corvina reg set SECTION NAME VALUE\n"
    "  corvina reg delete SECTION [NAME]\n"
    "                               read and change the settings store (exit 1: no such value)\n"
    "  corvina options show PAGE [--line default|1|2]\n"
    "                               an option page's values as JSON (passwords masked); PAGE is audio,\n"
    "                               lines, advanced, net1, net2, record, hold or email\n"
    "  corvina options set PAGE [--line default|1|2] KEY=VALUE ...\n"
    "                               change a page with its checks: \"ok\", or \"refused {json}\" and exit 3;\n"
    "                               a running phone applies the change\n"
    "  corvina mail send --to LIST [--subject S] [--body-file F] [--attach FILE]...\n"
    "  corvina mail recording FILE --to ADDR\n"
    "                               send an e-mail (a recording) with the Email settings; the exit status\n"
    "                               is 0 sent, 1 cancelled, 2 failed or refused\n"
    "  corvina nettest [--blocked yes|no|cancel]\n"
    "                               the Networking Setup Wizard on the console: tests the network and\n"
    "                               stores the NAT settings and a free SIP port; --blocked answers the\n"
    "                               \"Firewall Blocking Ports\" question (default no). Exit status 0 done,\n"
    "                               1 cancelled, 2 ended early or refused (a phone runs on this home)\n"
    "  corvina devices [playback|capture]\n"
    "                               the sound devices; the device settings also take \"null\" (silence)\n"
    "                               and \"wav:PATH\" (a WAV file to play from or record into)\n"
    "  corvina --help, -h           this text\n"
    "\n"
    "Environment:\n"
    "  CORVINA_HOME=DIR             keep everything of this phone below DIR (DIR/registry.db,\n"
    "                               DIR/Documents/Corvina, DIR/run), so that phones run side by side\n"
    "  CORVINA_LOCAL_ADDRESS=IP     the phone's own IPv4 address instead of the one it finds\n"
    "  CORVINA_STUN_SERVERS=A,B,... the STUN servers (host or host:port) the network tool tries\n"
    "  DISPLAY, WAYLAND_DISPLAY     without either, the phone runs on the console\n"
    "\n"
    "Files (without CORVINA_HOME):\n"
    "  $XDG_CONFIG_HOME/corvina/registry.db   the settings (default ~/.config)\n"
    "  ~/Documents/Corvina/                   activity logs, phone log, address book, recordings, tones\n"
    "                                         (the XDG documents folder when one is set)\n"
    "  $XDG_RUNTIME_DIR/corvina/              the running phone's lock and hand-over socket\n";

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
    const std::string registry = corvina::platform::ResolvePhonePaths().registryFile;
    std::vector<std::string> tool(args.begin() + 1, args.end());
    // Reading or deleting needs no store: with none there, nothing is created for it.
    const bool changes = !tool.empty() && tool[0] == "set";
    std::error_code ignored;
    if (!changes && !std::filesystem::exists(registry, ignored)) {
      corvina::platform::MemorySettingsStore none;
      return corvina::app::RunRegTool(tool, none, std::cout, std::cerr);
    }
    corvina::platform::SqliteSettingsStore store(registry);
    if (!store.IsOpen()) {
      std::cerr << "error: cannot open the settings store " << store.Path() << "\n";
      return 1;
    }
    return corvina::app::RunRegTool(tool, store, std::cout, std::cerr);
  }

  if (!args.empty() && args[0] == "options") {
    const corvina::platform::PhonePaths paths = corvina::platform::ResolvePhonePaths();
    corvina::platform::SqliteSettingsStore store(paths.registryFile);
    if (!store.IsOpen()) {
      std::cerr << "error: cannot open the settings store " << store.Path() << "\n";
      return 1;
    }
    corvina::platform::Settings settings(store);
    corvina::platform::SystemNameResolver resolver;
    corvina::app::OptionsEnvironment env =
        corvina::app::MakeProgramOptionsEnvironment(resolver, paths.DataFolder(), nullptr, nullptr);
    auto apply = [&paths] {
      corvina::platform::AskRunningInstanceToApply(paths.runtimeFolder, corvina::app::kHandOverTimeoutMs);
    };
    return corvina::app::RunOptionsTool(std::vector<std::string>(args.begin() + 1, args.end()), settings, env, apply,
                                        std::cout, std::cerr);
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

  if (!args.empty() && args[0] == "nettest") {
    const corvina::platform::PhonePaths paths = corvina::platform::ResolvePhonePaths();
    corvina::platform::SqliteSettingsStore store(paths.registryFile);
    if (!store.IsOpen()) {
      std::cerr << "error: cannot open the settings store " << store.Path() << "\n";
      return 2;
    }
    return corvina::app::RunNetTestTool(std::vector<std::string>(args.begin() + 1, args.end()), store, paths,
                                        std::cout, std::cerr);
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
    std::cerr << "error: " << dialling.error << "\n" << kShortUsage;
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
      const std::string manual = corvina::platform::ManualFile();
      std::cout << kHelp << "\nThe user manual (Help > Help Contents): "
                << (manual.empty() ? "not installed" : manual) << "; also man corvina.\n";
      return 0;
    } else {
      std::cerr << "error: unknown argument \"" << args[i] << "\"\n" << kShortUsage;
      return 2;
    }
  }
  if (!control.empty() && !headless) {
    std::cerr << "error: --control goes with --headless\n" << kShortUsage;
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
