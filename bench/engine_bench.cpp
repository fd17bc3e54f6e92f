// The SIP engine under load, measured from other processes on loopback:
// - SIPp sends OPTIONS at rising rates; the figure is the highest rate answered without loss;
// - meanwhile a registrar that never answers sees the phone's REGISTER every 7000 ms: the
//   figure is the largest spacing seen, which shows whether the schedule held;
// - the resident memory of a phone that is registered and idle.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/udp_socket.h"
#include "tests/support/phone_under_test.h"

namespace {

using corvina::testing::ChildProcess;
using corvina::testing::FreeUdpPort;
using corvina::testing::PhoneUnderTest;
using Clock = std::chrono::steady_clock;
namespace platform = corvina::platform;

constexpr std::uint32_t kLoopback = 0x7F000001;

// A registrar on loopback: counts REGISTERs and, when `answer` is set, grants them.
class TinyRegistrar {
 public:
  explicit TinyRegistrar(bool answer) : answer_(answer) {
    socket_.Bind({kLoopback, 0});
    thread_ = std::thread([this] { Run(); });
  }
  ~TinyRegistrar() {
    stop_.Set();
    thread_.join();
  }
  std::uint16_t Port() const { return socket_.Local()->port; }
  // Milliseconds between successive REGISTERs.
  std::vector<long> Spacings() {
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<long> out;
    for (std::size_t i = 1; i < arrivals_.size(); ++i) {
      out.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(arrivals_[i] - arrivals_[i - 1]).count());
    }
    return out;
  }

 private:
  static std::string Header(const std::string& m, const std::string& name) {
    std::size_t at = m.find("\r\n" + name + ": ");
    if (at == std::string::npos) return {};
    at += name.size() + 4;
    return m.substr(at, m.find("\r\n", at) - at);
  }
  void Run() {
    std::uint8_t buffer[4096];
    for (;;) {
      platform::ReceiveResult r = socket_.ReceiveFrom(buffer, 1000, &stop_);
      if (r.status == platform::ReceiveStatus::kStopped) return;
      if (r.status != platform::ReceiveStatus::kDatagram) continue;
      std::string m(reinterpret_cast<char*>(buffer), r.size);
      if (m.rfind("REGISTER ", 0) != 0) continue;
      {
        std::lock_guard<std::mutex> hold(mutex_);
        arrivals_.push_back(Clock::now());
      }
      if (!answer_) continue;
      std::string ok = "SIP/2.0 200 OK\r\nVia: " + Header(m, "Via") + "\r\nFrom: " + Header(m, "From") +
                       "\r\nTo: " + Header(m, "To") + ";tag=reg\r\nCall-ID: " + Header(m, "Call-ID") +
                       "\r\nCSeq: " + Header(m, "CSeq") + "\r\nContact: " + Header(m, "Contact") +
                       "\r\nContent-Length: 0\r\n\r\n";
      socket_.SendTo(r.from, ok);
    }
  }

  bool answer_;
  platform::UdpSocket socket_;
  platform::Event stop_{platform::Event::Mode::kManualReset};
  std::mutex mutex_;
  std::vector<Clock::time_point> arrivals_;
  std::thread thread_;
};

// The resident memory of process `pid` in MB (0 when unknown).
double RssMb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
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

// A headless phone whose line registers with the registrar on `registrarPort`.
std::unique_ptr<PhoneUnderTest> StartPhone(const std::string& home, std::uint16_t registrarPort) {
  auto phone = std::make_unique<PhoneUnderTest>(
      home, std::vector<std::vector<std::string>>{{"SIP", "Port", std::to_string(FreeUdpPort())},
                                                  {"DefaultLine", "UserName", "100"},
                                                  {"DefaultLine", "Proxy", "127.0.0.1:" + std::to_string(registrarPort)}});
  phone->Start();
  return phone;
}

const char kOptions[] = R"(<?xml version="1.0" encoding="ISO-8859-1" ?>
<scenario name="options">
<send><![CDATA[

OPTIONS sip:nobody@[remote_ip]:[remote_port] SIP/2.0
Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]
From: <sip:load@[local_ip]:[local_port]>;tag=[call_number]
To: <sip:nobody@[remote_ip]:[remote_port]>
Call-ID: [call_id]
CSeq: 1 OPTIONS
Max-Forwards: 70
Content-Length: 0

]]></send>
<recv response="404" timeout="2000"/>
</scenario>
)";

// Runs `calls` OPTIONS at `rate` per second; the rate achieved when none was lost, else 0.
double OptionsRun(const std::string& dir, std::uint16_t sipPort, int rate, int calls) {
  std::ofstream(dir + "/options.xml") << kOptions;
  const std::string command = "cd " + dir + " && exec sipp -sf options.xml -i 127.0.0.1 -p " +
                              std::to_string(FreeUdpPort()) + " -r " + std::to_string(rate) + " -rp 1000 -m " +
                              std::to_string(calls) + " -l 15000 -nostdin -timeout 60s -max_socket 1 -buff_size 4194304 " +
                              "127.0.0.1:" + std::to_string(sipPort) + " >/dev/null 2>&1";
  auto start = Clock::now();
  ChildProcess sipp({"/bin/sh", "-c", command}, {"HOME=" + dir, "TERM=dumb"});
  int status = sipp.Wait(90000);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return 0;
  return std::min<double>(rate, calls / seconds);
}

void EngineUnderLoad(benchmark::State& state) {
  const std::string root = (std::filesystem::temp_directory_path() / ("corvina-engine-bench-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(root);
  double idleRss = 0;
  double best = 0;
  long widest = 0;
  for (auto _ : state) {
    {
      TinyRegistrar granting(true);
      auto idle = StartPhone(root + "/idle", granting.Port());
      idle->WaitForSipPort(10000);
      idle->WaitForEvent({"\"event\":\"registration\"", "\"registered\":true"}, 5000);
      std::this_thread::sleep_for(std::chrono::seconds(2));
      idleRss = RssMb(idle->Pid());
      idle->Quit();
    }
    TinyRegistrar silent(false);
    auto loaded = StartPhone(root + "/load", silent.Port());
    const std::uint16_t port = loaded->WaitForSipPort(10000);
    for (int rate : {2000, 5000, 10000, 20000, 30000, 40000}) {
      // Two tries: the machine is shared, and one stall of the load generator loses a few.
      double achieved = OptionsRun(root, port, rate, rate * 3);
      if (achieved <= 0) achieved = OptionsRun(root, port, rate, rate * 3);
      if (achieved <= 0) break;
      best = std::max(best, achieved);
    }
    // The silent registrar saw the retries while the load ran.
    for (long spacing : silent.Spacings()) widest = std::max(widest, spacing);
    loaded->Quit();
  }
  std::filesystem::remove_all(root);
  std::printf("figure: OPTIONS answered per second without loss = %.0f\n", best);
  std::printf("figure: REGISTER retry spacing under load (largest) = %ld ms\n", widest);
  std::printf("figure: headless idle RSS = %.1f MB\n", idleRss);
  state.counters["options_per_s"] = best;
}
BENCHMARK(EngineUnderLoad)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
