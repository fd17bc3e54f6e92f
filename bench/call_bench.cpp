// CPU of a 60 s PCMU call on loopback, both ends, between two headless phones and then between
// two baresips, in the same run. Each end's CPU comes from /proc/PID/stat (utime + stime) over
// the call, minus its own idle rate measured over 10 s just before the call.
// - The phones send a 440 Hz sine from a WAV file (Record "wav:...") and play into the null
//   device (PlayDevice "null"), which keeps a sound card's pace; echo suppression and gain
//   control are off, as baresip runs none; PCMU leads the phone's offer and is what the callee
//   picks.
// - baresip sends ausine's sine and plays into an ALSA file device on a pipe drained in real time
//   (see bench_peers.h), its only codec PCMU.
// `ratio: call_cpu_baresip_over_ours` is baresip's mean per end over ours.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <thread>

#include "bench/bench_peers.h"

namespace {

using corvina::bench::BaresipOptions;
using corvina::bench::BaresipPeer;
using corvina::bench::ProcessWindow;
using corvina::bench::ScratchFolder;
using corvina::testing::FreeUdpPort;
using corvina::testing::PhoneUnderTest;
using corvina::testing::PollUntil;

constexpr int kIdleSeconds = 10;
constexpr int kCallSeconds = 60;

// A 16-bit mono 8000 Hz WAV of a 440 Hz sine at half scale, `seconds` long.
void WriteTone(const std::string& path, int seconds) {
  const std::uint32_t samples = 8000u * static_cast<std::uint32_t>(seconds);
  const std::uint32_t data = samples * 2;
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  out.write("RIFF", 4);
  u32(36 + data);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(1);
  u32(8000);
  u32(16000);
  u16(2);
  u16(16);
  out.write("data", 4);
  u32(data);
  for (std::uint32_t i = 0; i < samples; ++i) {
    u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(16000 * std::sin(2 * M_PI * 440 * i / 8000.0))));
  }
}

// The two ends' CPU per cent during the call, idle subtracted.
struct CallCpu {
  double first = -1;
  double second = -1;
  double Mean() const { return (first + second) / 2; }
};

// Idle window, then `connect` (true once the call is up), then the call window.
template <typename Connect>
CallCpu Measure(pid_t a, pid_t b, Connect connect) {
  ProcessWindow idleA(a), idleB(b), callA(a), callB(b);
  idleA.Start();
  idleB.Start();
  std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
  idleA.Stop();
  idleB.Stop();
  if (!connect()) return {};
  callA.Start();
  callB.Start();
  std::this_thread::sleep_for(std::chrono::seconds(kCallSeconds));
  callA.Stop();
  callB.Stop();
  return {callA.CpuPercent() - idleA.CpuPercent(), callB.CpuPercent() - idleB.CpuPercent()};
}

std::vector<std::vector<std::string>> PhoneSettings(const std::string& user, const std::string& tone, int rtpBase) {
  return {{"SIP", "Port", std::to_string(FreeUdpPort())},
          {"SIP", "RTPPortBase", std::to_string(rtpBase)},
          {"DefaultLine", "UserName", user},
          {"Settings", "Record", "wav:" + tone},
          {"Settings", "PlayDevice", "null"},
          {"Settings", "UseEchoCancellation", "0"},
          {"Settings", "UseAGC", "0"}};
}

void Print(const char* who, const CallCpu& cpu) {
  std::printf("figure: call CPU %% caller (%s) = %.3f\n", who, cpu.first);
  std::printf("figure: call CPU %% callee (%s) = %.3f\n", who, cpu.second);
  std::printf("figure: call CPU %% per end (%s) = %.3f\n", who, cpu.Mean());
}

void PcmuCall(benchmark::State& state) {
  corvina::bench::EnterLoopbackOnlyNetwork();
  ScratchFolder root("cvcall");
  CallCpu ours;
  CallCpu theirs;
  for (auto _ : state) {
    const std::string tone = root.Sub("tone.wav");
    WriteTone(tone, kIdleSeconds + kCallSeconds + 20);
    {
      PhoneUnderTest caller(root.Sub("a"), PhoneSettings("100", tone, 40000));
      PhoneUnderTest callee(root.Sub("b"), PhoneSettings("200", tone, 40100));
      caller.Start();
      callee.Start();
      caller.WaitForSipPort(10000);
      const std::uint16_t calleePort = callee.WaitForSipPort(10000);
      ours = Measure(caller.Pid(), callee.Pid(), [&] {
        const std::string dial = "dial sip:200@127.0.0.1:" + std::to_string(calleePort);
        return calleePort != 0 && caller.Ask(dial) == "ok {\"line\":1}" &&
               callee.WaitForEvent({"\"state\":\"IncomingRinging\""}, 10000) &&
               callee.Ask("answer") == "ok {\"line\":1}" &&
               caller.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Connected\""}, 10000);
      });
      caller.Ask("hangup");
      caller.Quit();
      callee.Quit();
    }
    {
      BaresipOptions calleeOptions;
      calleeOptions.user = "200";
      calleeOptions.audio = true;
      calleeOptions.autoAnswer = true;
      BaresipPeer callee(root.Sub("bb"), calleeOptions);
      BaresipOptions callerOptions;
      callerOptions.user = "100";
      callerOptions.audio = true;
      BaresipPeer caller(root.Sub("ba"), callerOptions);
      if (!callee.WaitReady() || !caller.WaitReady()) {
        state.SkipWithError("baresip did not get ready");
        return;
      }
      theirs = Measure(caller.Pid(), callee.Pid(), [&] {
        return caller.Command("dial", "sip:200@127.0.0.1:" + std::to_string(callee.SipPort())) &&
               PollUntil([&] { return caller.Log().find("Call established") != std::string::npos; }, 10000);
      });
      caller.Command("hangup");
    }
  }
  if (ours.first < -0.5 || theirs.first < -0.5) {
    state.SkipWithError("a call did not connect");
    return;
  }
  Print("ours", ours);
  Print("baresip", theirs);
  if (ours.Mean() > 0) std::printf("ratio: call_cpu_baresip_over_ours = %.2f\n", theirs.Mean() / ours.Mean());
  std::fflush(stdout);
}
BENCHMARK(PcmuCall)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
