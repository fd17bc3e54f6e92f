// What the benches that run whole programs share: a loopback-only network for the bench and
// every child it starts, readings of a process from /proc, and baresip as a peer with a
// configuration of the bench's own. Every child is stopped by its own PID; every wait is bounded.
#pragma once

#include <dirent.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/baresip_control.h"
#include "tests/support/child_process.h"
#include "tests/support/phone_under_test.h"
#include "tests/support/poll_until.h"

namespace corvina::bench {

using testing::ChildProcess;
using testing::FreeUdpPort;
using testing::PollUntil;
using testing::ReadFile;
using Clock = std::chrono::steady_clock;

// Moves this process into a network namespace of its own whose only interface is loopback, so
// that neither the phone nor any peer can reach or advertise another address; the children
// inherit it. Needs root (or CAP_SYS_ADMIN); without it the bench stays on the host's loopback
// and says so.
inline bool EnterLoopbackOnlyNetwork() {
  static const bool entered = [] {
    if (unshare(CLONE_NEWNET) != 0) {
      std::printf("note: no private network namespace (not root); peers run on the host's loopback\n");
      return false;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::snprintf(request.ifr_name, sizeof request.ifr_name, "lo");
    bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (fd >= 0) close(fd);
    if (!up) std::printf("note: loopback could not be brought up in the private network namespace\n");
    return up;
  }();
  return entered;
}

// A fresh folder under /tmp, removed with the object. Names stay short: baresip cuts long paths.
class ScratchFolder {
 public:
  explicit ScratchFolder(const char* stem) {
    std::string pattern = std::string("/tmp/") + stem + "XXXXXX";
    path_ = mkdtemp(pattern.data()) != nullptr ? pattern : "/tmp/" + std::string(stem) + "-failed";
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }
  std::string Sub(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// CPU time (user + system, every thread) of process `pid` in seconds; -1 when it is gone.
inline double CpuSeconds(pid_t pid) {
  std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  // After the command: state is field 3; utime and stime are fields 14 and 15.
  for (int index = 3; index <= 15 && fields >> field; ++index) {
    if (index == 14) utime = std::stoull(field);
    if (index == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Voluntary and involuntary context switches summed over every thread of `pid`.
inline long long ContextSwitches(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  long long sum = 0;
  DIR* dir = opendir(tasks.c_str());
  if (dir == nullptr) return -1;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::istringstream status(ReadFile(tasks + "/" + entry->d_name + "/status"));
    std::string key;
    long long value = 0;
    while (status >> key) {
      if (key == "voluntary_ctxt_switches:" || key == "nonvoluntary_ctxt_switches:") {
        status >> value;
        sum += value;
      }
    }
  }
  closedir(dir);
  return sum;
}

// Resident memory of `pid` in MB (0 when unknown).
inline double RssMb(pid_t pid) {
  std::istringstream status(ReadFile("/proc/" + std::to_string(pid) + "/status"));
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      double kb = 0;
      status >> kb;
      return kb / 1024.0;
    }
  }
  return 0;
}

// CPU and wake-ups of one process over a window: Start, then Stop after the window.
class ProcessWindow {
 public:
  explicit ProcessWindow(pid_t pid) : pid_(pid) {}
  void Start() {
    cpu_ = CpuSeconds(pid_);
    switches_ = ContextSwitches(pid_);
    start_ = Clock::now();
  }
  void Stop() {
    seconds_ = std::chrono::duration<double>(Clock::now() - start_).count();
    cpu_ = CpuSeconds(pid_) - cpu_;
    switches_ = ContextSwitches(pid_) - switches_;
  }
  // Per cent of one core over the window.
  double CpuPercent() const { return seconds_ > 0 ? 100.0 * cpu_ / seconds_ : 0; }
  double WakeupsPerSecond() const { return seconds_ > 0 ? static_cast<double>(switches_) / seconds_ : 0; }

 private:
  pid_t pid_;
  double cpu_ = 0;
  long long switches_ = 0;
  double seconds_ = 0;
  Clock::time_point start_;
};

// A child stopped by its own PID: SIGTERM, then SIGKILL after `timeoutMs`.
inline void StopChild(ChildProcess& child, int timeoutMs = 3000) {
  if (child.Pid() <= 0 || child.Reaped()) return;
  kill(child.Pid(), SIGTERM);
  if (child.Wait(timeoutMs) < 0) {
    kill(child.Pid(), SIGKILL);
    child.Wait(timeoutMs);
  }
}

// baresip 1.0 on 127.0.0.1 with account `user`; registering with a registrar on loopback when
// `registrarPort` is set. For calls it sends a sine (ausine) and plays into the ALSA device
// `paced`, an ALSA file device on a pipe that PacedSink drains in real time (ALSA's null device
// has no timing and a player on it spins a core); its ring and alert tones go to ALSA's null.
struct BaresipOptions {
  std::string user = "bob";
  std::uint16_t registrarPort = 0;
  std::string password;
  bool audio = false;           // g711, ausine and the paced player
  bool autoAnswer = false;
  std::string dial;             // an address to call once ready
};

// A pipe read at the pace of a sound card playing 48000 Hz mono 16-bit: what baresip's player
// writes into it blocks once the pipe is full, so the player runs in real time. Reading costs
// the bench's CPU, not baresip's.
class PacedSink {
 public:
  static constexpr double kBytesPerSecond = 48000 * 2;

  explicit PacedSink(const std::string& path) : path_(path) {
    mkfifo(path_.c_str(), 0600);
    fd_ = open(path_.c_str(), O_RDONLY | O_NONBLOCK);
    thread_ = std::thread([this] { Run(); });
  }
  ~PacedSink() {
    stop_ = true;
    thread_.join();
    if (fd_ >= 0) close(fd_);
  }

 private:
  void Run() {
    const auto start = Clock::now();
    double drained = 0;
    char buffer[8192];
    while (!stop_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      const double due = kBytesPerSecond * std::chrono::duration<double>(Clock::now() - start).count() - drained;
      if (fd_ < 0 || due < 1) continue;
      const ssize_t n = read(fd_, buffer, std::min<std::size_t>(sizeof buffer, static_cast<std::size_t>(due)));
      // Nothing written (no player, or it closed): the pace restarts from now.
      if (n > 0) drained += static_cast<double>(n);
      else drained = kBytesPerSecond * std::chrono::duration<double>(Clock::now() - start).count();
    }
  }

  std::string path_;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class BaresipPeer {
 public:
  BaresipPeer(const std::string& dir, const BaresipOptions& options) : dir_(dir) {
    std::filesystem::create_directories(dir_);
    if (options.audio) {
      sink_ = std::make_unique<PacedSink>(dir_ + "/play.fifo");
      std::ofstream(dir_ + "/.asoundrc") << "pcm.!default { type null }\n"
                                         << "pcm.paced { type file slave.pcm \"null\" file \"" << dir_
                                         << "/play.fifo\" format \"raw\" }\n";
    }
    sipPort_ = FreeUdpPort();
    control_ = FreeUdpPort();  // a TCP port; on loopback the UDP one free a moment ago rarely is not
    {
      std::ofstream config(dir_ + "/config");
      config << "poll_method epoll\nsip_listen 127.0.0.1:" << sipPort_ << "\nnet_interface 127.0.0.1\n"
             << "module_path /usr/lib/baresip/modules\nmodule_app account.so\nmodule_app menu.so\n"
             << "module_app ctrl_tcp.so\nctrl_tcp_listen 127.0.0.1:" << control_ << "\n";
      if (options.audio) {
        config << "module g711.so\nmodule ausine.so\nmodule alsa.so\n"
               << "audio_player alsa,paced\naudio_alert alsa,default\naudio_source ausine,440\n"
               << "ausrc_srate 48000\nausrc_channels 2\nauplay_srate 48000\nauplay_channels 1\n"
               << "rtp_ports " << 30000 + 100 * (sipPort_ % 300) << "-" << 30000 + 100 * (sipPort_ % 300) + 19 << "\n";
      }
    }
    std::ofstream accounts(dir_ + "/accounts");
    if (options.registrarPort == 0) {
      accounts << "<sip:" << options.user << "@127.0.0.1>;regint=0";
    } else {
      accounts << "<sip:" << options.user << "@127.0.0.1:" << options.registrarPort
               << ">;auth_pass=" << options.password << ";regint=3600";
    }
    if (options.autoAnswer) accounts << ";answermode=auto";
    if (options.audio) accounts << ";audio_codecs=PCMU/8000/1";
    accounts << "\n";
    accounts.close();
    std::ofstream(dir_ + "/contacts") << "";
    const std::string dial = options.dial.empty() ? "" : " -e '/dial " + options.dial + "'";
    child_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/bin/sh", "-c", "exec baresip -f " + dir_ + dial + " > " + dir_ + "/log 2>&1"},
        std::vector<std::string>{"HOME=" + dir_});
  }
  ~BaresipPeer() { StopChild(*child_); }

  bool WaitReady() {
    return PollUntil([&] { return Log().find("baresip is ready.") != std::string::npos; }, 10000);
  }
  std::string Log() const { return ReadFile(dir_ + "/log"); }
  std::uint16_t SipPort() const { return sipPort_; }
  pid_t Pid() const { return child_->Pid(); }

  // Sends a command to its control port; true when baresip reports success within 3 s.
  bool Command(const std::string& command, const std::string& params = {}) {
    return corvina::testing::BaresipCommand(control_, command, params);
  }

 private:
  std::string dir_;
  std::uint16_t sipPort_ = 0;
  std::uint16_t control_ = 0;  // ctrl_tcp's port
  std::unique_ptr<PacedSink> sink_;
  std::unique_ptr<ChildProcess> child_;
};

}  // namespace corvina::bench
