#include "call/http_client.h"

#include <chrono>
#include <string>

#include "platform/tcp_connection.h"

namespace corvina::call {
namespace {

HttpOutcome Ended(platform::NetResult result) {
  return {result == platform::NetResult::kStopped ? HttpStatus::kStopped : HttpStatus::kFailed, {}};
}

}  // namespace

HttpOutcome HttpExchange(const platform::SocketAddress& server, std::string_view request, std::size_t maxBytes,
                         int timeoutMs, platform::Event* stop) {
  platform::TcpConnection connection;
  platform::NetResult result = connection.Connect(server, timeoutMs, stop);
  if (result != platform::NetResult::kOk) return Ended(result);
  result = connection.SendAll(request, timeoutMs, stop);
  if (result != platform::NetResult::kOk) return Ended(result);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string received;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    bool closed = false;
    if (left > 0) {
      result = connection.ReceiveSome(&received, maxBytes, static_cast<int>(left), stop, &closed);
      if (result == platform::NetResult::kStopped || result == platform::NetResult::kFailed) return Ended(result);
      if (result == platform::NetResult::kTimedOut) closed = true;
    } else {
      closed = true;
    }
    if (received.size() >= maxBytes) closed = true;
    HttpOutcome outcome;
    const HttpReadState state = ReadHttpReply(received, closed, &outcome.reply);
    if (state == HttpReadState::kDone) {
      outcome.status = HttpStatus::kOk;
      return outcome;
    }
    if (state == HttpReadState::kBad || closed) return {HttpStatus::kFailed, {}};
  }
}

}  // namespace corvina::call
