#include "call/network_tool.h"

#include <algorithm>
#include <optional>

#include "call/nat_texts.h"
#include "call/network_tool_texts.h"
#include "platform/name_resolver.h"
#include "platform/socket_address.h"
#include "platform/text.h"

namespace corvina::call {
namespace {

constexpr double kPortsTestedFraction = 0.3;
constexpr double kBeforeUpnpFraction = 0.6;

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

}  // namespace

std::vector<std::string> NetworkToolServers(std::string_view override) {
  std::vector<std::string> servers;
  while (!override.empty()) {
    const auto comma = override.find(',');
    std::string name = Trimmed(override.substr(0, comma));
    if (!name.empty()) servers.push_back(std::move(name));
    if (comma == std::string_view::npos) break;
    override.remove_prefix(comma + 1);
  }
  if (servers.empty()) servers.assign(tool::kStunServers.begin(), tool::kStunServers.end());
  return servers;
}

void NetworkTool::Step(std::string_view text) {
  display_.ShowStep(text);
  log_.Log(text, platform::kLogInfo);
}

void NetworkTool::Log(std::string_view text, std::uint8_t level) { log_.Log(text, level); }

void NetworkTool::Write(std::string_view name, std::string_view value) {
  settings_.SetSettingString(nat::kSection, name, value);
}

NetworkToolResult NetworkTool::Run() {
  const NetworkToolResult result = Steps();
  io_.CloseSocket();
  if (result == NetworkToolResult::kFinished) Log(tool::kFinished);
  if (engineStopped_) {
    Log(tool::kRestartingEngine);
    io_.StartEngine();
  }
  return result;
}

NetworkToolResult NetworkTool::Steps() {
  Step(tool::kTesting);
  if (settings_.GetSettingBool(nat::kSection, nat::kStatic, false)) {
    display_.ShowMessage(tool::kTitle, tool::kStaticOn);
    return NetworkToolResult::kEnded;
  }
  Step(tool::kCheckingInternet);
  if (servers_.empty() || !io_.InternetConnected(servers_.front())) {
    display_.ShowMessage(tool::kTitle, tool::kNotConnected);
    return NetworkToolResult::kEnded;
  }
  Step(tool::kConnected);
  if (io_.EngineRunning()) {
    Step(tool::kStoppingEngine);
    switch (io_.StopEngine()) {
      case EngineStop::kStopped: engineStopped_ = true; break;
      case EngineStop::kCancelled: return NetworkToolResult::kCancelled;
      case EngineStop::kNotRunning: break;
    }
  }

  Step(tool::kOpeningPorts);
  Step(tool::kCheckingFirewall);
  const int rtpBase = settings_.GetSettingInt(nat::kSection, nat::kRtpPortBase, nat::kDefaultRtpPortBase);
  for (int i = 0; i < tool::kRtpPortsTested; ++i) {
    if (io_.Bind(rtpBase + i) != PortBind::kBound) continue;
    const PortTest test = TestPort(rtpBase + i);
    if (test == PortTest::kCancelled) return NetworkToolResult::kCancelled;
    if (test == PortTest::kGaveUp) break;
  }

  const int sipPort = BindSipPort();
  if (sipPort != 0) {
    const PortTest test = TestPort(sipPort);
    if (test == PortTest::kCancelled) return NetworkToolResult::kCancelled;
    if (test == PortTest::kPassed) {
      Log(platform::FormatText(tool::kSipPortOpen.data(), sipPort));
    } else {
      Log(platform::FormatText(tool::kSipPortMayBeBlocked.data(), sipPort), platform::kLogError);
    }
    Write(nat::kPort, std::to_string(sipPort));
  } else if (io_.Bind(0) != PortBind::kBound) {
    return NetworkToolResult::kEnded;  // no socket at all: nothing more can be tested
  }
  display_.SetFraction(kPortsTestedFraction);

  const std::string local = io_.LocalAddress();
  Log(std::string(tool::kLocalIp) + local);
  const std::optional<std::uint32_t> address = platform::ParseIpv4(local);
  if (!address || !platform::IsPrivateAddress(*address)) {
    Log(tool::kDirect);
    Log(std::string(tool::kExternalIp) + local);
    Write(nat::kUpnp, "0");
    Write(nat::kStun, "0");
    Write(nat::kActive, "0");
    return NetworkToolResult::kFinished;
  }
  Log(tool::kBehindNat);
  Check check = StunCheck();
  if (check == Check::kCancelled) return NetworkToolResult::kCancelled;
  if (check == Check::kPassed) return NetworkToolResult::kFinished;
  display_.SetFraction(kBeforeUpnpFraction);
  // Without a free port the gateway is asked for the one `Port` keeps.
  check = UpnpCheck(sipPort != 0 ? sipPort : settings_.GetSettingInt(nat::kSection, nat::kPort, nat::kDefaultSipPort),
                    local);
  if (check == Check::kCancelled) return NetworkToolResult::kCancelled;
  if (check == Check::kPassed) return NetworkToolResult::kFinished;
  Log(tool::kSymmetricSlow);
  Write(nat::kActive, "1");
  display_.ShowMessage(tool::kManualTitle, tool::kManualText);
  return NetworkToolResult::kFinished;
}

NetworkTool::PortTest NetworkTool::TestPort(int port) {
  const std::size_t count = std::min<std::size_t>(servers_.size(), tool::kPortTestServers);
  for (;;) {
    for (std::size_t i = 0; i < count; ++i) {
      const StunOutcome outcome = io_.QueryStun(servers_[i]);
      if (outcome.status == StunStatus::kStopped) return PortTest::kCancelled;
      if (outcome.status == StunStatus::kMapped) return PortTest::kPassed;
    }
    switch (io_.AskFirewall(port)) {
      case FirewallAnswer::kYes: continue;
      case FirewallAnswer::kNo: return PortTest::kGaveUp;
      case FirewallAnswer::kCancel: return PortTest::kCancelled;
    }
  }
}

int NetworkTool::BindSipPort() {
  const int first = settings_.GetSettingInt(nat::kSection, nat::kPort, nat::kDefaultSipPort);
  for (int port = first; port > 0 && port <= tool::kLastSipPort; ++port) {
    switch (io_.Bind(port)) {
      case PortBind::kBound: return port;
      case PortBind::kInUse: Log(platform::FormatText(tool::kPortInUse.data(), port)); break;
      case PortBind::kFailed: port = tool::kLastSipPort; break;  // not a busy port: no use walking on
    }
  }
  Log(platform::FormatText(tool::kNoFreeSipPort.data(), first, tool::kLastSipPort, first), platform::kLogError);
  return 0;
}

NetworkTool::Check NetworkTool::StunCheck() {
  Log(tool::kCheckingStun);
  struct Answer {
    std::uint32_t ms;
    std::size_t index;
  };
  std::vector<Answer> answers;
  for (std::size_t i = 0; i < servers_.size(); ++i) {
    const std::uint32_t sent = clock_.NowMs();
    const StunOutcome outcome = io_.QueryStun(servers_[i]);
    if (outcome.status == StunStatus::kStopped) return Check::kCancelled;
    if (outcome.status == StunStatus::kMapped) answers.push_back({clock_.NowMs() - sent, i});
  }
  if (answers.empty()) {
    Log(tool::kNoStunReplies);
    Write(nat::kStun, "0");
    return Check::kFailed;
  }
  // Stable: of two equally fast servers the earlier in the list comes first.
  std::stable_sort(answers.begin(), answers.end(), [](const Answer& a, const Answer& b) { return a.ms < b.ms; });
  const std::string& fastest = servers_[answers[0].index];
  const std::string* second = answers.size() > 1 ? &servers_[answers[1].index] : nullptr;
  Check test = SymmetricTest(fastest);
  if (test == Check::kFailed && second != nullptr) test = SymmetricTest(*second);
  if (test == Check::kCancelled) return Check::kCancelled;
  if (test == Check::kFailed) {
    Log(tool::kStunSymmetric);
    Write(nat::kStun, "0");
    return Check::kFailed;
  }
  Write(nat::kStun, "1");
  Write(nat::kActive, "0");
  Write(nat::kStunServer1, fastest);
  if (second != nullptr) Write(nat::kStunServer2, *second);  // one server: the second keeps its value
  return Check::kPassed;
}

NetworkTool::Check NetworkTool::SymmetricTest(const std::string& server) {
  const ChangeIpReply reply = io_.QueryChangeIp(server);
  if (reply.status == StunStatus::kStopped) return Check::kCancelled;
  // Only an answer from another address proves the server could reach us from there.
  if (reply.status != StunStatus::kMapped || reply.from.address == reply.server.address) return Check::kFailed;
  return Check::kPassed;
}

NetworkTool::Check NetworkTool::UpnpCheck(int sipPort, const std::string& localAddress) {
  Log(tool::kCheckingUpnp);
  const std::uint16_t internal = static_cast<std::uint16_t>(sipPort);
  const std::uint16_t external = UpnpExternalPort(platform::ParseIpv4(localAddress).value_or(0), internal, 1);
  const UpnpOutcome outcome = io_.MapPort(external, internal, localAddress);
  if (outcome.status == UpnpStatus::kStopped) return Check::kCancelled;
  if (outcome.status == UpnpStatus::kMapped) {
    Log(tool::kUpnpFound);
    Log(std::string(tool::kExternalIp) + outcome.externalAddress);
    Write(nat::kUpnp, "1");
    Write(nat::kStun, "0");
    Write(nat::kActive, "0");
    return Check::kPassed;
  }
  Log(outcome.status == UpnpStatus::kRefused ? tool::kUpnpDisabled : tool::kNoUpnp);
  Write(nat::kUpnp, "0");
  return Check::kFailed;
}

}  // namespace corvina::call
