// baresip as a test peer on 127.0.0.1, with the small helpers its users share: bounded polls,
// free RTP port pairs, and children stopped by their own PID.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/udp_socket.h"
#include "tests/interop/sip_test_endpoint.h"
#include "tests/support/child_process.h"

namespace corvina::interop {

using sip::interop::FreeLoopbackPort;

inline std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

// Polls `done` every 20 ms until it holds or `timeoutMs` has passed.
template <typename Condition>
bool PollUntil(Condition done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// An even port whose pair (port, port + 1) is free now, from a spread-out range.
inline std::uint16_t FreeEvenPortPair() {
  static int asked = 0;  // the test's thread: each call starts somewhere else
  for (int tries = 0; tries < 200; ++tries) {
    const int step = ++asked;
    const std::uint16_t port = static_cast<std::uint16_t>(20000 + 2 * ((getpid() * 7919 + step * 104729) % 10000));
    platform::UdpSocket a;
    platform::UdpSocket b;
    if (a.Bind({0, port}).Ok() && b.Bind({0, static_cast<std::uint16_t>(port + 1)}).Ok()) return port;
  }
  return 0;
}

// A child stopped by its own PID: SIGTERM first (so tshark finishes its file), SIGKILL after.
inline int StopChild(testing::ChildProcess& child, int timeoutMs = 5000) {
  if (child.Pid() <= 0) return -1;
  kill(child.Pid(), SIGTERM);
  return child.Wait(timeoutMs);
}

// baresip answering automatically on 127.0.0.1, sending a sine of `sineHz` and recording what
// it decodes (sndfile), offering only `codec` (e.g. "PCMU/8000/1"). Given `callTarget`, it
// calls that address as soon as it is ready.
class Baresip {
 public:
  // The folder's path is kept short: sndfile cuts the names of its recordings at a fixed length.
  Baresip(int sineHz, const std::string& codec, const std::string& callTarget = {}) {
    char folder[] = "/tmp/cvbsXXXXXX";
    dir_ = mkdtemp(folder) != nullptr ? folder : "/tmp/cvbs-failed";
    std::filesystem::create_directories(dir_ + "/snd");
    sipPort_ = FreeLoopbackPort();
    const std::uint16_t control = FreeLoopbackPort();
    const std::uint16_t rtp = FreeEvenPortPair();
    {
      // Written and closed before baresip starts and reads it.
      std::ofstream config(dir_ + "/config");
      config << "poll_method epoll\nsip_listen 127.0.0.1:" << sipPort_ << "\nnet_interface 127.0.0.1\n"
             << "audio_player alsa,null\naudio_alert alsa,null\naudio_source ausine," << sineHz << "\n"
             << "ausrc_srate 48000\nausrc_channels 2\nauplay_srate 48000\nauplay_channels 1\n"
             << "module_path /usr/lib/baresip/modules\nmodule g711.so\nmodule gsm.so\nmodule g726.so\n"
             << "module ausine.so\nmodule alsa.so\nmodule sndfile.so\nmodule_app account.so\n"
             << "module_app ctrl_tcp.so\nctrl_tcp_listen 127.0.0.1:" << control << "\nsnd_path " << dir_ << "/snd\n"
             << "rtp_ports " << rtp << "-" << rtp + 20 << "\n";
      if (!callTarget.empty()) config << "module_app menu.so\n";  // the dial command
    }
    std::ofstream(dir_ + "/accounts") << "<sip:bob@127.0.0.1>;regint=0;answermode=auto;audio_codecs=" << codec << "\n";
    std::ofstream(dir_ + "/contacts") << "";
    child_ = std::make_unique<testing::ChildProcess>(
        std::vector<std::string>{"/bin/sh", "-c",
                                 "exec baresip -f " + dir_ + (callTarget.empty() ? "" : " -e '/dial " + callTarget + "'") +
                                     " > " + dir_ + "/log 2>&1"},
        std::vector<std::string>{});
  }
  ~Baresip() {
    StopChild(*child_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  bool WaitReady() {
    return PollUntil([&] { return Log().find("baresip is ready.") != std::string::npos; }, 10000);
  }
  std::string Log() const { return ReadWhole(dir_ + "/log"); }
  std::uint16_t SipPort() const { return sipPort_; }
  std::string Target() const { return "sip:bob@127.0.0.1:" + std::to_string(sipPort_); }
  // What baresip decoded from us.
  std::string DecodedFile() const {
    for (const auto& entry : std::filesystem::directory_iterator(dir_ + "/snd")) {
      const std::string name = entry.path().filename().string();
      if (name.size() > 8 && name.compare(name.size() - 8, 8, "-dec.wav") == 0) return entry.path().string();
    }
    return {};
  }

 private:
  std::string dir_;
  std::uint16_t sipPort_ = 0;
  std::unique_ptr<testing::ChildProcess> child_;
};

}  // namespace corvina::interop
