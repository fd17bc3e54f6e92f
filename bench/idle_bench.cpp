// A registered phone at rest beside baresip at rest, in the same run: both register with one
// Kamailio on loopback, settle, and are then watched for 60 s. Figures per program: resident
// memory at the end, wake-ups per second (voluntary and involuntary context switches summed
// over every thread in /proc/PID/task/*/status) and CPU per cent of one core (utime + stime
// from /proc/PID/stat).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <thread>

#include "bench/bench_peers.h"
#include "tests/interop/kamailio_registrar.h"

namespace {

using corvina::bench::BaresipOptions;
using corvina::bench::BaresipPeer;
using corvina::bench::ProcessWindow;
using corvina::bench::RssMb;
using corvina::bench::ScratchFolder;
using corvina::testing::FreeUdpPort;
using corvina::testing::PhoneUnderTest;
using corvina::testing::PollUntil;

constexpr int kSettleSeconds = 5;
constexpr int kWindowSeconds = 60;

void Print(const char* who, pid_t pid, const ProcessWindow& window) {
  std::printf("figure: idle RSS MB (%s) = %.1f\n", who, RssMb(pid));
  std::printf("figure: idle wakeups per s (%s) = %.2f\n", who, window.WakeupsPerSecond());
  std::printf("figure: idle CPU %% (%s) = %.3f\n", who, window.CpuPercent());
}

void IdleRegistered(benchmark::State& state) {
  corvina::bench::EnterLoopbackOnlyNetwork();
  ScratchFolder root("cvidle");
  for (auto _ : state) {
    corvina::interop::KamailioRegistrar kamailio(root.Sub("kam"), FreeUdpPort(), "100", "Phone-Pass");
    kamailio.AddUser("200", "Peer-Pass");
    if (!kamailio.Start()) {
      state.SkipWithError("Kamailio did not start");
      return;
    }
    PhoneUnderTest phone(root.Sub("phone"),
                         {{"SIP", "Port", std::to_string(FreeUdpPort())},
                          {"DefaultLine", "UserName", "100"},
                          {"DefaultLine", "Proxy", "127.0.0.1:" + std::to_string(kamailio.Port())},
                          {"DefaultLine", "ProxyPassword", "Phone-Pass"},
                          {"Settings", "Record", "null"},
                          {"Settings", "PlayDevice", "null"}});
    phone.Start();
    BaresipOptions options;
    options.user = "200";
    options.registrarPort = kamailio.Port();
    options.password = "Peer-Pass";
    options.audio = true;
    BaresipPeer baresip(root.Sub("baresip"), options);
    const bool registered =
        phone.WaitForSipPort(10000) != 0 &&
        phone.WaitForEvent({"\"event\":\"registration\"", "\"registered\":true"}, 10000) && baresip.WaitReady() &&
        PollUntil([&] { return kamailio.UlDump().find("AoR: 200") != std::string::npos; }, 10000);
    if (!registered) {
      state.SkipWithError("the phone or baresip did not register");
      return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(kSettleSeconds));
    ProcessWindow ours(phone.Pid());
    ProcessWindow theirs(baresip.Pid());
    ours.Start();
    theirs.Start();
    std::this_thread::sleep_for(std::chrono::seconds(kWindowSeconds));
    ours.Stop();
    theirs.Stop();
    Print("ours", phone.Pid(), ours);
    Print("baresip", baresip.Pid(), theirs);
    std::fflush(stdout);
    phone.Quit();
  }
}
BENCHMARK(IdleRegistered)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
