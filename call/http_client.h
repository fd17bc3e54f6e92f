// A small HTTP/1.1 client for the gateway's device description and SOAP control: one request
// per connection, a time-out for connect, for send and for the whole reply, a cap on the reply
// size, and the caller's stop event.
#pragma once

#include <cstddef>
#include <string_view>

#include "call/upnp_readers.h"
#include "platform/socket_address.h"

namespace corvina::platform {
class Event;
}

namespace corvina::call {

inline constexpr int kHttpTimeoutMs = 3000;

enum class HttpStatus { kOk, kFailed, kStopped };

struct HttpOutcome {
  HttpStatus status = HttpStatus::kFailed;
  HttpReply reply;  // valid when kOk
};

// Sends `request` to `server` and reads the reply; a reply cut at `maxBytes` is read as if the
// server had closed there.
HttpOutcome HttpExchange(const platform::SocketAddress& server, std::string_view request, std::size_t maxBytes,
                         int timeoutMs, platform::Event* stop);

}  // namespace corvina::call
