// corvina-orrin-server: a small Orrin recording server. Phones with the recorder link switched
// on stream their calls to it; each call becomes a WAV file in the folder given.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "platform/clock.h"
#include "platform/termination_signals.h"
#include "servers/orrin_server.h"

namespace {

constexpr const char* kUsage =
    "usage: corvina-orrin-server [--listen ADDRESS:PORT] [--folder DIR] [--code CODE]...\n"
    "\n"
    "Receives call recordings from phones over the Orrin protocol and writes each call to\n"
    "\"YYYY-MM-DD HH-MM-SS NAME.wav\" in DIR, never overwriting a file. Prints one line when a\n"
    "file is opened and one when it is closed. SIGTERM or SIGINT closes every file and ends.\n"
    "\n"
    "  --listen ADDRESS:PORT  address to listen on (default 127.0.0.1:4080; 0.0.0.0 for all)\n"
    "  --folder DIR           where the recordings go (default: the current folder; made if missing)\n"
    "  --code CODE            an access code to accept; repeat for more (default: accept any)\n"
    "  --help                 this text\n";

// Errors go to standard error, one line each.
class StderrLog final : public corvina::platform::LogSink {
 public:
  void Log(std::string_view message, std::uint8_t) override {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  }
};

}  // namespace

int main(int argc, char** argv) {
  using namespace corvina;
  servers::OrrinServerConfig config;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if ((arg == "--listen" || arg == "--folder" || arg == "--code") && i + 1 < argc) {
      const std::string value = argv[++i];
      if (arg == "--listen") config.listen = value;
      if (arg == "--folder") config.folder = value;
      if (arg == "--code") config.codes.push_back(value);
      continue;
    }
    std::fprintf(stderr, "corvina-orrin-server: unexpected argument \"%s\"\n%s", arg.c_str(), kUsage);
    return 2;
  }
  std::error_code ec;
  std::filesystem::create_directories(config.folder, ec);
  if (!std::filesystem::is_directory(config.folder)) {
    std::fprintf(stderr, "corvina-orrin-server: cannot make the folder %s\n", config.folder.c_str());
    return 1;
  }
  platform::TerminationSignals signals;
  if (!signals.Open()) {
    std::fprintf(stderr, "corvina-orrin-server: cannot watch for SIGTERM\n");
    return 1;
  }
  StderrLog errors;
  platform::SystemMediaClock clock;
  platform::SystemWallClock wall;
  servers::OrrinServer server(
      config,
      [](std::string_view line) {
        std::fprintf(stdout, "%.*s\n", static_cast<int>(line.size()), line.data());
        std::fflush(stdout);
      },
      errors, clock, wall);
  std::string error;
  if (!server.Start(&error)) {
    std::fprintf(stderr, "corvina-orrin-server: %s\n", error.c_str());
    return 1;
  }
  std::fprintf(stderr, "corvina-orrin-server: listening on %s, recordings in %s\n", server.Address().c_str(),
               config.folder.c_str());
  while (!server.Poll(1000, signals.Fd())) {
  }
  signals.Take();
  server.CloseAll();
  return 0;
}
