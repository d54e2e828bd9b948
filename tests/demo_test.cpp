// The demo server program, run as a child process, with a session of the bot's own classes
// logging on against it over 127.0.0.1. What the members say is the demo's own business;
// these tests hold it to the order of things a newcomer watches, and keep it running.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bnet/bnet.h"
#include "net/NetObjs.h"
#include "net/main_loop.h"
#include "support/program.h"
#include "support/recording_observer.h"

namespace corvane {
namespace {

using namespace std::string_literals;

constexpr int kWait = 10000;  // the longest any step may take

class DemoServer : public ::testing::Test {
 protected:
  void SetUp() override {
    SocketStartup();
    config.Host = config.BnlsServer = "127.0.0.1";
    config.Product = kProductW3xp;
    config.Username = "DemoBot";
    config.Password = "demo";
    config.HomeChannel = "Corvane Demo";
  }
  void TearDown() override {
    bnet.reset();
    SocketCleanup();
  }

  // Starts the server and reads the two lines that say where it listens.
  void Start() {
    demo = std::make_unique<test::TProgram>(CORVANE_DEMO_BIN, std::vector<std::string>{});
    ASSERT_TRUE(demo->ReadUntil([&] {
      const std::string& out = demo->Out();
      return std::count(out.begin(), out.end(), '\n') >= 2 &&
             std::sscanf(out.c_str(), "chat 127.0.0.1 %d bnls 127.0.0.1 %d", &config.Port,
                         &config.BnlsPort) == 2;
    })) << demo->Out()
        << demo->Err();
  }

  // Logs on and waits until the bot is in its channel.
  bool LogOn() {
    if (!bnet) {
      bnet = std::make_unique<TBNET>(loop);
      bnet->SetObserver(&seen);
    }
    loop.RunUntil([&] { return !bnet->Active(); }, kWait);  // a disconnection ends first
    bnet->Connect(config);
    return loop.RunUntil([&] { return bnet->LoggedOn() && At("Channel ") >= 0; }, kWait);
  }

  // Index of the first event at or after `from` that starts with `prefix`; -1 when none.
  int At(const std::string& prefix, int from = 0) const {
    for (std::size_t i = static_cast<std::size_t>(std::max(from, 0)); i < seen.events.size(); ++i) {
      if (seen.events[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    }
    return -1;
  }
  int WaitFor(const std::string& prefix, int from = 0) {
    loop.RunUntil([&] { return At(prefix, from) >= 0; }, kWait);
    return At(prefix, from);
  }
  // The name in the first event of that kind ("Shown ", "Joined ") about someone else than
  // the bot, waited for; empty when there is none.
  std::string Who(const std::string& kind) {
    std::string name;
    loop.RunUntil(
        [&] {
          for (int at = 0; (at = At(kind, at)) >= 0; ++at) {
            const std::string& e = seen.events[static_cast<std::size_t>(at)];
            name = e.substr(kind.size(), e.find('|') - kind.size());
            if (name != config.Username) return true;
          }
          name.clear();
          return false;
        },
        kWait);
    return name;
  }
  // Runs the session until the program has printed that line.
  bool WaitLine(const std::string& line) {
    return loop.RunUntil([&] { return demo->ReadUntil([&] { return demo->Shows(line); }, 2); },
                         kWait);
  }

  TMainLoop loop;
  std::unique_ptr<test::TProgram> demo;
  TSessionConfig config;
  test::TRecordingObserver seen;
  std::unique_ptr<TBNET> bnet;
};

// The bot finds members in its channel; within seconds another joins and uses a command,
// once: then the channel is quiet.
TEST_F(DemoServer, ABotThatLogsOnSeesMembersAndACommandWithinSeconds) {
  Start();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(LogOn()) << ::testing::PrintToString(seen.errors);
  EXPECT_GE(At("Channel DemoBot|Corvane Demo|"), 0) << ::testing::PrintToString(seen.events);
  EXPECT_NE(Who("Shown "), "");
  const std::string joiner = Who("Joined ");
  ASSERT_NE(joiner, "");
  EXPECT_LT(At("Shown " + joiner + "|"), 0) << "the joiner arrives later";
  EXPECT_GT(WaitFor("Talk " + joiner + "|.", At("Joined ")), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  EXPECT_TRUE(seen.errors.empty()) << ::testing::PrintToString(seen.errors);

  const int played = static_cast<int>(seen.events.size());
  loop.RunUntil([] { return false; }, 1500);
  EXPECT_LT(At("Talk ", played), 0) << "the opening is played once";
  EXPECT_LT(At("Joined ", played), 0);
}

TEST_F(DemoServer, AReconnectingBotGetsTheMembersAndTheScriptAgain) {
  Start();
  ASSERT_TRUE(LogOn());
  const std::string joiner = Who("Joined ");
  ASSERT_NE(joiner, "");
  bnet->Disconnect();
  EXPECT_TRUE(WaitLine("demo: bot disconnected"));

  seen.Clear();
  ASSERT_TRUE(LogOn());
  EXPECT_NE(Who("Shown "), "");
  EXPECT_LT(At("Shown " + joiner + "|"), 0) << "the new visit starts without " << joiner;
  const int join = WaitFor("Joined " + joiner + "|");
  ASSERT_GE(join, 0) << "the script plays again";
  EXPECT_GT(WaitFor("Talk " + joiner + "|.", join), join);
  EXPECT_LT(At("Joined ", join + 1), 0) << "nothing of the first visit reached it twice";
}

TEST_F(DemoServer, NothingTheBotSendsBringsItDown) {
  Start();
  ASSERT_TRUE(LogOn());
  const std::string member = Who("Shown ");
  for (const std::string& line :
       {"/w"s, "/w "s, "/w    "s, "/whisper Nobody"s, "/m " + member, ""s, "%bot %bot"s,
        "/w " + member + " " + std::string(300, 'x'), std::string(2000, '/')}) {
    bnet->SendChat(line);
  }
  // A whisper without a text is confirmed empty; a long one is cut as a server cuts it.
  const std::string sent = "WhisperSent " + member + "|";
  ASSERT_GE(WaitFor(sent + std::string(255, 'x')), 0);  // comes after the empty one
  EXPECT_GE(At(sent + "|"), 0);
  EXPECT_LT(At(sent + std::string(256, 'x')), 0);
  ASSERT_TRUE(WaitLine("demo: DemoBot says: %bot %bot"));

  // Bytes that are no protocol at all: the server drops that connection and goes on.
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(config.Port));
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const std::string junk = "\x01\xFF\x0E\x02\x00garbage"s;
  ASSERT_EQ(send(fd, junk.data(), junk.size(), MSG_NOSIGNAL), static_cast<ssize_t>(junk.size()));
  close(fd);
  demo->ReadUntil([] { return false; }, 300);
  EXPECT_EQ(waitpid(demo->Pid(), nullptr, WNOHANG), 0) << "it still runs";
  bnet.reset();
  seen.Clear();
  ASSERT_TRUE(LogOn()) << "a new logon still works";
  EXPECT_NE(Who("Joined "), "");
}

TEST(DemoServerOptions, BadOptionsExitWithTwo) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--bogus"},
                                             {"--chat-port"},
                                             {"--chat-port", "abc"},
                                             {"--chat-port", "65536"},
                                             {"--bnls-port=-1"},
                                             {"--bnls-port", "12x"},
                                             {"--account", ""},
                                             {"--channel="},
                                             {"stray"},
                                             {"--password"}}) {
    test::TProgram demo(CORVANE_DEMO_BIN, args);
    EXPECT_EQ(demo.Wait(), 2) << ::testing::PrintToString(args);
    EXPECT_NE(demo.Err().find(args[0].substr(0, args[0].find('='))), std::string::npos)
        << demo.Err();
    EXPECT_EQ(demo.Out(), "");
  }
}

TEST_F(DemoServer, SigtermAndSigintEndItWithExitZero) {
  for (const int sig : {SIGTERM, SIGINT}) {
    Start();
    demo->Signal(sig);
    EXPECT_EQ(demo->Wait(), 0) << sig;
    EXPECT_TRUE(demo->Shows("demo: stopping"));
  }
  // With a bot logged on and the script playing, too; the bot sees the server go.
  Start();
  ASSERT_TRUE(LogOn());
  ASSERT_NE(Who("Joined "), "");
  demo->Signal(SIGTERM);
  EXPECT_EQ(demo->Wait(), 0);
  EXPECT_TRUE(loop.RunUntil([&] { return !bnet->Active(); }, kWait));
}

}  // namespace
}  // namespace corvane
