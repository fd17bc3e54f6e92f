// corvina-lumo-server: a small Lumo on-hold player. Phones with the Lumo link switched on fetch
// their hold music from it while a call is held.
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/clock.h"
#include "platform/termination_signals.h"
#include "servers/lumo_server.h"

namespace {

constexpr const char* kUsage =
    "usage: corvina-lumo-server [--listen ADDRESS:PORT] --file MUSIC.wav\n"
    "\n"
    "Plays MUSIC.wav in a loop to every phone holding a call whose Lumo link points here, as\n"
    "8000 Hz mu-law over TCP, each phone from the start of the file. The file may be any PCM\n"
    "WAV (mono or stereo, 8 or 16 bits, any rate); it is read whole at start. At most 16 phones\n"
    "at a time. SIGTERM or SIGINT ends it.\n"
    "\n"
    "  --listen ADDRESS:PORT  address to listen on (default 127.0.0.1:606; 0.0.0.0 for all).\n"
    "                         Ports below 1024 need privilege: run it with cap_net_bind_service\n"
    "                         or pick a port from 1024 up (and set the phones' LumoServer to it)\n"
    "  --file MUSIC.wav       the music\n"
    "  --help                 this text\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace corvina;
  servers::LumoServerConfig config;
  std::string file;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if ((arg == "--listen" || arg == "--file") && i + 1 < argc) {
      (arg == "--listen" ? config.listen : file) = argv[++i];
      continue;
    }
    std::fprintf(stderr, "corvina-lumo-server: unexpected argument \"%s\"\n%s", arg.c_str(), kUsage);
    return 2;
  }
  if (file.empty()) {
    std::fprintf(stderr, "corvina-lumo-server: --file MUSIC.wav is needed\n%s", kUsage);
    return 2;
  }
  std::vector<std::uint8_t> music;
  std::string error;
  if (!servers::LoadLumoMusic(file, &music, &error)) {
    std::fprintf(stderr, "corvina-lumo-server: %s\n", error.c_str());
    return 1;
  }
  platform::TerminationSignals signals;
  if (!signals.Open()) {
    std::fprintf(stderr, "corvina-lumo-server: cannot watch for SIGTERM\n");
    return 1;
  }
  platform::SystemMediaClock clock;
  servers::LumoServer server(config, std::move(music), clock);
  int errorNumber = 0;
  if (!server.Start(&error, &errorNumber)) {
    std::fprintf(stderr, "corvina-lumo-server: %s\n", error.c_str());
    if (errorNumber == EACCES) {
      std::fprintf(stderr,
                   "corvina-lumo-server: this port needs privilege: choose a port from 1024 up with --listen "
                   "(e.g. --listen 127.0.0.1:6060) and set the phones' LumoServer to it, or grant the program "
                   "cap_net_bind_service (sudo setcap cap_net_bind_service=+ep %s)\n",
                   argv[0]);
    }
    return 1;
  }
  std::fprintf(stderr, "corvina-lumo-server: listening on %s, playing %s\n", server.Address().c_str(), file.c_str());
  while (!server.Poll(1000, signals.Fd())) {
  }
  signals.Take();
  server.CloseAll();
  return 0;
}
