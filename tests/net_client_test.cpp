#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_tcp_server.h"
#include "net/NetObjs.h"
#include "net/main_loop.h"

namespace corvane {
namespace {

using test::TFakeTcpServer;

constexpr int kWait = 5000;

// Records every callback of a client, checking that each one runs on the main thread.
struct Recorder {
  Recorder(TMainLoop& main_loop, TCustomClient& client) : loop(main_loop) {
    client.OnConnect = [this](TCustomClient&, int code) {
      EXPECT_TRUE(this->loop.IsMainThread());
      connects.push_back(code);
    };
    client.OnRead = [this](TCustomClient&, const std::uint8_t* bytes, int count) {
      EXPECT_TRUE(this->loop.IsMainThread());
      data.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
      ++reads;
    };
    client.OnDisconnect = [this](TCustomClient&) {
      EXPECT_TRUE(this->loop.IsMainThread());
      ++disconnects;
    };
  }
  TMainLoop& loop;
  std::vector<int> connects;
  std::string data;
  int reads = 0;
  int disconnects = 0;
};

// A port on 127.0.0.1 where nothing listens.
int ClosedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

// Listens on 127.0.0.1 and never reads: connections wait in the backlog until Accept.
class SilentServer {
 public:
  SilentServer() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(fd_, 8);
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
  }
  ~SilentServer() {
    for (int fd : accepted_) close(fd);
    close(fd_);
  }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  int Port() const { return port_; }
  bool Accept() {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, kWait) != 1) return false;
    const int fd = accept(fd_, nullptr, nullptr);
    if (fd >= 0) accepted_.push_back(fd);
    return fd >= 0;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::vector<int> accepted_;
};

// Lets the loop run a little, so that a callback that should not come has its chance.
void Settle(TMainLoop& loop, int ms = 50) {
  loop.RunUntil([] { return false; }, ms);
}

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override { SocketStartup(); }
  void TearDown() override { SocketCleanup(); }
  TMainLoop loop;
};

TEST_F(ClientTest, FailedAttemptsReportTheirCodeOnlyAndLeaveTheClientReusable) {
  TCustomClient client(loop);
  Recorder rec(loop, client);
  EXPECT_FALSE(client.Send("x", 1)) << "no socket yet";
  EXPECT_EQ(client.PendingOutput(), 0u);
  client.Disconnect();  // idle: nothing happens
  EXPECT_EQ(client.State(), TClientState::Idle);

  client.Connect("127.0.0.1", ClosedPort());
  ASSERT_TRUE(loop.RunUntil(
      [&] { return client.State() == TClientState::Idle && !rec.connects.empty(); }, kWait));
  EXPECT_EQ(rec.connects, std::vector<int>{kConnectFailed});

  client.Connect("", 6112);  // a host that gives no address
  ASSERT_TRUE(loop.RunUntil([&] { return rec.connects.size() == 2 && !client.Active(); }, kWait));
  EXPECT_EQ(rec.connects[1], kConnectNoAddress);

  client.Connect("127.0.0.1", 0);
  ASSERT_TRUE(loop.RunUntil([&] { return rec.connects.size() == 3 && !client.Active(); }, kWait));
  EXPECT_EQ(rec.connects[2], kConnectFailed);
  Settle(loop);
  EXPECT_EQ(rec.disconnects, 0) << "a failed attempt is reported through OnConnect only";

  TFakeTcpServer server;
  client.Connect("localhost", server.Port());  // a name, looked up
  ASSERT_TRUE(loop.RunUntil([&] { return client.State() == TClientState::Connected; }, kWait));
  EXPECT_EQ(rec.connects.back(), kConnectOk);
  EXPECT_TRUE(TFakeTcpServer::WaitFor([&] { return server.Accepted() == 1; }, kWait));
}

TEST_F(ClientTest, ConnectWhileBusyDoesNothingAndDataFlowsBothWays) {
  TFakeTcpServer server;
  server.SetDataHandler([](TFakeTcpServer& s, std::string& inbox) {
    s.Write("echo:" + inbox);
    inbox.clear();
  });
  TCustomClient client(loop);
  Recorder rec(loop, client);
  client.Connect("127.0.0.1", server.Port());
  client.Connect("127.0.0.1", server.Port());  // an attempt is running
  ASSERT_TRUE(loop.RunUntil([&] { return client.State() == TClientState::Connected; }, kWait));
  client.Connect("127.0.0.1", server.Port());  // already connected
  Settle(loop);
  EXPECT_EQ(rec.connects, std::vector<int>{kConnectOk});
  EXPECT_EQ(server.Accepted(), 1);

  ASSERT_TRUE(client.Send("ping", 4));
  ASSERT_TRUE(loop.RunUntil([&] { return rec.data == "echo:ping"; }, kWait)) << rec.data;
}

TEST_F(ClientTest, BigSendLeavesInOrderInPassesOfAtMost1023Bytes) {
  TFakeTcpServer server;
  std::mutex sizes_mutex;  // declared before the client, which uses them to the end
  std::vector<int> sizes;
  int total = 0;
  TCustomClient client(loop);
  Recorder rec(loop, client);
  client.SetSendObserver([&](int n) {
    std::lock_guard lock(sizes_mutex);
    sizes.push_back(n);
    total += n;
  });
  client.Connect("127.0.0.1", server.Port());
  ASSERT_TRUE(loop.RunUntil([&] { return client.State() == TClientState::Connected; }, kWait));

  std::string big(3000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 256);
  std::string small;
  for (int i = 0; i < 50; ++i) small += "line " + std::to_string(i) + "\n";
  ASSERT_TRUE(client.Send(big.data(), static_cast<int>(big.size())));
  for (int i = 0; i < 50; ++i) {
    std::string line = "line " + std::to_string(i) + "\n";
    ASSERT_TRUE(client.Send(line.data(), static_cast<int>(line.size())));
  }
  ASSERT_TRUE(TFakeTcpServer::WaitFor(
      [&] { return server.Received().size() == big.size() + small.size(); }, kWait));
  EXPECT_EQ(server.Received(), big + small);

  // The observer hears of a send call just after the peer may already have the bytes.
  const int want = static_cast<int>(big.size() + small.size());
  ASSERT_TRUE(TFakeTcpServer::WaitFor(
      [&] {
        std::lock_guard lock(sizes_mutex);
        return total == want;
      },
      kWait));
  std::lock_guard lock(sizes_mutex);
  for (int n : sizes) EXPECT_LE(n, 1023);
  ASSERT_FALSE(sizes.empty());
  EXPECT_EQ(sizes[0], 1023) << "the first pass of 3000 pending bytes takes 1023";
}

TEST_F(ClientTest, PeerCloseAndDisconnectEachGiveExactlyOneOnDisconnect) {
  TFakeTcpServer server;
  TCustomClient client(loop);
  Recorder rec(loop, client);
  client.Connect("127.0.0.1", server.Port());
  ASSERT_TRUE(loop.RunUntil([&] { return client.State() == TClientState::Connected; }, kWait));
  ASSERT_TRUE(TFakeTcpServer::WaitFor([&] { return server.HasConnection(); }, kWait));
  server.Write("bye");
  server.CloseConnection();
  ASSERT_TRUE(loop.RunUntil([&] { return rec.disconnects == 1; }, kWait));
  Settle(loop, 100);
  EXPECT_EQ(rec.disconnects, 1);
  EXPECT_EQ(rec.data, "bye") << "data sent before the close still arrives";
  EXPECT_EQ(client.State(), TClientState::Idle);
  EXPECT_FALSE(client.Send("x", 1));

  client.Connect("127.0.0.1", server.Port());
  ASSERT_TRUE(loop.RunUntil([&] { return client.State() == TClientState::Connected; }, kWait));
  ASSERT_TRUE(TFakeTcpServer::WaitFor([&] { return server.Accepted() == 2; }, kWait));
  client.Disconnect();
  client.Disconnect();
  ASSERT_TRUE(loop.RunUntil([&] { return rec.disconnects == 2; }, kWait));
  Settle(loop, 100);
  EXPECT_EQ(rec.disconnects, 2);
  EXPECT_EQ(client.State(), TClientState::Idle);
  EXPECT_TRUE(TFakeTcpServer::WaitFor([&] { return server.Closed() == 2; }, kWait));
}

TEST_F(ClientTest, OwnerMayActFromInsideItsCallbacks) {
  TFakeTcpServer server;
  TCustomClient client(loop);
  int connects = 0, disconnects = 0;
  // Sending from OnConnect works (the socket exists); a Disconnect from there is not lost;
  // a Connect from OnDisconnect starts the next connection.
  client.OnConnect = [&](TCustomClient& c, int code) {
    ASSERT_EQ(code, 0);
    ++connects;
    c.Send("hello", 5);
    if (connects == 1) c.Disconnect();
  };
  client.OnDisconnect = [&](TCustomClient& c) {
    if (++disconnects == 1) c.Connect("127.0.0.1", server.Port());
  };
  client.Connect("127.0.0.1", server.Port());
  ASSERT_TRUE(loop.RunUntil(
      [&] { return connects == 2 && client.State() == TClientState::Connected; }, kWait));
  EXPECT_EQ(disconnects, 1);
  ASSERT_TRUE(TFakeTcpServer::WaitFor(
      [&] { return server.Received().find("hello") != std::string::npos; }, kWait));
}

// Runs `fn` and fails the test (instead of hanging it) when it does not end in time.
void MustEnd(const std::function<void()>& fn, int ms = 5000) {
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    for (int i = 0; i < ms / 10 && !done; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!done) {
      ADD_FAILURE() << "deadlock";
      std::abort();
    }
  });
  fn();
  done = true;
  watchdog.join();
}

TEST_F(ClientTest, DestroyingWithAHandOffPendingDoesNotDeadlock) {
  TFakeTcpServer server;
  auto client = std::make_unique<TCustomClient>(loop);
  bool read_ran = false;
  client->OnRead = [&](TCustomClient&, const std::uint8_t*, int) { read_ran = true; };
  client->Connect("127.0.0.1", server.Port());
  ASSERT_TRUE(loop.RunUntil([&] { return client->State() == TClientState::Connected; }, kWait));
  ASSERT_TRUE(TFakeTcpServer::WaitFor([&] { return server.HasConnection(); }, kWait));
  server.Write("data the main thread never takes");
  // The client thread has received it and now waits for the main thread.
  ASSERT_TRUE(TFakeTcpServer::WaitFor([&] { return client->LastResult() > 0; }, kWait));
  MustEnd([&] { client.reset(); });
  loop.ProcessEvents(0);  // the dropped hand-off must not run
  EXPECT_FALSE(read_ran);
  EXPECT_TRUE(TFakeTcpServer::WaitFor([&] { return server.Closed() == 1; }, kWait));
}

TEST_F(ClientTest, DestroyingFromInsideOwnCallbackDoesNotDeadlock) {
  TFakeTcpServer server;
  auto client = std::make_unique<TCustomClient>(loop);
  int reads = 0;
  client->OnRead = [&](TCustomClient&, const std::uint8_t*, int) {
    ++reads;
    client.reset();
  };
  client->Connect("127.0.0.1", server.Port());
  ASSERT_TRUE(loop.RunUntil([&] { return client->State() == TClientState::Connected; }, kWait));
  ASSERT_TRUE(TFakeTcpServer::WaitFor([&] { return server.HasConnection(); }, kWait));
  server.Write("x");
  MustEnd([&] { loop.RunUntil([&] { return client == nullptr; }, kWait); });
  EXPECT_EQ(reads, 1);
}

TEST_F(ClientTest, QueuedOutputGetsAMomentToLeaveBeforeDestruction) {
  TFakeTcpServer server;
  {
    TCustomClient client(loop);
    client.Connect("127.0.0.1", server.Port());
    ASSERT_TRUE(loop.RunUntil([&] { return client.State() == TClientState::Connected; }, kWait));
    ASSERT_TRUE(client.Send("last words", 10));
  }
  EXPECT_TRUE(TFakeTcpServer::WaitFor([&] { return server.Received() == "last words"; }, kWait));
}

TEST_F(ClientTest, OutputToAPeerThatStopsReadingIsCappedAndEndsTheConnectionOnce) {
  SilentServer silent;
  TCustomClient client(loop);
  Recorder rec(loop, client);
  client.Connect("127.0.0.1", silent.Port());
  ASSERT_TRUE(loop.RunUntil([&] { return client.State() == TClientState::Connected; }, kWait));
  ASSERT_TRUE(silent.Accept());
  EXPECT_FALSE(client.OutputOverflowed());

  // Far more than the cap and the kernel's buffers hold together; without the cap every
  // Send is taken and the loop ends at its bound.
  const std::string piece(16 * 1024, 'p');
  std::size_t most = 0;
  bool refused = false;
  for (std::size_t queued = 0; queued < 64 * kMaxPendingOutput && !refused;
       queued += piece.size()) {
    refused = !client.Send(piece.data(), static_cast<int>(piece.size()));
    most = std::max(most, client.PendingOutput());
  }
  ASSERT_TRUE(refused) << "pending output reached " << most << " bytes";
  EXPECT_LE(most, kMaxPendingOutput);
  ASSERT_TRUE(loop.RunUntil([&] { return rec.disconnects == 1; }, kWait));
  Settle(loop, 100);
  EXPECT_EQ(rec.disconnects, 1);
  EXPECT_TRUE(client.OutputOverflowed());
  EXPECT_EQ(client.State(), TClientState::Idle);
  EXPECT_EQ(client.PendingOutput(), 0u);

  // The next connection starts clean: no flag, and none of the refused bytes.
  TFakeTcpServer server;
  client.Connect("127.0.0.1", server.Port());
  EXPECT_FALSE(client.OutputOverflowed());
  ASSERT_TRUE(loop.RunUntil([&] { return client.State() == TClientState::Connected; }, kWait));
  ASSERT_TRUE(client.Send("ping", 4));
  TFakeTcpServer::WaitFor([&] { return server.Received().size() >= 4; }, kWait);
  EXPECT_EQ(server.Received(), "ping");
  EXPECT_FALSE(client.OutputOverflowed());
}

// Takes the calling thread's loopback up or down (in its own network namespace).
bool SetLoopbackUp(bool up) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq ifr{};
  std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
  if (up) {
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
  } else {
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags & ~IFF_UP);
  }
  ok = ok && ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
  if (fd >= 0) close(fd);
  return ok;
}

TEST_F(ClientTest, PeerThatVanishesIsReportedThroughKeepAliveAndUserTimeout) {
  // A peer that stops answering without a FIN or RST: the loopback of a network namespace
  // of our own goes down under two established connections. Only the worker thread below
  // (and the threads it starts) live in that namespace.
  if (geteuid() != 0) {
    GTEST_SKIP() << "not root: a network namespace of its own (unshare) needs root, as in CI";
  }
  struct Case {
    const char* what;
    TTcpKeepAlive keep_alive;
    bool sends;
  };
  const Case cases[] = {
      {"idle: keep-alive probes go unanswered",
       {.idle_s = 1, .interval_s = 1, .count = 2, .user_timeout_ms = 0},
       false},
      {"data unacknowledged: user time-out", {.user_timeout_ms = 1000}, true},
  };
  constexpr int kCases = static_cast<int>(std::size(cases));
  constexpr int kBoundMs = 6000;
  std::string skip, failure;
  std::vector<std::int64_t> reported_after_ms(kCases, -1);
  std::thread worker([&] {
    if (unshare(CLONE_NEWNET) != 0) {
      skip = std::string("unshare(CLONE_NEWNET) refused: ") + std::strerror(errno);
      return;
    }
    if (!SetLoopbackUp(true)) {
      failure = "cannot bring the namespace's loopback up";
      return;
    }
    TMainLoop own_loop;
    SilentServer peer;
    std::vector<int> disconnects(kCases, 0);
    auto down_at = std::chrono::steady_clock::now();
    std::vector<std::unique_ptr<TCustomClient>> clients;
    for (int i = 0; i < kCases; ++i) {
      clients.push_back(std::make_unique<TCustomClient>(own_loop));
      clients[i]->SetKeepAlive(cases[i].keep_alive);
      clients[i]->OnDisconnect = [&, i](TCustomClient&) {
        if (disconnects[i]++ == 0) {
          reported_after_ms[i] = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - down_at)
                                     .count();
        }
      };
      clients[i]->Connect("127.0.0.1", peer.Port());
    }
    const auto all_connected = [&] {
      return std::all_of(clients.begin(), clients.end(),
                         [](auto& c) { return c->State() == TClientState::Connected; });
    };
    if (!own_loop.RunUntil(all_connected, kWait)) {
      failure = "the clients did not connect";
      return;
    }
    down_at = std::chrono::steady_clock::now();
    if (!SetLoopbackUp(false)) {
      failure = "cannot take the namespace's loopback down";
      return;
    }
    for (int i = 0; i < kCases; ++i) {
      if (cases[i].sends) clients[i]->Send("unanswered", 10);
    }
    own_loop.RunUntil(
        [&] {
          return std::all_of(disconnects.begin(), disconnects.end(), [](int n) { return n > 0; });
        },
        kBoundMs);
    Settle(own_loop, 100);
    for (int i = 0; i < kCases; ++i) {
      if (disconnects[i] > 1) failure += std::string(cases[i].what) + ": reported twice; ";
    }
  });
  worker.join();
  if (!skip.empty()) GTEST_SKIP() << skip;
  ASSERT_TRUE(failure.empty()) << failure;
  for (int i = 0; i < kCases; ++i) {
    EXPECT_GE(reported_after_ms[i], 0)
        << cases[i].what << ": not reported within " << kBoundMs << " ms";
  }
}

}  // namespace
}  // namespace corvane
