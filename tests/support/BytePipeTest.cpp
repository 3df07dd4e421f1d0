#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "support/NesBytePipe.h"

namespace {

using namespace std::chrono_literals;

const std::uint8_t kTen[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

class CountingNotifier : public INesSocketNotifier {
 public:
  void OnDataArrived() override { ++calls; }
  std::atomic<int> calls{0};
};

template <typename Predicate>
bool WaitFor(Predicate predicate, std::chrono::milliseconds within = 3000ms) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// A server pipe on a free port, opened on another thread while clients connect.
struct OpeningServer {
  CNesBytePipeSocket pipe{0, "127.0.0.1", true};
  std::future<bool> opened = std::async(std::launch::async, [this] { return pipe.Open(); });
  unsigned Port() {
    WaitFor([&] { return pipe.nPort() != 0; });
    return pipe.nPort();
  }
};

}  // namespace

TEST(BytePipeTest, TenBytesCrossAPseudoTerminalPair) {
  int master = -1, slave = -1;
  char name[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  CNesBytePipeComPort port(std::string(name), 115200, 8, 0, 0);
  ASSERT_TRUE(port.Open());
  int count = 10;
  EXPECT_TRUE(port.bSendSync(kTen, &count));
  EXPECT_EQ(count, 10);
  std::uint8_t got[10] = {};
  std::size_t have = 0;
  while (have < 10) {
    const ssize_t n = ::read(master, got + have, 10 - have);
    ASSERT_GT(n, 0);
    have += static_cast<std::size_t>(n);
  }
  EXPECT_EQ(std::memcmp(got, kTen, 10), 0);

  ASSERT_EQ(::write(master, kTen, 10), 10);
  std::uint8_t back[16] = {};
  count = 10;
  EXPECT_TRUE(port.bReceiveSync(back, &count));
  EXPECT_EQ(count, 10);
  EXPECT_EQ(std::memcmp(back, kTen, 10), 0);
  count = 4;  // nothing more arrives within the read time-out
  EXPECT_FALSE(port.bReceiveSync(back, &count));
  EXPECT_EQ(count, 0);
  ::close(master);
  ::close(slave);
}

TEST(BytePipeTest, PortsAndSocketsThatCannotOpenSaySo) {
  EXPECT_FALSE(CNesBytePipeComPort("/dev/nes-no-such-port", 9600, 8, 0, 0).Open());
  EXPECT_FALSE(CNesBytePipeComPort(0u, 9600, 8, 0, 0).Open());
  CNesBytePipeSocket refused(1, "127.0.0.1", false);  // nobody listens on port 1
  EXPECT_FALSE(refused.Open());
  EXPECT_NE(refused.Socket().nLastError(), 0u);
  int count = 3;
  EXPECT_FALSE(refused.bSendSync(kTen, &count));
}

TEST(BytePipeTest, ClientNotifierFiresWhenDataArrives) {
  OpeningServer server;
  CountingNotifier notifier;
  CNesBytePipeSocket client(server.Port(), "127.0.0.1", false);
  client.SetNotify(&notifier);  // before Open, as a caller may
  ASSERT_TRUE(client.Open());
  ASSERT_TRUE(server.opened.get());
  int count = 10;
  ASSERT_TRUE(server.pipe.bSendSync(kTen, &count));
  EXPECT_EQ(count, 10);
  ASSERT_TRUE(WaitFor([&] { return notifier.calls > 0; }));
  std::uint8_t got[32] = {};
  count = sizeof got;
  ASSERT_TRUE(WaitFor([&] {
    count = sizeof got;
    return client.bReceiveSync(got, &count) && count == 10;
  }));
  EXPECT_EQ(std::memcmp(got, kTen, 10), 0);
  EXPECT_EQ(notifier.calls, 1);  // one arrival, one call
}

TEST(BytePipeTest, ASecondClientCannotTakeTheServerOver) {
  OpeningServer server;
  const unsigned port = server.Port();
  CNesBytePipeSocket first(port, "127.0.0.1", false);
  ASSERT_TRUE(first.Open());
  ASSERT_TRUE(server.opened.get());
  CNesBytePipeSocket second(port, "127.0.0.1", false);
  ASSERT_TRUE(second.Open());  // the connect completes, then the server closes it
  std::uint8_t got[16] = {};
  int count = 0;
  EXPECT_TRUE(WaitFor([&] {
    count = sizeof got;
    return second.bReceiveSync(got, &count) && count == 0;  // closed by the server
  }));
  count = 10;
  ASSERT_TRUE(server.pipe.bSendSync(kTen, &count));
  EXPECT_TRUE(WaitFor([&] {
    count = sizeof got;
    return first.bReceiveSync(got, &count) && count == 10;
  }));
}
