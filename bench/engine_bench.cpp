// The SIP engine under load, measured from other processes on loopback, beside baresip:
// - SIPp sends OPTIONS to the line's own user (answered 200 with the SDP capabilities) at rates
//   found by doubling and then bisection; the figure is the highest rate answered without loss,
//   the median of three rounds. The same search runs against baresip (OPTIONS to its account)
//   in the same run.
// - Meanwhile a registrar that never answers receives the phone's REGISTER and its
//   retransmissions: the figure is the largest spacing seen while the load ran (at most 7000 ms
//   when the schedule holds under load).
// A step offers `rate` OPTIONS per second for 4 s with no retransmission. It passes when every
// OPTIONS got its final response within 2 s (SIPp's exit status) and SIPp kept the pace (the
// step took at most 10 % longer than planned): anything else counts as loss. The first round
// doubles the rate from 500/s until a step fails, later rounds step by a quarter from the first
// round's edge; then bisection narrows the edge to within 6 % and a step twice as long confirms
// it, stepping down 6 % until one passes, so one stall of the shared machine near the edge
// cannot set the figure alone.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/bench_peers.h"
#include "platform/event.h"
#include "platform/udp_socket.h"

namespace {

using corvina::bench::BaresipOptions;
using corvina::bench::BaresipPeer;
using corvina::bench::Clock;
using corvina::bench::ScratchFolder;
using corvina::testing::ChildProcess;
using corvina::testing::FreeUdpPort;
using corvina::testing::PhoneUnderTest;
namespace platform = corvina::platform;

constexpr std::uint32_t kLoopback = 0x7F000001;
constexpr int kStepSeconds = 4;
constexpr int kStartRate = 500;
constexpr int kHighestRate = 100000;

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
  // Forgets the REGISTERs seen so far.
  void Clear() {
    std::lock_guard<std::mutex> hold(mutex_);
    arrivals_.clear();
  }
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
  std::mutex mutex_;  // guards arrivals_
  std::vector<Clock::time_point> arrivals_;
  std::thread thread_;
};

// The user is SIPp's [service].
const char kOptions[] = R"(<?xml version="1.0" encoding="ISO-8859-1" ?>
<scenario name="options">
<send><![CDATA[

OPTIONS sip:[service]@[remote_ip]:[remote_port] SIP/2.0
Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]
From: <sip:load@[local_ip]:[local_port]>;tag=[call_number]
To: <sip:[service]@[remote_ip]:[remote_port]>
Call-ID: [call_id]
CSeq: 1 OPTIONS
Max-Forwards: 70
Accept: application/sdp
Content-Length: 0

]]></send>
<recv response="200" timeout="2000"/>
</scenario>
)";

// One peer under load: where it listens and the user it answers for.
struct Target {
  std::string name;
  std::uint16_t port;
  std::string user;
};

class OptionsLoad {
 public:
  explicit OptionsLoad(std::string dir) : dir_(std::move(dir)) { std::ofstream(dir_ + "/options.xml") << kOptions; }

  // One step of `seconds` at `rate`; true when nothing was lost.
  bool Step(const Target& target, int rate, int seconds) {
    const int calls = rate * seconds;
    const std::string command = "cd " + dir_ + " && exec sipp -sf options.xml -i 127.0.0.1 -p " +
                                std::to_string(FreeUdpPort()) + " -s " + target.user + " -r " + std::to_string(rate) +
                                " -rp 1000 -m " + std::to_string(calls) + " -l " + std::to_string(2 * rate + 100) +
                                " -nr -nostdin -timeout " + std::to_string(seconds + 30) +
                                "s -max_socket 1 -buff_size 8388608 127.0.0.1:" + std::to_string(target.port) +
                                " >/dev/null 2>&1";
    const auto start = Clock::now();
    ChildProcess sipp({"/bin/sh", "-c", command}, {"HOME=" + dir_, "TERM=dumb"});
    const int status = sipp.Wait((seconds + 40) * 1000);
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    const bool ok = status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 && took <= seconds * 1.1 + 0.3;
    std::printf("  %s %6d/s for %d s: %s (%.2f s)\n", target.name.c_str(), rate, seconds, ok ? "no loss" : "LOSS", took);
    std::fflush(stdout);
    return ok;
  }

  // The highest rate with no loss. Without a `hint` the search doubles from kStartRate until a
  // step fails; with one (an earlier round's edge) it steps by a quarter up or down from there.
  int Edge(const Target& target, int hint) {
    int low = 0;
    int high = 0;
    const double factor = hint > 0 ? 1.25 : 2.0;
    int rate = hint > 0 ? hint : kStartRate;
    const bool first = Step(target, rate, kStepSeconds);
    (first ? low : high) = rate;
    // Up while steps pass, or down while they fail.
    while (first ? high == 0 && rate < kHighestRate : low == 0 && rate > 50) {
      rate = static_cast<int>(first ? rate * factor : rate / factor);
      (Step(target, rate, kStepSeconds) ? low : high) = rate;
    }
    if (high == 0 || low == 0) return low;  // at the search's ceiling, or nothing holds
    while (high > low * 1.06) {
      const int middle = static_cast<int>(std::sqrt(static_cast<double>(low) * high));
      (Step(target, middle, kStepSeconds) ? low : high) = middle;
    }
    // Near the edge: a longer step confirms, else 6 % lower (at most three times).
    for (int tries = 0; tries < 3; ++tries) {
      if (Step(target, low, 2 * kStepSeconds)) return low;
      low = static_cast<int>(low * 0.94);
    }
    return low;
  }

 private:
  std::string dir_;
};

int Median(std::vector<int> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

std::string Join(const std::vector<int>& v) {
  std::string out;
  for (int x : v) out += (out.empty() ? "" : " ") + std::to_string(x);
  return out;
}

void EngineUnderLoad(benchmark::State& state) {
  corvina::bench::EnterLoopbackOnlyNetwork();
  ScratchFolder root("cvengine");
  std::vector<int> ours;
  std::vector<int> theirs;
  long widest = 0;
  for (auto _ : state) {
    TinyRegistrar silent(false);
    // The line's user is 100; OPTIONS to it is answered 200 with the SDP capabilities.
    PhoneUnderTest phone(root.Sub("phone"),
                         {{"SIP", "Port", std::to_string(FreeUdpPort())},
                          {"DefaultLine", "UserName", "100"},
                          {"DefaultLine", "Proxy", "127.0.0.1:" + std::to_string(silent.Port())}});
    phone.Start();
    const std::uint16_t port = phone.WaitForSipPort(10000);
    BaresipPeer baresip(root.Sub("baresip"), BaresipOptions{});
    if (port == 0 || !baresip.WaitReady()) {
      state.SkipWithError("the phone or baresip did not get ready");
      return;
    }
    OptionsLoad load(root.Path());
    const Target phoneTarget{"ours   ", port, "100"};
    const Target baresipTarget{"baresip", baresip.SipPort(), "bob"};
    for (int round = 0; round < 3; ++round) {
      // Later rounds search from the first round's edge.
      const int hintOurs = round == 0 ? 0 : ours.front();
      const int hintTheirs = round == 0 ? 0 : theirs.front();
      silent.Clear();
      ours.push_back(load.Edge(phoneTarget, hintOurs));
      // The silent registrar saw the REGISTERs while the phone was under load.
      for (long spacing : silent.Spacings()) widest = std::max(widest, spacing);
      theirs.push_back(load.Edge(baresipTarget, hintTheirs));
    }
    phone.Quit();
  }
  const int oursMedian = Median(ours);
  const int theirsMedian = Median(theirs);
  std::printf("note: OPTIONS edges per round: ours %s; baresip %s\n", Join(ours).c_str(), Join(theirs).c_str());
  std::printf("figure: OPTIONS answered per second without loss (ours) = %d\n", oursMedian);
  std::printf("figure: OPTIONS answered per second without loss (baresip) = %d\n", theirsMedian);
  if (theirsMedian > 0) std::printf("ratio: options_vs_baresip = %.2f\n", static_cast<double>(oursMedian) / theirsMedian);
  std::printf("figure: REGISTER retry spacing under load (largest) = %ld ms\n", widest);
  std::fflush(stdout);
  state.counters["options_per_s"] = oursMedian;
}
BENCHMARK(EngineUnderLoad)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
