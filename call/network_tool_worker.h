// The network setup tool on a worker thread of its own: the thread owns the test socket and
// answers the tool's io with the real STUN query, the change-IP request, the gateway client and
// the route check. What needs the owner (stopping and starting the SIP engine, the user's answer
// to the firewall question) goes through hooks; the owner runs them on its own thread.
//
// Cancel() sets the thread's stop event: every STUN, gateway and hook wait ends on it at once,
// so the tool ends within one wait's reach of the socket (milliseconds) and Join() is bounded.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "call/network_tool.h"
#include "call/upnp_gateway.h"
#include "platform/name_resolver.h"
#include "platform/worker_thread.h"

namespace corvina::call {

struct NetworkToolHooks {
  // Whether the SIP engine runs (null: there is none).
  std::function<bool()> engineRunning;
  // Stops the SIP engine; may wait, ending early (kCancelled) once `stop` is set. Null: no engine.
  std::function<EngineStop(platform::Event& stop)> stopEngine;
  std::function<void()> startEngine;
  // The firewall question for `port`; kCancel once `stop` is set.
  std::function<FirewallAnswer(int port, platform::Event& stop)> askFirewall;
};

class NetworkToolWorker final : public platform::WorkerThread {
 public:
  // All references outlive the worker; `display` and `log` are called on the worker's thread.
  NetworkToolWorker(platform::Settings& settings, platform::LogSink& log, platform::NameResolver& resolver,
                    const platform::TickClock& clock, NetworkToolDisplay& display, NetworkToolHooks hooks,
                    std::vector<std::string> servers, const UpnpOptions& upnp = {});
  ~NetworkToolWorker() override;

  void Cancel() { RequestStop(); }
  // Valid once the thread has ended.
  NetworkToolResult Result() const { return result_.load(); }

 protected:
  void Run() override;

 private:
  platform::Settings& settings_;
  platform::LogSink& log_;
  platform::NameResolver& resolver_;
  const platform::TickClock& clock_;
  NetworkToolDisplay& display_;
  NetworkToolHooks hooks_;
  std::vector<std::string> servers_;
  UpnpOptions upnp_;
  std::atomic<NetworkToolResult> result_{NetworkToolResult::kCancelled};  // written by the thread
};

// The server list as the program uses it: the environment's CORVINA_STUN_SERVERS, else the built-in one.
std::vector<std::string> ProgramNetworkToolServers();

}  // namespace corvina::call
