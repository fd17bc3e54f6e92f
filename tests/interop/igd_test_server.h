// A small Internet Gateway Device for tests: answers SSDP searches (unicast, or multicast when
// asked to join the group on an interface address), serves a device description with the IP
// and PPP connection services, and answers the four SOAP actions. Its answers can be turned
// into a refused mapping (SOAP fault), an unconfigured connection or NAT switched off.
// Everything runs on one thread of its own that stops within 50 ms.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvina::testing {

class IgdTestServer {
 public:
  struct Behaviour {
    std::string externalAddress = "203.0.113.7";
    bool refuseMapping = false;      // AddPortMapping answers a SOAP fault
    bool natEnabled = true;
    bool unconfigured = false;
    bool pppOnly = false;            // the description lists the PPP service only
  };

  explicit IgdTestServer(const Behaviour& behaviour) : behaviour_(behaviour) {}
  ~IgdTestServer() { Stop(); }

  // Binds SSDP to `ssdpPort` on every address (joining 239.255.255.250 on `multicastInterface`
  // when it is not 0) and HTTP to a free port on `httpAddress` (host byte order).
  bool Start(std::uint32_t httpAddress, std::uint16_t ssdpPort, std::uint32_t multicastInterface);
  void Stop();

  std::uint16_t SsdpPort() const { return ssdpPort_; }
  // SOAP actions seen, in order, as "Service#Action", and the bodies of AddPortMapping.
  std::vector<std::string> Actions();
  std::vector<std::string> Mappings();
  int Searches() const { return searches_.load(); }

 private:
  void Run();
  void AnswerSearch();
  void Serve(int client);
  std::string Answer(const std::string& request);

  Behaviour behaviour_;
  std::uint32_t httpAddress_ = 0;
  std::uint16_t httpPort_ = 0;
  std::uint16_t ssdpPort_ = 0;
  int udp_ = -1;
  int tcp_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<int> searches_{0};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> actions_;   // guarded by mutex_
  std::vector<std::string> mappings_;  // guarded by mutex_
};

}  // namespace corvina::testing
