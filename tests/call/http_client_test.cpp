// Proves: an HTTP exchange with a server that accepts but never answers ends at its time-out
// as a failure, and the caller's stop event ends it at once as stopped (left set).
#include <gtest/gtest.h>

#include "call/http_client.h"
#include "platform/event.h"
#include "platform/name_resolver.h"
#include "platform/tcp_listener.h"

namespace corvina::call {
namespace {

TEST(HttpClient, SilentServerTimesOutAndStopCutsShort) {
  platform::TcpListener silent;  // the kernel completes connections; nobody ever answers
  std::string error;
  ASSERT_TRUE(silent.Listen("127.0.0.1:0", &error)) << error;
  const std::string& bound = silent.Address();
  const platform::SocketAddress server{0x7F000001,
                                       static_cast<std::uint16_t>(std::stoi(bound.substr(bound.rfind(':') + 1)))};
  EXPECT_EQ(HttpExchange(server, "GET / HTTP/1.1\r\n\r\n", 8192, 50, nullptr).status, HttpStatus::kFailed);

  platform::Event stop(platform::Event::Mode::kManualReset, true);
  EXPECT_EQ(HttpExchange(server, "GET / HTTP/1.1\r\n\r\n", 8192, 60000, &stop).status, HttpStatus::kStopped);
  EXPECT_TRUE(stop.IsSet());
}

}  // namespace
}  // namespace corvina::call
