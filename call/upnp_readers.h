// Pure readers and writers of the gateway client's texts: the LOCATION of an SSDP reply, URL
// splitting, the control URL of a service in a device description, the text of one SOAP
// reply element, HTTP/1.1 replies (length-delimited, chunked or ended by close), and the SOAP
// and HTTP requests. None of them reads outside its input, whatever the input holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvina::call {

inline constexpr std::size_t kMaxLocationChars = 259;

// The value of the first "LOCATION:" field (any case), leading blanks dropped, up to CR or LF
// and at most 259 characters; nothing when absent or empty.
std::optional<std::string> FindSsdpLocation(std::string_view reply);

struct HttpUrl {
  std::string host;
  std::uint16_t port = 80;
  std::string path = "/";
  std::string HostPort() const { return host + ":" + std::to_string(port); }
};

// "http://host[:port][/path]"; nothing for other schemes, an empty host or a bad port.
std::optional<HttpUrl> SplitHttpUrl(std::string_view url);

// The control URL of `service` ("WANIPConnection:1") in a device description: the first
// "<controlURL>" value after the service's "<serviceType>", resolved against `base` (the URL the
// description came from) when it is a path.
std::optional<HttpUrl> FindControlUrl(std::string_view description, std::string_view service, const HttpUrl& base);

// The text of the first `<element ...>` up to the next '<'; nothing when the element is absent
// or never closed.
std::optional<std::string> SoapElementText(std::string_view reply, std::string_view element);

struct HttpReply {
  int status = 0;
  std::string body;
};

enum class HttpReadState { kNeedMore, kDone, kBad };

// Reads what has arrived so far of an HTTP/1.x reply. kDone fills `reply` once the body is
// complete by Content-Length, by the last chunk, or by `closed` when neither is given.
HttpReadState ReadHttpReply(std::string_view received, bool closed, HttpReply* reply);

std::string BuildHttpGet(const HttpUrl& url);
std::string BuildSoapRequest(const HttpUrl& control, std::string_view service, std::string_view action,
                             std::string_view arguments);
std::string BuildAddPortMappingArguments(std::uint16_t externalPort, std::uint16_t internalPort,
                                         std::string_view internalClient);

}  // namespace corvina::call
