// The demo server program, run as a child process, with a session of the bot's own classes
// logging on against it over 127.0.0.1. What the members say is the demo's own business;
// these tests hold it to the order of things a newcomer watches, and keep it running.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bnet/bnet.h"
#include "net/main_loop.h"
#include "support/program.h"
#include "support/recording_observer.h"

namespace corvane {
namespace {

using namespace std::string_literals;

constexpr int kWait = 10000;  // the longest any step may take

class DemoServer : public ::testing::Test {
 protected:
  // Reads the two lines that say where the server listens. (The runner has SIGPIPE ignored,
  // as the sockets want it.)
  void SetUp() override {
    config.Host = config.BnlsServer = "127.0.0.1";
    config.Product = kProductW3xp;
    config.Username = "DemoBot";
    config.Password = "demo";
    config.HomeChannel = "Corvane Demo";
    ASSERT_TRUE(demo.ReadUntil([&] {
      return std::count(demo.Out().begin(), demo.Out().end(), '\n') >= 2 &&
             std::sscanf(demo.Out().c_str(), "chat 127.0.0.1 %d bnls 127.0.0.1 %d", &config.Port,
                         &config.BnlsPort) == 2;
    }));
  }

  // Logs on afresh and waits until the bot is in its channel.
  bool LogOn() {
    seen.Clear();
    bnet = std::make_unique<TBNET>(loop);
    bnet->SetObserver(&seen);
    bnet->Connect(config);
    return loop.RunUntil([&] { return bnet->LoggedOn() && seen.Has("Channel "); }, kWait);
  }
  // How many events start with `prefix`, once one does or the time is up.
  int Count(const std::string& prefix) {
    const auto count = [&] {
      return std::count_if(seen.events.begin(), seen.events.end(),
                           [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
    };
    loop.RunUntil([&] { return count() > 0; }, kWait);
    return static_cast<int>(count());
  }
  // The name in the first event of that kind ("Shown ", "Joined "), waited for. The server
  // shows the bot itself last.
  std::string Who(const std::string& kind) {
    for (const std::string& e : Count(kind) > 0 ? seen.events : std::vector<std::string>{}) {
      if (e.rfind(kind, 0) == 0) return e.substr(kind.size(), e.find('|') - kind.size());
    }
    return "";
  }

  test::TProgram demo{CORVANE_DEMO_BIN, {}};
  TMainLoop loop;
  TSessionConfig config;
  test::TRecordingObserver seen;
  std::unique_ptr<TBNET> bnet;
};

// The bot finds members in its channel; within seconds another joins and uses a command,
// once. Nothing the bot sends, nor bytes that are no protocol at all, bring the server down,
// and a bot that comes back gets the members and the script again.
TEST_F(DemoServer, ABotSeesTheScriptWithinSecondsAndAgainAfterAReconnect) {
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(LogOn()) << ::testing::PrintToString(seen.errors);
  const std::string member = Who("Shown "), joiner = Who("Joined ");
  EXPECT_EQ(Count("Talk " + joiner + "|."), 1) << ::testing::PrintToString(seen.events);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));

  for (const std::string& line :
       {"/w"s, "/w "s, "/w    "s, "/whisper Nobody"s, "/m " + member, ""s, "%bot %bot"s,
        "/w " + member + " " + std::string(300, 'x'), std::string(2000, '/')}) {
    bnet->SendChat(line);
  }
  // A whisper without a text is confirmed empty; a long one is cut as a server cuts it.
  const std::string sent = "WhisperSent " + member + "|";
  ASSERT_EQ(Count(sent + std::string(255, 'x') + "|"), 1);  // comes after the empty one
  EXPECT_EQ(Count(sent + "|"), 1);
  EXPECT_TRUE(demo.WaitFor("demo: DemoBot says: %bot %bot"));
  test::TProgram junk("/bin/bash",
                      {"-c", "printf '\\1\\377\\16\\2\\0garbage' >/dev/tcp/127.0.0.1/" +
                                 std::to_string(config.Port)});
  EXPECT_EQ(junk.Wait(), 0) << junk.Err();

  bnet->Disconnect();
  ASSERT_TRUE(demo.WaitFor("demo: bot disconnected") && LogOn()) << demo.Out();
  EXPECT_EQ(Who("Shown "), member);
  EXPECT_EQ(Count("Talk " + joiner + "|."), 1) << "the script plays again";
  loop.RunUntil([] { return false; }, 1500);
  EXPECT_EQ(Count("Joined ") + Count("Talk " + joiner + "|."), 2) << "played once a visit";
  EXPECT_FALSE(seen.Has("Shown " + joiner + "|")) << "each visit starts without " << joiner;

  // SIGTERM ends it with exit status 0, the bot logged on.
  demo.Signal(SIGTERM);
  EXPECT_EQ(demo.Wait(), 0);
}

TEST_F(DemoServer, BadOptionsExitWithTwoAndSigintWithZero) {
  const std::vector<std::string> bad_options[] = {
      {"--bogus"},        {"--chat-port"},        {"--chat-port", "abc"}, {"--chat-port", "65536"},
      {"--bnls-port=-1"}, {"--bnls-port", "12x"}, {"--account", ""},      {"--channel="},
      {"stray"},          {"--password"}};
  for (const std::vector<std::string>& args : bad_options) {
    test::TProgram bad(CORVANE_DEMO_BIN, args);
    const std::string option = args[0].substr(0, args[0].find('='));  // named on stderr
    EXPECT_TRUE(bad.Wait() == 2 && bad.Err().find(option) != bad.Err().npos) << bad.Err();
  }
  demo.Signal(SIGINT);
  EXPECT_EQ(demo.Wait(), 0);
}

}  // namespace
}  // namespace corvane
