// Any bytes as what a gateway sends back: an SSDP reply, a device description, an HTTP reply
// read at every stage of its arrival, and a SOAP reply. The readers must stay inside their
// input and never give back more than the input held.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "call/upnp_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvina::call;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  if (auto location = FindSsdpLocation(text)) {
    if (location->empty() || location->size() > kMaxLocationChars) std::abort();
    if (auto url = SplitHttpUrl(*location)) {
      if (url->host.empty() || url->port == 0 || url->path.empty()) std::abort();
    }
  }
  HttpUrl base;
  base.host = "127.0.0.1";
  for (std::string_view service : {"WANIPConnection:1", "WANPPPConnection:1"}) {
    if (auto control = FindControlUrl(text, service, base)) {
      if (control->path.size() > size + 1) std::abort();
    }
  }
  for (std::string_view element : {"NewConnectionType", "NewNATEnabled", "NewExternalIPAddress"}) {
    if (auto value = SoapElementText(text, element)) {
      if (value->size() > size) std::abort();
    }
  }
  // The reply as it might arrive: in two pieces, then whole and closed.
  for (std::size_t cut : {size / 2, size}) {
    for (bool closed : {false, true}) {
      HttpReply reply;
      if (ReadHttpReply(text.substr(0, cut), closed, &reply) == HttpReadState::kDone) {
        if (reply.body.size() > cut || reply.status < 0 || reply.status > 999) std::abort();
      }
    }
  }
  return 0;
}
