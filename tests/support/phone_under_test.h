// The real `corvina --headless` for interop tests and benchmarks, in a home of its own,
// configured so that it contacts nothing off loopback: STUN and UPnP off, its own address 127.0.0.1.
// Every wait is bounded. The including program defines CORVINA_BINARY.
#pragma once

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/udp_socket.h"
#include "tests/support/child_process.h"
#include "tests/support/poll_until.h"

namespace corvina::testing {

// A UDP port on 127.0.0.1 that was free a moment ago.
inline std::uint16_t FreeUdpPort() {
  platform::UdpSocket probe;
  if (!probe.Bind({0x7F000001, 0}).Ok()) return 0;
  return probe.Local()->port;
}

inline int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class PhoneUnderTest {
 public:
  // `settings` are (section, name, value) triples written with `corvina reg set` first.
  PhoneUnderTest(std::string home, const std::vector<std::vector<std::string>>& settings) : home_(std::move(home)) {
    Set({"SIP", "STUN", "0"});
    Set({"SIP", "UPNP", "0"});
    Set({"Settings", "InstallWizRun", "1"});  // no first-run wizard
    for (const auto& s : settings) Set(s);
  }

  // `findOwnAddress`: without CORVINA_LOCAL_ADDRESS, as a user's phone (server on loopback only).
  void Start(bool findOwnAddress = false) {
    std::vector<std::string> env = Env();
    if (findOwnAddress) env.back() = "CORVINA_LOCAL_ADDRESS=";
    process_ = std::make_unique<ChildProcess>(std::vector<std::string>{CORVINA_BINARY, "--headless"}, env);
  }

  // Sends a command; returns its answer line. Events seen meanwhile are kept.
  std::string Ask(const std::string& command) {
    process_->Send(command);
    std::string line;
    while (process_->ReadLine(&line, 5000)) {
      if (line.rfind("event ", 0) != 0) return line;
      events_.push_back(line);
    }
    return "(no answer)";
  }

  // True once an event line containing every one of `parts` has been seen.
  bool WaitForEvent(const std::vector<std::string>& parts, int timeoutMs) {
    auto matches = [&](const std::string& line) {
      for (const std::string& p : parts) {
        if (line.find(p) == std::string::npos) return false;
      }
      return true;
    };
    for (const std::string& e : events_) {
      if (matches(e)) return true;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    for (;;) {
      int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
      if (left <= 0 || !process_->ReadLine(&line, left)) return false;
      if (line.rfind("event ", 0) != 0) continue;
      events_.push_back(line);
      if (matches(line)) return true;
    }
  }

  // Every event line seen so far, in order of arrival.
  const std::vector<std::string>& Events() const { return events_; }
  // Later waits look only at events that come after this.
  void ClearEvents() { events_.clear(); }

  // The SIP port the engine bound, once it is ready; 0 when it did not get ready in time.
  std::uint16_t WaitForSipPort(int timeoutMs) {
    std::uint16_t port = 0;
    PollUntil(
        [&] {
          std::string status = Ask("status");
          std::size_t ready = status.find("\"ready\":true");
          std::size_t at = status.find("\"port\":", ready == std::string::npos ? status.size() : 0);
          if (ready == std::string::npos || at == std::string::npos) return false;
          port = static_cast<std::uint16_t>(std::stoi(status.substr(at + 7)));
          return port != 0;
        },
        timeoutMs);
    return port;
  }

  std::string ActivityLog() const { return LogsNamed("Corvina Log.txt"); }
  std::string SipTrace() const { return LogsNamed("Corvina SipTrace.txt"); }
  // The phone log's rows; the file is UTF-16LE, read here as the ASCII it holds in tests.
  std::string PhoneLogAscii() const {
    const std::string bytes = LogsNamed("Phone Log.csv");
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) out.push_back(bytes[i]);
    return out;
  }

  pid_t Pid() const { return process_->Pid(); }

  // "quit" and the exit status (-1 when it did not end within 10 s).
  int Quit() {
    process_->Send("quit");
    return process_->Wait(10000);
  }

 private:
  // The files of the Logs folder whose names end in `suffix`, one after the other.
  std::string LogsNamed(const std::string& suffix) const {
    std::string all;
    std::error_code ec;
    for (const auto& f : std::filesystem::directory_iterator(home_ + "/Documents/Corvina/Logs", ec)) {
      if (f.path().filename().string().ends_with(suffix)) all += ReadFile(f.path());
    }
    return all;
  }
  std::vector<std::string> Env() const { return {"CORVINA_HOME=" + home_, "CORVINA_LOCAL_ADDRESS=127.0.0.1"}; }
  void Set(const std::vector<std::string>& s) {
    std::vector<std::string> argv{CORVINA_BINARY, "reg", "set"};
    argv.insert(argv.end(), s.begin(), s.end());
    ChildProcess(argv, Env()).Wait(5000);
  }

  std::string home_;
  std::unique_ptr<ChildProcess> process_;
  std::vector<std::string> events_;
};

}  // namespace corvina::testing
