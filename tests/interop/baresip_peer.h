// baresip as a test peer on 127.0.0.1 (called directly or through a registrar), with the small
// helpers its users share: free RTP port pairs and children stopped by their own PID.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <signal.h>
#include <sys/socket.h>
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
#include "tests/support/baresip_control.h"
#include "tests/support/child_process.h"
#include "tests/support/poll_until.h"

namespace corvina::interop {

using sip::interop::FreeLoopbackPort;

using testing::PollUntil;
using testing::ReadFile;

// The first port of a block of kPortBlock ports that this test process has to itself: an flock
// on one file per block, which the kernel lets go when the process ends (the descriptor is not
// inherited by the programs a test starts). Tests run side by side, and a capture selects RTP by
// destination port range: a stream of another test's peer must never land in this one's ranges.
inline constexpr int kPortBlock = 200;
inline std::uint16_t PortBlockBase() {
  static const std::uint16_t base = [] {
    // Below the kernel's ephemeral ports and the fixed RTP base 31000 of the SIPp tests.
    constexpr int kFirst = 20000, kBlocks = (31000 - kFirst) / kPortBlock;
    const int start = getpid() % kBlocks;
    for (int i = 0; i < kBlocks; ++i) {
      const int block = (start + i) % kBlocks;
      const std::string path = "/tmp/corvina-test-ports-" + std::to_string(block);
      const int fd = open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
      if (fd < 0) continue;
      if (flock(fd, LOCK_EX | LOCK_NB) == 0) return static_cast<std::uint16_t>(kFirst + block * kPortBlock);
      close(fd);
    }
    return static_cast<std::uint16_t>(kFirst);
  }();
  return base;
}

// An even port of this process's block with `count` ports from it free of earlier asks (a
// phone walks up by two from its RTP base for its second line, so a phone gets ten), of which
// the first pair is free now.
inline std::uint16_t FreeEvenPortRange(int count = 10) {
  static int next = 0;  // the test's thread: the offset in the block of the next range
  count += count % 2;
  for (int tries = 0; tries < kPortBlock / 2; ++tries) {
    if (next + count > kPortBlock) next = 0;
    const std::uint16_t port = static_cast<std::uint16_t>(PortBlockBase() + next);
    next += count;
    platform::UdpSocket a;
    platform::UdpSocket b;
    if (a.Bind({0, port}).Ok() && b.Bind({0, static_cast<std::uint16_t>(port + 1)}).Ok()) return port;
  }
  return 0;
}
inline std::uint16_t FreeEvenPortPair() { return FreeEvenPortRange(); }

// A child stopped by its own PID: SIGTERM first (so tshark finishes its file), SIGKILL after.
inline int StopChild(testing::ChildProcess& child, int timeoutMs = 5000) {
  if (child.Pid() <= 0) return -1;
  if (!child.Reaped()) kill(child.Pid(), SIGTERM);
  return child.Wait(timeoutMs);
}

// baresip's account: its user and, when `registrar` (a port on 127.0.0.1) is set, where it
// registers and authenticates with `password`.
struct BaresipAccount {
  std::string user = "bob";
  std::uint16_t registrar = 0;
  std::string password;
};

// baresip answering automatically on 127.0.0.1, sending a sine of `sineHz` and recording what
// it decodes (sndfile), offering only `codec` (e.g. "PCMU/8000/1"). Given `callTarget`, it
// calls that address as soon as it is ready. Commands reach it over its control port.
class Baresip {
 public:
  // The folder's path is kept short: sndfile cuts the names of its recordings at a fixed length.
  Baresip(int sineHz, const std::string& codec, const std::string& callTarget = {},
          const BaresipAccount& account = {}) {
    char folder[] = "/tmp/cvbsXXXXXX";
    dir_ = mkdtemp(folder) != nullptr ? folder : "/tmp/cvbs-failed";
    std::filesystem::create_directories(dir_ + "/snd");
    sipPort_ = FreeLoopbackPort();
    control_ = FreeLoopbackPort();
    rtp_ = FreeEvenPortRange(kRtpPorts);
    {
      // Written and closed before baresip starts and reads it.
      std::ofstream config(dir_ + "/config");
      config << "poll_method epoll\nsip_listen 127.0.0.1:" << sipPort_ << "\nnet_interface 127.0.0.1\n"
             << "audio_player alsa,null\naudio_alert alsa,null\naudio_source ausine," << sineHz << "\n"
             << "ausrc_srate 48000\nausrc_channels 2\nauplay_srate 48000\nauplay_channels 1\n"
             << "module_path /usr/lib/baresip/modules\nmodule g711.so\nmodule gsm.so\nmodule g726.so\n"
             << "module ausine.so\nmodule alsa.so\nmodule sndfile.so\nmodule_app account.so\n"
             << "module_app ctrl_tcp.so\nctrl_tcp_listen 127.0.0.1:" << control_ << "\nsnd_path " << dir_ << "/snd\n"
             << "rtp_ports " << rtp_ << "-" << rtp_ + kRtpPorts - 1 << "\n"
             << "module_app menu.so\n";  // dial, hold, resume, hangup
    }
    std::ofstream accounts(dir_ + "/accounts");
    if (account.registrar == 0) {
      accounts << "<sip:" << account.user << "@127.0.0.1>;regint=0";
    } else {
      accounts << "<sip:" << account.user << "@127.0.0.1:" << account.registrar << ">;auth_pass=" << account.password
               << ";regint=60";
    }
    accounts << ";answermode=auto;audio_codecs=" << codec << "\n";
    accounts.close();
    std::ofstream(dir_ + "/contacts") << "";
    child_ = std::make_unique<testing::ChildProcess>(
        std::vector<std::string>{"/bin/sh", "-c",
                                 "exec baresip -f " + dir_ + (callTarget.empty() ? "" : " -e '/dial " + callTarget + "'") +
                                     " > " + dir_ + "/log 2>&1"},
        std::vector<std::string>{});
  }
  ~Baresip() {
    // Its calls have ended by now; it would otherwise spend 1.5 s winding down its user agent.
    StopChild(*child_, 300);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  bool WaitReady() {
    return PollUntil([&] { return Log().find("baresip is ready.") != std::string::npos; }, 10000);
  }
  std::string Log() const { return ReadFile(dir_ + "/log"); }
  std::uint16_t SipPort() const { return sipPort_; }
  std::string Target() const { return "sip:bob@127.0.0.1:" + std::to_string(sipPort_); }
  // Its RTP ports: kRtpPorts from this one.
  std::uint16_t FirstRtpPort() const { return rtp_; }
  static constexpr int kRtpPorts = 21;
  // Sends a command to its control port; true when baresip reports success within 3 s.
  bool Command(const std::string& command, const std::string& params = {}) {
    return corvina::testing::BaresipCommand(control_, command, params);
  }
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
  std::uint16_t control_ = 0;  // ctrl_tcp's port
  std::uint16_t rtp_ = 0;
  std::unique_ptr<testing::ChildProcess> child_;
};

}  // namespace corvina::interop
