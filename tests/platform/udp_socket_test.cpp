// Descriptor ownership, and UDP sockets on loopback: binding and the port walk, receiving with sender and time-out,
// truncation, the type-of-service byte, and sends racing a rebind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/udp_socket.h"

namespace corvina::platform {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

std::string Text(const std::array<std::uint8_t, 64>& buffer, const ReceiveResult& r) {
  return std::string(reinterpret_cast<const char*>(buffer.data()), r.size);
}

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFd, ClosesWhatItOwnsExactlyOnce) {
  int raw[2];
  ASSERT_EQ(pipe(raw), 0);
  {
    UniqueFd a(raw[0]);
    UniqueFd b(std::move(a));
    EXPECT_FALSE(a.Valid());
    EXPECT_EQ(b.Get(), raw[0]);
    UniqueFd c(raw[1]);
    const int released = c.Release();
    EXPECT_FALSE(c.Valid());
    c = UniqueFd(released);
    EXPECT_TRUE(IsOpen(raw[0]) && IsOpen(raw[1]));
  }
  EXPECT_FALSE(IsOpen(raw[0]));
  EXPECT_FALSE(IsOpen(raw[1]));
}

TEST(UdpSocket, CarriesADatagramWithItsSenderAndTellsOverlongOnes) {
  UdpSocket a;
  UdpSocket b;
  BindResult ra = a.Bind({kLoopback, 0});
  BindResult rb = b.Bind({kLoopback, 0});
  ASSERT_TRUE(ra.Ok() && rb.Ok());
  ASSERT_NE(ra.local.port, 0);
  EXPECT_EQ(a.Local(), ra.local);

  std::array<std::uint8_t, 64> buffer{};
  EXPECT_EQ(b.ReceiveNow(buffer).status, ReceiveStatus::kNothing);
  EXPECT_EQ(b.ReceiveFrom(buffer, 0).status, ReceiveStatus::kNothing);

  ASSERT_EQ(a.SendTo(rb.local, "hello"), SocketError::kNone);
  ReceiveResult r = b.ReceiveFrom(buffer, 5000);
  ASSERT_EQ(r.status, ReceiveStatus::kDatagram);
  EXPECT_EQ(Text(buffer, r), "hello");
  EXPECT_FALSE(r.truncated);
  EXPECT_EQ(r.from, ra.local);

  ASSERT_EQ(a.SendTo(rb.local, std::string(100, 'x')), SocketError::kNone);
  r = b.ReceiveFrom(buffer, 5000);
  ASSERT_EQ(r.status, ReceiveStatus::kDatagram);
  EXPECT_TRUE(r.truncated);
  EXPECT_EQ(r.size, buffer.size());
}

TEST(UdpSocket, AStopEventCutsTheWaitShortAndWinsOverADatagram) {
  UdpSocket a;
  ASSERT_TRUE(a.Bind({kLoopback, 0}).Ok());
  Event stop(Event::Mode::kManualReset, true);
  std::array<std::uint8_t, 64> buffer{};
  EXPECT_EQ(a.ReceiveFrom(buffer, kWaitInfinite, &stop).status, ReceiveStatus::kStopped);
  ASSERT_EQ(a.SendTo(*a.Local(), "x"), SocketError::kNone);
  EXPECT_EQ(a.ReceiveFrom(buffer, kWaitInfinite, &stop).status, ReceiveStatus::kStopped);
  stop.Reset();
  EXPECT_EQ(a.ReceiveFrom(buffer, kWaitInfinite, &stop).status, ReceiveStatus::kDatagram);
}

TEST(UdpSocket, ClosedSocketRefusesSendsAndReceives) {
  UdpSocket a;
  std::array<std::uint8_t, 64> buffer{};
  EXPECT_EQ(a.SendTo({kLoopback, 9}, "x"), SocketError::kClosed);
  EXPECT_EQ(a.ReceiveFrom(buffer, 0).status, ReceiveStatus::kFailed);
  ASSERT_TRUE(a.Bind({kLoopback, 0}).Ok());
  a.Close();
  EXPECT_FALSE(a.IsOpen());
  EXPECT_EQ(a.SendTo({kLoopback, 9}, "x"), SocketError::kClosed);
}

TEST(UdpSocket, PortInUseIsReportedOrWalkedPast) {
  UdpSocket holder;
  BindResult held = holder.Bind({kLoopback, 0});
  ASSERT_TRUE(held.Ok());
  const std::uint16_t port = held.local.port;

  UdpSocket s;
  EXPECT_EQ(s.Bind({kLoopback, port}).error, SocketError::kInUse);
  EXPECT_FALSE(s.IsOpen());
  EXPECT_EQ(s.Bind({kLoopback, port}, PortWalk{1, port}).error, SocketError::kInUse) << "the last port is the limit";

  for (int step : {1, 2}) {
    BindResult r = s.Bind({kLoopback, port}, PortWalk{step});
    if (port + step > 65535) continue;
    ASSERT_TRUE(r.Ok()) << "step " << step << " error " << int(r.error) << " os " << r.osError << " port " << port;
    EXPECT_GT(r.local.port, port);
    EXPECT_EQ((r.local.port - port) % step, 0);
  }
}

TEST(UdpSocket, PortWalkStopsAt65535InsteadOfWrappingToZero) {
  // The holder may fail when another program has the port: then it is taken all the same.
  UdpSocket holder;
  holder.Bind({kLoopback, 65535});
  UdpSocket s;
  BindResult r = s.Bind({kLoopback, 65535}, PortWalk{1});
  EXPECT_EQ(r.error, SocketError::kInUse);
  EXPECT_FALSE(s.IsOpen());
  r = s.Bind({kLoopback, 65535}, PortWalk{2, 65535});
  EXPECT_EQ(r.error, SocketError::kInUse);
  EXPECT_FALSE(s.IsOpen());
}

TEST(UdpSocket, TypeOfServiceIsSetAndSurvivesARebind) {
  UdpSocket s;
  ASSERT_TRUE(s.Bind({kLoopback, 0}).Ok());
  ASSERT_TRUE(s.SetTypeOfService(kVoiceTypeOfService, kVoiceSocketPriority));
  ASSERT_TRUE(s.Bind({kLoopback, 0}).Ok());
  int tos = 0;
  int priority = 0;
  socklen_t len = sizeof tos;
  ASSERT_EQ(getsockopt(s.Fd(), IPPROTO_IP, IP_TOS, &tos, &len), 0);
  len = sizeof priority;
  ASSERT_EQ(getsockopt(s.Fd(), SOL_SOCKET, SO_PRIORITY, &priority, &len), 0);
  EXPECT_EQ(tos, kVoiceTypeOfService);
  EXPECT_EQ(priority, kVoiceSocketPriority);
}

TEST(UdpSocket, AskedReceiveBufferSurvivesARebind) {
  UdpSocket plain;
  ASSERT_TRUE(plain.Bind({kLoopback, 0}).Ok());
  int defaultSize = 0;
  socklen_t len = sizeof defaultSize;
  ASSERT_EQ(getsockopt(plain.Fd(), SOL_SOCKET, SO_RCVBUF, &defaultSize, &len), 0);
  UdpSocket s;
  ASSERT_TRUE(s.SetReceiveBuffer(defaultSize * 2));  // before the first Bind: kept for it
  ASSERT_TRUE(s.Bind({kLoopback, 0}).Ok());
  ASSERT_TRUE(s.Bind({kLoopback, 0}).Ok());
  int size = 0;
  ASSERT_EQ(getsockopt(s.Fd(), SOL_SOCKET, SO_RCVBUF, &size, &len), 0);
  EXPECT_GT(size, defaultSize);
}

// Senders keep sending while the owner closes and rebinds, and a bystander socket (on another
// loopback address) opened after every close is likely to get the freed descriptor number. A
// send that used a stale number would leave from the bystander's address: none may arrive.
TEST(UdpSocket, SendsRacingARebindNeverLeaveFromAReusedDescriptor) {
  constexpr std::uint32_t kBystanderAddress = 0x7F000002;
  UdpSocket receiver;
  BindResult rr = receiver.Bind({kLoopback, 0});
  ASSERT_TRUE(rr.Ok());
  UdpSocket shared;
  ASSERT_TRUE(shared.Bind({kLoopback, 0}).Ok());

  std::atomic<bool> done{false};
  std::atomic<int> sent{0};
  std::atomic<int> received{0};
  std::atomic<int> strays{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 2; ++i) {
    threads.emplace_back([&] {
      while (!done.load()) {
        if (shared.SendTo(rr.local, "s") == SocketError::kNone) ++sent;
      }
    });
  }
  threads.emplace_back([&] {
    std::array<std::uint8_t, 64> buffer{};
    while (!done.load()) {
      ReceiveResult r = receiver.ReceiveFrom(buffer, 50);
      if (r.status != ReceiveStatus::kDatagram) continue;
      ++received;
      if (r.from.address == kBystanderAddress) ++strays;
    }
  });
  std::vector<UdpSocket> bystanders(500);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (UdpSocket& bystander : bystanders) {
    // Let the senders through between rebinds, so that sends are in flight at every close.
    for (int before = sent.load(); sent.load() == before && std::chrono::steady_clock::now() < deadline;) {
      std::this_thread::yield();
    }
    shared.Close();
    ASSERT_TRUE(bystander.Bind({kBystanderAddress, 0}).Ok());
    ASSERT_TRUE(shared.Bind({kLoopback, 0}).Ok());
  }
  done = true;
  for (auto& t : threads) t.join();
  EXPECT_EQ(strays.load(), 0) << "sends left through a bystander's descriptor";
  EXPECT_GT(received.load(), 0);
  std::printf("sent %d, received %d\n", sent.load(), received.load());
}

}  // namespace
}  // namespace corvina::platform
