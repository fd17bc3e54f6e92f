#include "call/network_tool_worker.h"

#include <cstdlib>

#include "call/nat_texts.h"
#include "call/network_tool_texts.h"
#include "call/socket_channel.h"
#include "call/stun_query.h"
#include "platform/host_port.h"
#include "platform/local_address.h"
#include "platform/udp_socket.h"

namespace corvina::call {
namespace {

// The tool's transactions; the engine is stopped while it runs, so no other query shares them.
std::atomic<std::uint32_t> toolTransaction{0x10000};

// The io on the worker's thread: one test socket at a time, every wait ending on `stop`.
class SocketIo final : public NetworkToolIo {
 public:
  SocketIo(platform::NameResolver& resolver, const platform::TickClock& clock, platform::Event& stop,
           const NetworkToolHooks& hooks, const UpnpOptions& upnp)
      : resolver_(resolver), clock_(clock), stop_(stop), hooks_(hooks), upnp_(upnp) {}

  bool InternetConnected(std::string_view firstServer) override {
    const auto server = Resolve(firstServer);
    return server && platform::SourceAddressToward(server->address).has_value();
  }
  bool EngineRunning() override { return hooks_.engineRunning && hooks_.engineRunning(); }
  EngineStop StopEngine() override { return hooks_.stopEngine ? hooks_.stopEngine(stop_) : EngineStop::kNotRunning; }
  void StartEngine() override {
    if (hooks_.startEngine) hooks_.startEngine();
  }
  PortBind Bind(int port) override {
    const platform::BindResult bound = socket_.Bind({0, static_cast<std::uint16_t>(port)});
    if (bound.Ok()) return PortBind::kBound;
    return bound.error == platform::SocketError::kInUse ? PortBind::kInUse : PortBind::kFailed;
  }
  void CloseSocket() override { socket_.Close(); }
  StunOutcome QueryStun(std::string_view server) override {
    if (stop_.IsSet()) return {StunStatus::kStopped, {}, {}};
    const auto address = Resolve(server);
    if (!address) return {};
    SocketChannel channel(socket_, &stop_);
    return RunStunQuery(channel, clock_, *address, ++toolTransaction, {});
  }
  ChangeIpReply QueryChangeIp(std::string_view server) override {
    if (stop_.IsSet()) return {StunStatus::kStopped, {}, {}};
    const auto address = Resolve(server);
    if (!address) return {};
    SocketChannel channel(socket_, &stop_);
    const StunOutcome outcome = RunChangeIpQuery(channel, clock_, *address, ++toolTransaction);
    return {outcome.status, *address, outcome.from};
  }
  UpnpOutcome MapPort(std::uint16_t externalPort, std::uint16_t internalPort,
                      std::string_view internalClient) override {
    platform::UdpSocket ssdp;
    if (!ssdp.Bind({}).Ok()) return {};
    SocketChannel channel(ssdp, &stop_);
    UpnpGateway gateway(resolver_, upnp_);
    return gateway.MapPort(channel, &stop_, externalPort, internalPort, internalClient);
  }
  std::string LocalAddress() override { return platform::LocalAddress(); }
  FirewallAnswer AskFirewall(int port) override {
    return hooks_.askFirewall ? hooks_.askFirewall(port, stop_) : FirewallAnswer::kNo;
  }

 private:
  std::optional<platform::SocketAddress> Resolve(std::string_view server) {
    const platform::HostPort split = platform::SplitHostPort(server, nat::kStunPort);
    const auto address = resolver_.ResolveIpv4(split.host);
    if (!address) return std::nullopt;
    return platform::SocketAddress{*address, split.port};
  }

  platform::NameResolver& resolver_;
  const platform::TickClock& clock_;
  platform::Event& stop_;
  const NetworkToolHooks& hooks_;
  const UpnpOptions& upnp_;
  platform::UdpSocket socket_;
};

}  // namespace

NetworkToolWorker::NetworkToolWorker(platform::Settings& settings, platform::LogSink& log,
                                     platform::NameResolver& resolver, const platform::TickClock& clock,
                                     NetworkToolDisplay& display, NetworkToolHooks hooks,
                                     std::vector<std::string> servers, const UpnpOptions& upnp)
    : WorkerThread("network tool"),
      settings_(settings),
      log_(log),
      resolver_(resolver),
      clock_(clock),
      display_(display),
      hooks_(std::move(hooks)),
      servers_(std::move(servers)),
      upnp_(upnp) {}

NetworkToolWorker::~NetworkToolWorker() { StopAndJoin(); }

void NetworkToolWorker::Run() {
  SocketIo io(resolver_, clock_, StopEvent(), hooks_, upnp_);
  NetworkTool networkTool(settings_, log_, clock_, io, display_, servers_);
  result_ = networkTool.Run();
}

std::vector<std::string> ProgramNetworkToolServers() {
  const char* list = std::getenv(tool::kStunServersVariable);
  return NetworkToolServers(list != nullptr ? list : "");
}

}  // namespace corvina::call
