// The application core end to end: fake chat and BNLS servers on 127.0.0.1, a recording
// front end, and a manual clock for every timer.

#include "app/bot_core.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "bnet/sid.h"
#include "config/ini_file.h"
#include "fakes/fake_bnls_server.h"
#include "fakes/fake_chat_server.h"
#include "fakes/test_home.h"
#include "net/main_loop.h"

#ifdef CORVANE_SOAK
#include <malloc.h>
#if defined(__SANITIZE_ADDRESS__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();  // the ASan runtime's
#endif
#endif

namespace corvane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::TFakeBnlsServer;
using test::TFakeChatServer;

constexpr int kWait = 5000;

struct RecordingFrontEnd : TFrontEnd {
  void ShowLine(const TPaneLine& line) override { lines.push_back(line); }
  void RequestClose() override { ++close_requests; }
  int Count(const std::string& text, TPane pane = TPane::Chat) const {
    int n = 0;
    for (const TPaneLine& l : lines) n += l.pane == pane && l.Text() == text;
    return n;
  }
  bool Shows(const std::string& text, TPane pane = TPane::Chat) const {
    return Count(text, pane) > 0;
  }
  std::vector<TPaneLine> lines;
  int close_requests = 0;
};

class Core : public ::testing::Test {
 protected:
  void SetUp() override {
    SocketStartup();
    home_ = fs::temp_directory_path() /
            ("corvane-core-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    ASSERT_TRUE(test::WriteTestHome(home_, "test", chat_server, bnls_server, "Tester", true, true));
    chat_server.SetChannelMembers({{"Boss", 0, 30, "PX3W 3H3W 12"}, {"Bob", 0, 60, "3RAW 1R3W 1"}});
    core = std::make_unique<TBotCore>(loop, home_.string(), front);
  }
  void TearDown() override {
    core.reset();
    fs::remove_all(home_);
    SocketCleanup();
  }
  bool InChannel() {
    return loop.RunUntil([&] { return core->Bnet().LoggedOn && core->ChannelRoster().Size() >= 3; },
                         kWait);
  }
  // Moves the clock in 100 ms steps, letting the socket threads' hand-offs run between.
  void Advance(std::uint64_t ms) {
    for (std::uint64_t done = 0; done < ms; done += 100) {
      loop.Advance(100);
      loop.RunUntil([] { return false; }, 2);
    }
  }
  std::vector<std::string> SentChat() {
    std::vector<std::string> out;
    for (const auto& m : chat_server.MessagesWithId(SID_CHATCOMMAND)) {
      out.push_back(m.body.substr(0, m.body.find('\0')));
    }
    return out;
  }

  fs::path home_;
  TMainLoop loop{TMainLoop::TClock::Manual, 1'000'000};
  TFakeBnlsServer bnls_server;
  TFakeChatServer chat_server;
  RecordingFrontEnd front;
  std::unique_ptr<TBotCore> core;
};

TEST_F(Core, StartsConnectsAndAnswersACommandThroughTheQueue) {
  core->Start();
  EXPECT_TRUE(front.Shows("[BOT] Loaded profile: test"));
  EXPECT_FALSE(core->Bnet().Active()) << "the connection waits one second";
  Advance(1000);
  ASSERT_TRUE(InChannel());
  EXPECT_EQ(core->CurrentChannel(), "The Void");
  EXPECT_TRUE(front.Shows("[BNET] Connected!"));
  EXPECT_EQ(core->Views().Caption(), "The Void(3)");

  core->Database().SetUser("Boss", 100, "");
  chat_server.SendChatEvent(5, "Boss", ".kick Bob");
  ASSERT_TRUE(loop.RunUntil([&] { return core->Queue().Size() == 1; }, kWait));
  EXPECT_TRUE(front.Shows("Boss: .kick Bob"));
  Advance(1100);
  ASSERT_TRUE(loop.RunUntil([&] { return !SentChat().empty(); }, kWait));
  EXPECT_EQ(SentChat(), std::vector<std::string>{"/kick Bob"});

  // Typed lines: a console command runs locally, other text is queued and echoed.
  EXPECT_TRUE(core->TypeLine("", "/whoami"));
  EXPECT_TRUE(front.Shows("[BOT] You have ALL access and ALL flags. Good luck!"));
  EXPECT_TRUE(core->TypeLine("", "hello all"));
  EXPECT_FALSE(core->TypeLine("", ""));
  EXPECT_EQ(core->History(), (std::vector<std::string>{"hello all", "/whoami"}));
  Advance(1100);
  ASSERT_TRUE(loop.RunUntil([&] { return SentChat().size() == 2; }, kWait));
  EXPECT_TRUE(front.Shows("Tester: hello all"));
}

TEST_F(Core, ReconnectRulesAfterDropsUserDisconnectsAndFlooding) {
  core->Start();
  Advance(1000);
  ASSERT_TRUE(InChannel());
  chat_server.DropConnection();
  ASSERT_TRUE(loop.RunUntil([&] { return core->AutoconnectPending(); }, kWait));
  EXPECT_EQ(core->AutoconnectInterval(), kReconnectMs);
  EXPECT_TRUE(core->ChannelRoster().Members().empty());
  Advance(5000);
  ASSERT_TRUE(InChannel()) << "reconnected five seconds after the drop";

  // Flooding: twenty minutes, not shortened by the drop that follows.
  chat_server.SendMessage(SID_FLOODDETECTED, "");
  ASSERT_TRUE(loop.RunUntil([&] { return core->AutoconnectPending(); }, kWait));
  EXPECT_EQ(core->AutoconnectInterval(), kFloodReconnectMs);
  const int drops = front.Count("[BNET] Disconnected.");
  chat_server.DropConnection();
  ASSERT_TRUE(loop.RunUntil([&] { return front.Count("[BNET] Disconnected.") > drops; }, kWait));
  EXPECT_EQ(core->AutoconnectInterval(), kFloodReconnectMs);

  // The user's own Disconnect: no reconnection after the drop it causes.
  core->ConnectClicked();
  ASSERT_TRUE(InChannel());
  core->DisconnectClicked();
  ASSERT_TRUE(loop.RunUntil([&] { return !core->Bnet().Active(); }, kWait));
  loop.RunUntil([] { return false; }, 100);
  EXPECT_FALSE(core->AutoconnectPending());
}

TEST_F(Core, WhispersLocalCommandsAndClanEventsReachTheRightPlaces) {
  core->Start();
  Advance(1000);
  ASSERT_TRUE(InChannel());

  chat_server.SendChatEvent(4, "Bob", "psst");
  ASSERT_TRUE(loop.RunUntil([&] { return core->LastWhisperer() == "Bob"; }, kWait));
  const std::string head = "The whisper message of the Battle.net user Bob";
  EXPECT_TRUE(front.Shows(head + ": psst", TPane::Chat));
  EXPECT_TRUE(front.Shows(head + ": psst", TPane::Whisper));
  const TPaneLine& whisper = front.lines.back();
  EXPECT_EQ(whisper.runs.front(), (TTextRun{head + ":", kGreen}));

  // An operator's flags change moves him to the top of the channel view.
  chat_server.SendChatEvent(9, "Bob", "", 2);
  ASSERT_TRUE(loop.RunUntil([&] { return core->Views().Rows().front().name == "Bob"; }, kWait));

  // Local commands act when they leave the queue and are never sent as chat.
  EXPECT_TRUE(core->TypeLine("", "/join Elsewhere"));
  EXPECT_TRUE(core->TypeLine("", "/clanprofile TOOLONG"));
  Advance(2200);
  ASSERT_TRUE(loop.RunUntil([&] { return core->CurrentChannel() == "Elsewhere"; }, kWait));
  EXPECT_TRUE(front.Shows("Invalid clan tag: TOOLONG"));
  EXPECT_TRUE(SentChat().empty());

  // A clan invitation on a PvPGN server is refused with a red line.
  core->MutableSettings().IsPvPgn = true;
  chat_server.SendMessage(SID_CLANINVITATIONRESPONSE,
                          TFakeChatServer::Dword(5) + "CBA\0"s + "The Clan\0"s + "chief\0"s);
  ASSERT_TRUE(loop.RunUntil(
      [&] { return front.Shows("[CLAN] PvPgn clan invitation now not supported."); }, kWait));
}

TEST_F(Core, QueuedLinesLeaveInOrderPacedAndUnderTheQuota) {
  core->Start();
  Advance(1000);
  ASSERT_TRUE(InChannel());
  const std::uint64_t start = loop.NowMs();
  std::size_t sent_before = 0;
  for (const std::size_t length : {20, 60, 120}) {
    std::vector<std::string> lines;
    for (int i = 0; i < 10; ++i) {
      lines.push_back(std::string(length - 1, static_cast<char>('a' + i)) + std::to_string(i));
      core->QueueLine(lines.back());
    }
    // A line leaves at the tick where the queue shrinks.
    std::vector<std::uint64_t> left;
    for (int step = 0; step < 1200 && left.size() < lines.size(); ++step) {
      const std::size_t before = core->Queue().Size();
      Advance(100);
      if (core->Queue().Size() < before) left.push_back(loop.NowMs() - start);
    }
    ASSERT_EQ(left.size(), lines.size()) << "length " << length;
    const int units = TOutgoingQueue::Units(lines[0]);
    for (std::size_t i = 1; i < left.size(); ++i) {
      EXPECT_GT(left[i] - left[i - 1], kQueueMinGapMs) << "length " << length << " line " << i;
      // Lines inside one quota window (i - k ends within 6 s of line i) stay under it.
      int in_window = units;
      for (std::size_t k = i; k-- > 0 && left[i] - left[k] < kFloodWindowMs;) in_window += units;
      EXPECT_LE(in_window, std::max(kFloodMaxUnits, units)) << "length " << length;
    }
    ASSERT_TRUE(loop.RunUntil([&] { return SentChat().size() == sent_before + 10; }, kWait));
    const std::vector<std::string> sent = SentChat();
    EXPECT_EQ(std::vector<std::string>(sent.begin() + sent_before, sent.end()), lines)
        << "every line arrives, in order";
    sent_before = sent.size();
    Advance(kFloodWindowMs);  // the next burst starts with an empty window
  }
}

TEST_F(Core, ALostConnectionEmptiesWhicheverListIsShown) {
  chat_server.SetFriends({{"Pal", 1, 2, "WAR3", "The Void"}, {"Gone", 0, 0, "WAR3", ""}});
  core->Start();
  Advance(1000);
  ASSERT_TRUE(InChannel());
  ASSERT_TRUE(loop.RunUntil([&] { return core->Bnet().Friends.size() == 2; }, kWait));
  ASSERT_TRUE(core->ChooseView(TViewMode::Friends));
  EXPECT_EQ(core->Views().Rows().size(), 2u);
  EXPECT_EQ(core->Views().Caption(), "1 friends online");
  chat_server.DropConnection();
  ASSERT_TRUE(loop.RunUntil([&] { return core->AutoconnectPending(); }, kWait));
  EXPECT_TRUE(core->Views().Rows().empty());
  EXPECT_EQ(core->Views().Caption(), "Not connected");
}

TEST_F(Core, PluginsGetChatEventsAndBotMessagesAndRestart) {
  fs::create_directories(home_ / "plugins");
  fs::copy_file(fs::path(CORVANE_TEST_PLUGINS) / "commands.so", home_ / "plugins" / "commands.so");
  const std::string log = (home_ / "calls.log").string();
  setenv("CORVANE_PLUGIN_LOG", log.c_str(), 1);
  const auto logged = [&](const std::string& line) {
    std::ifstream in(log);
    for (std::string l; std::getline(in, l);) {
      if (l == line) return true;
    }
    return false;
  };
  core->Start();
  EXPECT_TRUE(front.Shows("[PLUGIN] Loaded plugin Commands (commands.so)."));
  EXPECT_TRUE(front.Shows("[PLUGIN] Loaded 1 plugin(s)."));
  Advance(1000);
  ASSERT_TRUE(InChannel());
  EXPECT_TRUE(logged("event 1 Boss| 0 30"));

  // Information and errors from the server carry their text in the user's place.
  chat_server.SendChatEvent(0x12, "", "Welcome to the test server");
  chat_server.SendChatEvent(0x13, "", "That user is not logged on.");
  chat_server.SendChatEvent(5, "Bob", "hi all", 0, 60);
  ASSERT_TRUE(loop.RunUntil([&] { return logged("event 5 Bob|hi all 0 60"); }, kWait));
  EXPECT_TRUE(logged("event 18 Welcome to the test server| 0 0"));
  EXPECT_TRUE(logged("event 19 That user is not logged on.| 0 0"));

  // A plug-in command through the core's dispatch, answered through the queue.
  core->Database().SetUser("Bob", 100, "");
  Advance(1000);  // the flood gate opens
  chat_server.SendChatEvent(5, "Bob", ".alpha now", 0, 60);
  ASSERT_TRUE(loop.RunUntil([&] { return core->Queue().Size() == 1; }, kWait));
  Advance(1100);
  ASSERT_TRUE(loop.RunUntil(
      [&] { return SentChat() == std::vector<std::string>{"alpha ran: now"}; }, kWait));

  // Restart: unloaded (65535), then loaded again.
  std::filesystem::remove(log);
  core->RestartPlugins();
  EXPECT_TRUE(logged("msg 65535"));
  EXPECT_TRUE(logged("msg 10000"));
  ASSERT_NE(core->PluginSystem(), nullptr);
  EXPECT_EQ(core->PluginSystem()->Plugins().size(), 1u);
  core->Close();
  EXPECT_EQ(core->PluginSystem(), nullptr);
  unsetenv("CORVANE_PLUGIN_LOG");
}

// A connection dropped right after it was made leaves the BNLS connection of its logon
// still being made; the next logon, starting at once, must not wait for it for ever.
TEST_F(Core, ALogonRightAfterADroppedOneIsNotHeldUpByItsBnlsConnection) {
  core->Start();
  Advance(1000);
  ASSERT_TRUE(InChannel());
  for (int round = 0; round < 40; ++round) {
    chat_server.SetDropOn(TFakeChatServer::kDropOnAccept);
    chat_server.DropConnection();
    ASSERT_TRUE(loop.RunUntil([&] { return core->AutoconnectPending(); }, kWait));
    loop.Advance(kReconnectMs);  // reconnects, and is dropped on accept
    ASSERT_TRUE(loop.RunUntil([&] { return core->AutoconnectPending(); }, kWait));
    chat_server.SetDropOn(0);
    loop.Advance(kReconnectMs);  // at once: that logon's BNLS connection is still on its way
    bool in = false;
    for (int i = 0; i < 100 && !in; ++i) {
      in = loop.RunUntil([&] { return core->Bnet().LoggedOn; }, 20);
      loop.Advance(100);
    }
    ASSERT_TRUE(in) << "round " << round << ": bnls state "
                    << int(core->Bnet().Bnls().Client().State());
  }
}

#ifdef CORVANE_SOAK
// Long: built into its own program (label "soak"), run by hand and in soak runs.
int OpenDescriptors() {
  return static_cast<int>(
      std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// Bytes of heap in use, from the sanitizer's allocator when there is one.
std::size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

TEST_F(Core, SurvivesADropAtEveryStepOfTheLogon) {
  core->Start();
  // Lets the clock run in short steps while the sockets work (the BNLS re-open waits 400 ms).
  const auto wait = [&](const std::function<bool()>& done) {
    for (int i = 0; i < 300; ++i) {
      if (loop.RunUntil(done, 20)) return true;
      loop.Advance(100);
    }
    return false;
  };
  Advance(1000);
  ASSERT_TRUE(wait([&] { return core->Bnet().LoggedOn; }));
  const int fds = OpenDescriptors();
  const std::uint8_t steps[] = {
      TFakeChatServer::kDropOnAccept, SID_AUTH_INFO, SID_AUTH_ACCOUNTLOGON,
      SID_AUTH_ACCOUNTLOGONPROOF,     SID_ENTERCHAT, SID_JOINCHANNEL};
  for (const std::uint8_t step : steps) {
    chat_server.SetDropOn(step);
    std::size_t heap = 0;
    std::size_t reached = 0;
    for (int cycle = 0; cycle < 100; ++cycle) {
      if (cycle == 0) chat_server.DropConnection();
      // Whatever the step, the loss ends in a reconnection scheduled by the rules.
      ASSERT_TRUE(wait([&] { return core->AutoconnectPending(); }))
          << "step " << int{step} << " cycle " << cycle <<
          [&] {
            std::string tail;
            for (std::size_t i = front.lines.size() > 12 ? front.lines.size() - 12 : 0;
                 i < front.lines.size(); ++i) {
              tail += "\n" + front.lines[i].Text();
            }
            return tail + "\nchat state " + std::to_string(int(core->Bnet().ChatClient().State())) +
                   " bnls state " + std::to_string(int(core->Bnet().Bnls().Client().State()));
          }();
      // Between the 10th and the last cycle of a step the bot's heap stays flat (the same
      // state each time: disconnected, reconnection pending). The test's own records are
      // emptied each cycle so that only the bot's memory is measured.
      reached += chat_server.MessagesWithId(step).size();
      chat_server.ClearMessages();
      bnls_server.ClearRequests();
      front.lines.clear();
      if (cycle == 10) heap = HeapInUse();
      if (cycle == 99) {
        EXPECT_LT(HeapInUse(), heap + 16 * 1024) << "heap flat at step " << int{step};
      }
      loop.Advance(kReconnectMs);
    }
    if (step != TFakeChatServer::kDropOnAccept) {
      EXPECT_GE(reached, 99u) << "every cycle got as far as step " << int{step};
    }
  }
  // With the server well again the bot gets back into its channel.
  chat_server.SetDropOn(0);
  ASSERT_TRUE(wait([&] { return core->Bnet().LoggedOn && core->ChannelRoster().Size() >= 3; }));
  EXPECT_LE(OpenDescriptors(), fds + 2) << "descriptors stay flat across 600 cycles";
}
#endif

TEST_F(Core, KillKeyClosesAndNothingIsLost) {
  core->Start();
  core->Database().SetUser("Keeper", 42, "S");
  TIniFile(home_ / "profiles.ini").WriteBool("Shutdown", "Kill", true);
  Advance(1000);
  ASSERT_EQ(front.close_requests, 1);
  core->Close();
  TBotCommandControl reloaded;
  ASSERT_TRUE(reloaded.LoadFromFile((home_ / "profiles" / "test" / "usrcmd.bin").string()));
  std::int32_t access = 0;
  std::string flags;
  ASSERT_TRUE(reloaded.GetUserRights("keeper", access, flags));
  EXPECT_EQ(access, 42);

  // The next start clears the request.
  RecordingFrontEnd second_front;
  TBotCore second(loop, home_.string(), second_front);
  second.Start();
  EXPECT_FALSE(TIniFile(home_ / "profiles.ini").ReadBool("Shutdown", "Kill", true));
  second.Close();
}

}  // namespace
}  // namespace corvane
