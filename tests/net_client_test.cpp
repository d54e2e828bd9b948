#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/NetObjs.h"
#include "net/main_loop.h"
#include "support/fake_tcp_server.h"

namespace corvane {
namespace {

using test::TFakeTcpServer;

constexpr int kWait = 5000;

// A client whose callbacks are recorded, each checking that it runs on the main thread.
class ClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { SocketStartup(); }
  static void TearDownTestSuite() { SocketCleanup(); }
  void SetUp() override {
    client->OnConnect = [this](auto&, int c) { connects.push_back(loop.IsMainThread() ? c : -1); };
    client->OnRead = [this](TCustomClient&, const std::uint8_t* bytes, int count) {
      data += loop.IsMainThread() ? std::string(reinterpret_cast<const char*>(bytes), count) : "?";
    };
    client->OnDisconnect = [this](TCustomClient&) { disconnects += loop.IsMainThread() ? 1 : 100; };
  }
  bool RunUntil(const std::function<bool()>& done) { return loop.RunUntil(done, kWait); }
  bool Connect(int port) {
    client->Connect("127.0.0.1", port);
    return RunUntil([&] { return client->State() == TClientState::Connected; });
  }
  TMainLoop loop;
  std::vector<int> connects;
  std::string data;
  int disconnects = 0;
  std::unique_ptr<TCustomClient> client = std::make_unique<TCustomClient>(loop);
};

// Failed attempts are reported through OnConnect only and leave the client reusable; a
// Connect while busy does nothing, and each close gives exactly one OnDisconnect. (The
// loop runs a little at the end, so that a callback that should not come has its chance.)
TEST_F(ClientTest, FailedAttemptsConnectWhileBusyAndEachCloseGivesOneOnDisconnect) {
  TFakeTcpServer server;
  const int closed_port = TFakeTcpServer().Port();  // stopped again
  // A refused port, a host that gives no address, port 0.
  for (const auto& [host, port] :
       {std::pair{"127.0.0.1", closed_port}, {"", 6112}, {"127.0.0.1", 0}}) {
    client->Connect(host, port);
    ASSERT_TRUE(
        RunUntil([&, n = connects.size()] { return connects.size() > n && !client->Active(); }));
  }
  client->Connect("localhost", server.Port());  // a name, looked up
  ASSERT_TRUE(Connect(server.Port()));          // the second while the first is running
  client->Connect("127.0.0.1", server.Port());  // already connected
  ASSERT_TRUE(client->Send("ping", 4));
  ASSERT_TRUE(TFakeTcpServer::WaitFor([&] { return server.Received() == "ping"; }, kWait));
  server.Write("bye");
  server.CloseConnection();
  ASSERT_TRUE(RunUntil([&] { return disconnects == 1; }));
  EXPECT_FALSE(client->Send("x", 1)) << "no socket any more";
  ASSERT_TRUE(Connect(server.Port()));
  client->Disconnect();
  client->Disconnect();
  ASSERT_TRUE(RunUntil([&] { return disconnects == 2; }));
  loop.RunUntil([] { return false; }, 100);
  EXPECT_EQ(data, "bye") << "data sent before the close still arrives";
  EXPECT_EQ(connects, (std::vector<int>{kConnectFailed, kConnectNoAddress, kConnectFailed, 0, 0}));
  EXPECT_EQ(disconnects, 2);
  EXPECT_TRUE(TFakeTcpServer::WaitFor(
      [&] { return server.Accepted() == 2 && server.Closed() == 2; }, kWait));
}

// Sending from OnConnect works (the socket exists); a Disconnect from there is not lost; a
// Connect from OnDisconnect starts the next connection.
TEST_F(ClientTest, OwnerMayActFromInsideItsCallbacks) {
  TFakeTcpServer server;
  client->OnConnect = [&](TCustomClient& c, int) {
    c.Send("hello", 5);
    if (connects.emplace_back(0), connects.size() == 1) c.Disconnect();
  };
  client->OnDisconnect = [&](TCustomClient& c) {
    if (++disconnects == 1) c.Connect("127.0.0.1", server.Port());
  };
  client->Connect("127.0.0.1", server.Port());
  ASSERT_TRUE(
      RunUntil([&] { return connects.size() == 2 && client->State() == TClientState::Connected; }));
  EXPECT_EQ(disconnects, 1);
  EXPECT_TRUE(TFakeTcpServer::WaitFor(
      [&] { return server.Received().find("hello") != std::string::npos; }, kWait));
}

// The output leaves in order in passes of at most 1023 bytes, and what is queued gets a
// moment to leave before the client is destroyed.
TEST_F(ClientTest, BigSendLeavesInOrderInSmallPassesAndQueuedOutputBeforeDestruction) {
  TFakeTcpServer server;
  int most = 0;  // the observer runs on the client's thread, which ends with the client
  client->SetSendObserver([&](int n) { most = std::max(most, n); });
  std::string all;
  for (int i = 0; i < 3000; ++i) all += static_cast<char>(i * 7 + i / 256);
  ASSERT_TRUE(Connect(server.Port()));
  ASSERT_TRUE(client->Send(all.data(), static_cast<int>(all.size())));
  for (int i = 0; i < 50; ++i, all += "line\n") ASSERT_TRUE(client->Send("line\n", 5));
  client.reset();
  EXPECT_TRUE(TFakeTcpServer::WaitFor([&] { return server.Received() == all; }, kWait));
  EXPECT_EQ(most, 1023);
}

// Destroying the client while its thread waits to hand data to the main thread, or from its
// own callback, must not deadlock: alarm() ends the test program instead of hanging it.
TEST_F(ClientTest, DestroyingWithAHandOffPendingOrFromItsOwnCallbackDoesNotDeadlock) {
  TFakeTcpServer server;
  ASSERT_TRUE(Connect(server.Port()));
  ASSERT_TRUE(TFakeTcpServer::WaitFor([&] { return server.HasConnection(); }, kWait));
  server.Write("data the main thread never takes");
  ASSERT_TRUE(TFakeTcpServer::WaitFor([&] { return client->LastResult() > 0; }, kWait));
  alarm(kWait / 1000);
  client.reset();
  loop.ProcessEvents(0);  // the dropped hand-off must not run
  EXPECT_EQ(data, "");
  EXPECT_TRUE(TFakeTcpServer::WaitFor([&] { return server.Closed() == 1; }, kWait));

  client = std::make_unique<TCustomClient>(loop);
  client->OnRead = [&](TCustomClient&, const std::uint8_t*, int) {
    data += "read";
    client.reset();
  };
  ASSERT_TRUE(Connect(server.Port()));
  ASSERT_TRUE(TFakeTcpServer::WaitFor([&] { return server.HasConnection(); }, kWait));
  server.Write("x");
  loop.RunUntil([&] { return client == nullptr; }, kWait);
  alarm(0);
  EXPECT_EQ(data, "read");
}

TEST_F(ClientTest, OutputToAPeerThatStopsReadingIsCappedAndEndsTheConnectionOnce) {
  std::atomic<bool> done{false};
  TFakeTcpServer silent;  // stops reading at the first bytes, until the test ends
  silent.SetDataHandler([&](TFakeTcpServer&, std::string&) {
    TFakeTcpServer::WaitFor([&] { return done.load(); }, 3 * kWait);
  });
  ASSERT_TRUE(Connect(silent.Port()));
  // Far more than the cap and the kernel's buffers hold together; without the cap every
  // Send is taken and the loop ends at its bound.
  const std::string piece(16 * 1024, 'p');
  std::size_t most = 0, queued = 0;
  while (queued < 64 * kMaxPendingOutput && client->Send(piece.data(), 16 * 1024)) {
    most = std::max(most, client->PendingOutput());
    queued += piece.size();
  }
  ASSERT_LT(queued, 64 * kMaxPendingOutput) << "pending output reached " << most << " bytes";
  EXPECT_LE(most, kMaxPendingOutput);
  ASSERT_TRUE(RunUntil([&] { return disconnects == 1; }));
  loop.RunUntil([] { return false; }, 100);
  EXPECT_EQ(disconnects, 1);
  EXPECT_TRUE(client->OutputOverflowed());
  // The next connection starts clean: no flag, and none of the refused bytes.
  TFakeTcpServer server;
  ASSERT_TRUE(Connect(server.Port()));
  EXPECT_FALSE(client->OutputOverflowed());
  ASSERT_TRUE(client->Send("ping", 4));
  EXPECT_TRUE(TFakeTcpServer::WaitFor([&] { return server.Received() == "ping"; }, kWait));
  done = true;
}

// Takes the calling thread's loopback up or down (in its own network namespace).
bool SetLoopbackUp(bool up) {
  ifreq ifr{};
  std::string("lo").copy(ifr.ifr_name, 2);
  ifr.ifr_flags = up ? IFF_UP : 0;  // the other flags of lo are fixed
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const bool ok = ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
  close(fd);
  return ok;
}

// A peer that stops answering without a FIN or RST: the loopback of a network namespace of
// our own goes down under two established connections. Only the worker thread below (and
// the threads it starts) live in that namespace.
TEST_F(ClientTest, PeerThatVanishesIsReportedThroughKeepAliveAndUserTimeout) {
  if (geteuid() != 0) GTEST_SKIP() << "not root: a network namespace of its own needs root";
  bool unshared = false;
  int idle_closed = 0, sending_closed = 0;
  std::thread worker([&] {
    if (!(unshared = unshare(CLONE_NEWNET) == 0)) return;
    ASSERT_TRUE(SetLoopbackUp(true));
    TMainLoop own_loop;
    TFakeTcpServer peer, other;  // each serves one connection
    TCustomClient idle(own_loop), sending(own_loop);
    idle.SetKeepAlive({.idle_s = 1, .interval_s = 1, .count = 2, .user_timeout_ms = 0});
    sending.SetKeepAlive({.user_timeout_ms = 1000});
    idle.OnDisconnect = [&](TCustomClient&) { ++idle_closed; };
    sending.OnDisconnect = [&](TCustomClient&) { ++sending_closed; };
    idle.Connect("127.0.0.1", peer.Port());
    sending.Connect("127.0.0.1", other.Port());
    ASSERT_TRUE(own_loop.RunUntil(
        [&] {
          return idle.State() == TClientState::Connected &&
                 sending.State() == TClientState::Connected;
        },
        kWait));
    ASSERT_TRUE(SetLoopbackUp(false));
    sending.Send("unanswered", 10);
    own_loop.RunUntil([&] { return idle_closed > 0 && sending_closed > 0; }, 6000);
    own_loop.RunUntil([] { return false; }, 100);
  });
  worker.join();
  if (!unshared) GTEST_SKIP() << "unshare(CLONE_NEWNET) refused";
  EXPECT_EQ(idle_closed, 1) << "idle: keep-alive probes go unanswered; reported once in 6 s";
  EXPECT_EQ(sending_closed, 1) << "data unacknowledged: user time-out; reported once in 6 s";
}

}  // namespace
}  // namespace corvane
