// The network setup tool's logic: it tests the network once and stores the NAT settings that
// public-address selection then uses (`STUN`, `STUNServer1`/`2`, `UPNP`, `Active`) and a free
// SIP `Port`. Everything it touches outside itself sits behind NetworkToolIo (sockets, STUN and
// gateway queries, the engine, the user's answer); what it shows goes to NetworkToolDisplay and
// the activity log; time comes from the clock. Tests drive it with fakes on a fake clock; the
// real program runs it on a worker thread (network_tool_worker.h).
//
// Every STUN and gateway wait can be cut short by the user's Cancel (the io reports kStopped);
// the tool then ends at once, keeping what it wrote so far. Once it has stopped the SIP engine it
// asks for the engine to be started again on every way out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "call/public_address_selection.h"
#include "call/stun_query.h"
#include "platform/clock.h"
#include "platform/log_sink.h"
#include "platform/settings.h"

namespace corvina::call {

enum class FirewallAnswer { kYes, kNo, kCancel };
enum class PortBind { kBound, kInUse, kFailed };
enum class EngineStop { kNotRunning, kStopped, kCancelled };

// The change-IP request's outcome: the server's address as resolved, and where the answer came from.
struct ChangeIpReply {
  StunStatus status = StunStatus::kFailed;  // kMapped: an answer arrived
  platform::SocketAddress server;
  platform::SocketAddress from;
};

class NetworkToolIo {
 public:
  virtual ~NetworkToolIo() = default;
  // True when the network routes toward the first STUN server.
  virtual bool InternetConnected(std::string_view firstServer) = 0;
  virtual bool EngineRunning() = 0;
  virtual EngineStop StopEngine() = 0;
  virtual void StartEngine() = 0;
  // Binds the test socket to `port` (0: any free port), closing the one before.
  virtual PortBind Bind(int port) = 0;
  virtual void CloseSocket() = 0;
  // A binding query from the test socket ("host" or "host:port"); a name that does not resolve fails.
  virtual StunOutcome QueryStun(std::string_view server) = 0;
  // The change-IP request from the test socket.
  virtual ChangeIpReply QueryChangeIp(std::string_view server) = 0;
  virtual UpnpOutcome MapPort(std::uint16_t externalPort, std::uint16_t internalPort,
                              std::string_view internalClient) = 0;
  virtual std::string LocalAddress() = 0;
  // The "Firewall Blocking Ports" question for `port`; kCancel also when the tool was cancelled.
  virtual FirewallAnswer AskFirewall(int port) = 0;
};

class NetworkToolDisplay {
 public:
  virtual ~NetworkToolDisplay() = default;
  virtual void ShowStep(std::string_view text) = 0;
  virtual void SetFraction(double fraction) = 0;
  // The closing message box; the tool ends after it.
  virtual void ShowMessage(std::string_view title, std::string_view text) = 0;
};

enum class NetworkToolResult { kFinished, kEnded, kCancelled };

// The STUN server list: `override` (comma separated, when not empty) or the built-in ten.
std::vector<std::string> NetworkToolServers(std::string_view override);

class NetworkTool {
 public:
  NetworkTool(platform::Settings& settings, platform::LogSink& log, const platform::TickClock& clock,
              NetworkToolIo& io, NetworkToolDisplay& display, std::vector<std::string> servers)
      : settings_(settings), log_(log), clock_(clock), io_(io), display_(display), servers_(std::move(servers)) {}

  // Runs the whole tool once.
  NetworkToolResult Run();

 private:
  enum class PortTest { kPassed, kGaveUp, kCancelled };
  enum class Check { kPassed, kFailed, kCancelled };

  NetworkToolResult Steps();
  PortTest TestPort(int port);
  // Binds the SIP port (walking past ports in use); the bound port, or 0 when none could be had.
  int BindSipPort();
  Check StunCheck();
  Check SymmetricTest(const std::string& server);
  Check UpnpCheck(int sipPort, const std::string& localAddress);
  void Step(std::string_view text);
  void Log(std::string_view text, std::uint8_t level = platform::kLogInfo);
  void Write(std::string_view name, std::string_view value);

  platform::Settings& settings_;
  platform::LogSink& log_;
  const platform::TickClock& clock_;
  NetworkToolIo& io_;
  NetworkToolDisplay& display_;
  std::vector<std::string> servers_;
  bool engineStopped_ = false;
};

}  // namespace corvina::call
