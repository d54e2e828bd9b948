// The simulated chat and BNLS servers that the demo server runs, against the bot's own
// session over 127.0.0.1: a logon that sees the channel's members and a chat event, an
// over-long account name, and a stop while a write is stuck.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bnet/bnet.h"
#include "net/NetObjs.h"
#include "net/main_loop.h"
#include "sim/sim_bnls_server.h"
#include "sim/sim_chat_server.h"
#include "sim/sim_tcp_server.h"
#include "support/recording_observer.h"

namespace corvane {
namespace {

using namespace std::literals;
using Clock = std::chrono::steady_clock;

// A name longer than two copies of it could fit in one answer is cut, not fatal.
TEST(SimServers, TheBotLogsOnThroughBothAndSeesTheMembersAndAChatEventEvenWithALongName) {
  SocketStartup();
  TMainLoop loop;
  for (const std::string& name : {"Tester"s, std::string(60000, 'n')}) {
    sim::TSimChatServer chat;
    sim::TSimBnlsServer bnls;
    chat.SetAccount(name, "Secret");
    chat.SetChannelMembers("Home", {{"Mira", 0, 32, "PX3W 2N3W 14"}, {"Bob", 0x10, 95}});
    chat.Start();
    bnls.Start();
    // Host, port, BNLS host and port, product, PvPGN, account, password, UTF-8, ping
    // spoofing, home channel, dump file.
    TSessionConfig config{"127.0.0.1", chat.Port(), "127.0.0.1", bnls.Port(), kProductW3xp, false,
                          name,        "Secret",    false,       false,       "home",       ""};
    test::TRecordingObserver seen;
    TBNET bnet(loop);
    bnet.SetObserver(&seen);
    bnet.Connect(config);
    const std::string me = name.substr(0, sim::TSimChatServer::kMaxNameLength);
    ASSERT_TRUE(loop.RunUntil([&] { return seen.Has("Shown " + me + "|"); }, 5000));
    chat.SendChatEvent(5, "Mira", "hi there", 0, 32);
    ASSERT_TRUE(loop.RunUntil([&] { return seen.Has("Talk "); }, 5000));
    std::erase(seen.events, "Friends");  // the friends list, whenever it comes
    EXPECT_EQ(seen.events, (std::vector<std::string>{
                               "EnteredChat " + me + "|PX3W 1R3W 0", "Channel " + me + "|home|0|0",
                               "Shown Mira|PX3W 2N3W 14|0|32", "Shown Bob|PX3W 1R3W 0|16|95",
                               "Shown " + me + "|PX3W 1R3W 0|0|0", "Talk Mira|hi there|0|32"}));
  }
}

// A peer that stops reading blocks a writer in the kernel; Stop must not wait for it.
TEST(SimTcpServer, StopEndsAWriteStuckOnAPeerThatDoesNotRead) {
  sim::TSimTcpServer server;
  server.Start();
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{AF_INET, htons(server.Port()), {htonl(INADDR_LOOPBACK)}, {}};
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  for (int i = 0; i < 250 && !server.HasConnection(); ++i) std::this_thread::sleep_for(20ms);
  std::atomic<bool> failed{false};
  std::thread writer([&] {
    // Far more than the kernel buffers on both sides hold (bounded all the same).
    for (int i = 0; i < 2000 && !failed; ++i) failed = !server.Write(std::string(64 * 1024, 'w'));
  });
  std::this_thread::sleep_for(1s);  // the buffers are full by then
  const auto stop_start = Clock::now();
  server.Stop();
  writer.join();
  EXPECT_LT(Clock::now() - stop_start, 2s);
  EXPECT_TRUE(failed && !server.HasConnection());
  close(fd);
}

}  // namespace
}  // namespace corvane
