// The application core end to end: fake chat and BNLS servers on 127.0.0.1, a recording
// front end, and a manual clock for every timer.

#include "app/bot_core.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include "bnet/sid.h"
#include "config/ini_file.h"
#include "net/main_loop.h"
#include "net/timeouts.h"
#include "support/fake_bnls_server.h"
#include "support/fake_chat_server.h"
#include "support/session_feed.h"
#include "support/test_home.h"

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
  void ReportFailure(const std::string& text) override { failures.push_back(text); }
  void ViewChanged(const TViewChange& change) override { changes.push_back(change); }
  void ClanInvitation(const std::string& tag, const std::string& inviter, std::uint32_t,
                      const std::string&) override {
    invitations.push_back(tag + " " + inviter);
  }
  std::optional<TWindowGeometry> Geometry() const override { return geometry; }
  void ApplyGeometry(const TWindowGeometry& g) override { geometry = g; }
  int Count(const std::string& text, TPane pane = TPane::Chat) const {
    int n = 0;
    for (const TPaneLine& l : lines) n += l.pane == pane && l.Text() == text;
    return n;
  }
  bool Shows(const std::string& text, TPane pane = TPane::Chat) const {
    return Count(text, pane) > 0;
  }
  std::vector<TPaneLine> lines;
  std::vector<std::string> failures;
  std::vector<TViewChange> changes;
  std::vector<std::string> invitations;
  std::optional<TWindowGeometry> geometry;  // none: a console
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
    return loop.RunUntil([&] { return core->LoggedOn() && core->ChannelRoster().Size() >= 3; },
                         kWait);
  }
  bool StartInChannel() {
    core->Start();
    Advance(1000);
    return InChannel();
  }
  // Moves the clock in 100 ms steps, letting the socket threads' hand-offs run between.
  void Advance(std::uint64_t ms) {
    for (std::uint64_t done = 0; done < ms; done += 100) {
      loop.Advance(100);
      loop.RunUntil([] { return false; }, 2);
    }
  }
  // Lets the connections of the last logon finish closing before the clock starts the next
  // one: the session waits for its BNLS connection on the clock, which stands still here.
  void SettleAndAdvance(std::uint64_t ms) {
    loop.RunUntil([&] { return !core->Bnet().Bnls().Client().Active(); }, kWait);
    loop.Advance(ms);
  }
  // A chat event as the session would receive it, handed over at once (no socket, no wait).
  void Inject(std::uint32_t event, const std::string& user, const std::string& text) {
    test::Feed(core->Bnet(), test::ChatEventFrame(event, user, text, 0, 20));
  }
  // The access and flags that usrcmd.bin holds for the user; "none" without him.
  std::string StoredRights(const std::string& name) const {
    TBotCommandControl db;
    std::int32_t access = 0;
    std::string flags;
    return db.LoadFromFile((home_ / "profiles" / "test" / "usrcmd.bin").string()) &&
                   db.GetUserRights(name, access, flags)
               ? std::to_string(access) + flags
               : std::string("none");
  }
  std::vector<std::string> Sent(std::uint8_t id) {
    std::vector<std::string> out;
    for (const auto& m : chat_server.MessagesWithId(id)) out.push_back(m.body);
    return out;
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
  EXPECT_FALSE(core->Connected()) << "the connection waits one second";
  Advance(1000);
  ASSERT_TRUE(InChannel());
  EXPECT_EQ(core->Views().Caption(), "The Void(3)");

  core->Database().SetUser("Boss", 100, "");
  chat_server.SendChatEvent(5, "Boss", ".kick Bob");
  // An idle queue lets the kick go at once, with no clock moving.
  ASSERT_TRUE(loop.RunUntil([&] { return !SentChat().empty(); }, kWait));
  EXPECT_EQ(SentChat(), std::vector<std::string>{"/kick Bob"});
  EXPECT_TRUE(front.Shows("Boss: .kick Bob"));

  // Typed lines: a console command runs locally, other text is queued and echoed.
  EXPECT_TRUE(core->TypeLine("", "/whoami"));
  EXPECT_TRUE(core->TypeLine("", "hello all"));
  EXPECT_FALSE(core->TypeLine("", ""));
  EXPECT_EQ(core->History(), (std::vector<std::string>{"hello all", "/whoami"}));
  Advance(1100);
  ASSERT_TRUE(loop.RunUntil([&] { return SentChat().size() == 2; }, kWait));
  EXPECT_TRUE(front.Shows("Tester: hello all"));
}

TEST_F(Core, ReconnectRulesAfterDropsUserDisconnectsAndFlooding) {
  ASSERT_TRUE(StartInChannel());
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
  ASSERT_TRUE(loop.RunUntil([&] { return !core->Connected(); }, kWait));
  loop.RunUntil([] { return false; }, 100);
  EXPECT_FALSE(core->AutoconnectPending());
}

TEST_F(Core, WhispersLocalCommandsAndClanEventsReachTheRightPlaces) {
  ASSERT_TRUE(StartInChannel());

  chat_server.SendChatEvent(4, "Bob", "psst");
  ASSERT_TRUE(loop.RunUntil([&] { return core->LastWhisperer() == "Bob"; }, kWait));
  const std::string head = "The whisper message of the Battle.net user Bob";
  EXPECT_TRUE(front.Shows(head + ": psst", TPane::Chat));
  EXPECT_EQ(front.lines.back().runs.front(), (TTextRun{head + ":", kGreen}));
  EXPECT_EQ(front.lines.back().pane, TPane::Whisper);

  // An operator's flags change moves him to the top of the channel view.
  chat_server.SendChatEvent(9, "Bob", "", 2);
  ASSERT_TRUE(loop.RunUntil([&] { return core->Views().Rows().front().name == "Bob"; }, kWait));

  // Local commands act when they leave the queue and are never sent as chat.
  EXPECT_TRUE(core->TypeLine("", "/join Elsewhere"));
  Advance(1100);
  ASSERT_TRUE(loop.RunUntil([&] { return core->CurrentChannel() == "Elsewhere"; }, kWait));
  EXPECT_TRUE(SentChat().empty());

  // A clan invitation is put to the front end and answered through the core, once.
  chat_server.SendMessage(SID_CLANINVITATIONRESPONSE,
                          TFakeChatServer::Dword(5) + "CBA\0"s + "The Clan\0"s + "chief\0"s);
  ASSERT_TRUE(loop.RunUntil([&] { return !front.invitations.empty(); }, kWait));
  EXPECT_EQ(front.invitations, std::vector<std::string>{"ABC chief"});
  core->AnswerClanInvitation(true);
  core->AnswerClanInvitation(false);
  ASSERT_TRUE(loop.RunUntil([&] { return !Sent(SID_CLANINVITATIONRESPONSE).empty(); }, kWait));
  loop.RunUntil([] { return false; }, 50);
  EXPECT_EQ(Sent(SID_CLANINVITATIONRESPONSE),
            std::vector<std::string>{TFakeChatServer::Dword(5) + "CBA\0"s + "chief\0"s + "\x06"});

  // A clan invitation on a PvPGN server is refused with a red line.
  core->MutableSettings().IsPvPgn = true;
  chat_server.SendMessage(SID_CLANINVITATIONRESPONSE,
                          TFakeChatServer::Dword(5) + "CBA\0"s + "The Clan\0"s + "chief\0"s);
  ASSERT_TRUE(loop.RunUntil(
      [&] { return front.Shows("[CLAN] PvPgn clan invitation now not supported."); }, kWait));
}

TEST_F(Core, ALostConnectionEmptiesWhicheverListIsShown) {
  chat_server.SetFriends({{"Pal", 1, 2, "WAR3", "The Void"}, {"Gone", 0, 0, "WAR3", ""}});
  ASSERT_TRUE(StartInChannel());
  ASSERT_TRUE(loop.RunUntil([&] { return core->Bnet().Friends().size() == 2; }, kWait));
  ASSERT_TRUE(core->ChooseView(TViewMode::Friends));
  EXPECT_EQ(core->Views().Rows().size(), 2u);
  EXPECT_EQ(core->Views().Caption(), "1 friends online");
  chat_server.DropConnection();
  ASSERT_TRUE(loop.RunUntil([&] { return core->AutoconnectPending(); }, kWait));
  EXPECT_TRUE(core->Views().Rows().empty());
  EXPECT_EQ(core->Views().Caption(), "Not connected");
  EXPECT_EQ(front.changes.back(), TViewChange::Reset());
}

// A list model updates the one row that a join or a leave changes.
TEST_F(Core, TheFrontEndLearnsWhichRowChanged) {
  ASSERT_TRUE(StartInChannel());
  front.changes.clear();
  chat_server.SendChatEvent(2, "Ann", "PX3W 1R3W 3");
  chat_server.SendChatEvent(2, "Op", "PX3W 1R3W 3", 2);
  chat_server.SendChatEvent(3, "Boss", "");
  // Only the rows count: the friends list arriving late changes the caption alone.
  const auto rows = [&] {
    std::vector<TViewChange> changes;
    std::copy_if(front.changes.begin(), front.changes.end(), std::back_inserter(changes),
                 [](const TViewChange& c) { return c.kind != TViewChange::TKind::Caption; });
    return changes;
  };
  ASSERT_TRUE(loop.RunUntil([&] { return rows().size() >= 3; }, kWait));
  // Boss, Bob and the bot were there; the operator goes to the top.
  EXPECT_EQ(core->Views().Rows().size(), 4u);
  EXPECT_EQ(rows(), (std::vector<TViewChange>{TViewChange::Inserted(3), TViewChange::Inserted(0),
                                              TViewChange::Removed(1)}));
}

TEST_F(Core, PluginsGetChatEventsAndBotMessagesAndRestart) {
  fs::create_directories(home_ / "plugins");
  fs::copy_file(fs::path(CORVANE_TEST_PLUGINS) / "commands.so", home_ / "plugins" / "commands.so");
  const std::string log = (home_ / "calls.log").string();
  setenv("CORVANE_PLUGIN_LOG", log.c_str(), 1);
  const auto logged = [&](const std::string& line) {
    std::ostringstream text;
    text << std::ifstream(log).rdbuf();
    return ("\n" + text.str()).find("\n" + line + "\n") != std::string::npos;
  };
  core->Start();
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
  ASSERT_TRUE(loop.RunUntil(
      [&] { return SentChat() == std::vector<std::string>{"alpha ran: now"}; }, kWait));

  core->Close();
  EXPECT_EQ(core->PluginSystem(), nullptr);
  unsetenv("CORVANE_PLUGIN_LOG");
}

// A connection dropped right after it was made leaves the BNLS connection of its logon
// still being made; the next logon, starting at once, must not wait for it for ever.
TEST_F(Core, ALogonRightAfterADroppedOneIsNotHeldUpByItsBnlsConnection) {
  ASSERT_TRUE(StartInChannel());
  for (int round = 0; round < 40; ++round) {
    chat_server.SetDropOn(TFakeChatServer::kDropOnAccept);
    chat_server.DropConnection();
    ASSERT_TRUE(loop.RunUntil([&] { return core->AutoconnectPending(); }, kWait));
    loop.Advance(core->AutoconnectInterval());  // reconnects, and is dropped on accept
    ASSERT_TRUE(loop.RunUntil([&] { return core->AutoconnectPending(); }, kWait));
    chat_server.SetDropOn(0);
    // At once: that logon's BNLS connection is still on its way.
    loop.Advance(core->AutoconnectInterval());
    bool in = false;
    for (int i = 0; i < 100 && !in; ++i) {
      in = loop.RunUntil([&] { return core->LoggedOn(); }, 20);
      loop.Advance(100);
    }
    ASSERT_TRUE(in) << "round " << round;
  }
}

// A refused account is tried again later and later, up to ten minutes apart; reaching the
// channel starts the count again.
TEST_F(Core, FailedLogonsBackOffAndReachingTheChannelResetsTheWait) {
  chat_server.SetAccount("Tester", "not the password");
  core->Start();
  Advance(1000);
  std::uint32_t base = kReconnectMs;
  for (int attempt = 0; attempt < 10; ++attempt) {
    ASSERT_TRUE(loop.RunUntil([&] { return core->AutoconnectPending(); }, kWait)) << attempt;
    const std::uint32_t wait = core->AutoconnectInterval();
    EXPECT_GE(wait, base) << attempt;
    EXPECT_LE(wait, base + base / 5) << attempt;
    if (attempt == 9) chat_server.SetAccount("Tester", "Secret");
    SettleAndAdvance(wait);
    base = std::min(base * 2, kMaxReconnectMs);
  }
  ASSERT_TRUE(InChannel());
  EXPECT_EQ(core->FailedAttempts(), 0);
  chat_server.DropConnection();
  ASSERT_TRUE(loop.RunUntil([&] { return core->AutoconnectPending(); }, kWait));
  EXPECT_LE(core->AutoconnectInterval(), kReconnectMs * 6 / 5);
}

// Servers that accept and then say nothing: the logon is given up with a red line and the
// reconnection rules run; once logged on, the bot keeps the link busy enough for TCP to
// notice a peer that vanished.
TEST_F(Core, SilentServersAreGivenUpAndALiveLinkIsKeptAlive) {
  test::TFakeTcpServer silent;
  const auto red = [&](const std::string& text) {
    return std::any_of(front.lines.begin(), front.lines.end(), [&](const TPaneLine& l) {
      return l.Text() == text && l.runs.front().color == kRed;
    });
  };
  core->Start();
  struct Case {
    const char* name;
    bool silent_chat;
    std::size_t bytes_before_silence;  // what the silent server receives first
    std::uint32_t timeout;
    const char* line;
  };
  const Case cases[] = {
      {"chat server", true, 52, kLogonTimeoutMs,
       "[BNET] The server did not complete the logon in time."},
      {"BNLS server", false, 7, kBnlsAnswerTimeoutMs,
       "[BNET] The BNLS server did not answer in time."},
  };
  std::uint32_t next_attempt = kStartupConnectMs;
  for (const Case& c : cases) {
    silent.ClearReceived();
    core->MutableSettings().BnetPort = c.silent_chat ? silent.Port() : chat_server.Port();
    core->MutableSettings().BnlsPort = c.silent_chat ? bnls_server.Port() : silent.Port();
    SettleAndAdvance(next_attempt);
    ASSERT_TRUE(
        loop.RunUntil([&] { return silent.Received().size() >= c.bytes_before_silence; }, kWait))
        << c.name;
    loop.Advance(c.timeout - 1);
    EXPECT_FALSE(red(c.line)) << c.name;
    loop.Advance(1);
    EXPECT_TRUE(red(c.line)) << c.name;
    ASSERT_TRUE(loop.RunUntil([&] { return core->AutoconnectPending(); }, kWait)) << c.name;
    next_attempt = core->AutoconnectInterval();
  }

  core->MutableSettings().BnlsPort = bnls_server.Port();
  SettleAndAdvance(next_attempt);
  ASSERT_TRUE(InChannel());
  chat_server.ClearMessages();
  loop.Advance(3 * kKeepAliveMs);
  // The loop must run while waiting: the client thread hands what it reads to the main
  // thread and sends nothing more until that is taken.
  ASSERT_TRUE(
      loop.RunUntil([&] { return chat_server.MessagesWithId(SID_NULL).size() >= 3; }, kWait));
  EXPECT_EQ(chat_server.MessagesWithId(SID_NULL).size(), 3u);
  EXPECT_TRUE(chat_server.MessagesWithId(SID_NULL)[0].body.empty());
  EXPECT_TRUE(core->LoggedOn()) << "a quiet channel is no reason to leave";
}

// Members who keep the bot talking for an hour of test clock: the queue stays short, no
// line breaks the pacing, and the owner's operator is answered within ten seconds every
// time.
TEST_F(Core, AnHourOfHostileMembersLeavesTheOperatorHeard) {
  ASSERT_TRUE(StartInChannel());
  core->Database().SetUser("Op", 100, "");
  core->MutableSettings().GreetEnable = true;
  core->MutableSettings().GreetMsg = "Welcome %uname";
  const std::string op_reply = "/w Op Op you have 100 access.";
  struct Load {
    const char* name;
    std::string reply;  // of the custom command the members run; empty: they join and leave
  };
  const Load loads[] = {{"short replies", "Hi %user"},
                        {"long replies", std::string(100, 'x') + " %user"},
                        {"greetings", ""}};
  for (const Load& load : loads) {
    if (!load.reply.empty()) {
      core->Database().AddCustomCommand("hi", load.reply, true, true, 0, "");
    }
    loop.Advance(120'000);  // whatever the last load left has gone
    loop.RunUntil([] { return false; }, 50);
    chat_server.ClearMessages();
    const std::uint64_t taken_before = core->Queue().Taken();
    std::vector<std::uint32_t> taken_at;
    std::vector<std::uint32_t> asked_at;
    std::size_t longest = 0;
    const std::uint32_t start = loop.TickMs();
    for (std::uint32_t t = 0; t < 3'600'000; t += 100) {
      for (int m = 0; m < 3; ++m) {
        const std::string name = std::string("Hostile") + static_cast<char>('A' + m);
        if (!load.reply.empty() && (t + 367u * m) % 1100 < 100) Inject(5, name, ".hi");
        if (load.reply.empty() && (t + 300u * m) % 1000 < 100) {
          Inject(2, name, "PX3W 1R3W 0");
          Inject(3, name, "");
        }
      }
      if (t % 30'000 == 5000) {
        Inject(4, "Op", ".whoami");
        asked_at.push_back(loop.TickMs());
      }
      loop.Advance(100);
      loop.ProcessEvents(0);
      if (core->Queue().Taken() - taken_before > taken_at.size()) {
        taken_at.push_back(core->Queue().LastTaken());
      }
      longest = std::max(longest, core->Queue().Size());
    }
    EXPECT_LE(longest, kQueueReplyBound) << load.name;
    EXPECT_LE(core->Database().Gate.Shut(), 4u) << load.name;
    ASSERT_TRUE(loop.RunUntil([&] { return SentChat().size() == taken_at.size(); }, 20000))
        << load.name << ": " << SentChat().size() << " of " << taken_at.size();
    const std::vector<std::string> sent = SentChat();
    std::vector<std::uint32_t> answered_at;
    for (std::size_t i = 0; i < sent.size(); ++i) {
      if (sent[i] == op_reply) answered_at.push_back(taken_at[i]);
      int units = 0;  // no line breaks the pacing
      for (std::size_t k = i; k < sent.size() && taken_at[k] - taken_at[i] < kFloodWindowMs; ++k) {
        units += TOutgoingQueue::Units(sent[k]);
      }
      EXPECT_LE(units, kFloodMaxUnits) << load.name << " window at line " << i;
      EXPECT_TRUE(i == 0 || taken_at[i] - taken_at[i - 1] > kQueueMinGapMs) << load.name << i;
    }
    ASSERT_EQ(answered_at.size(), asked_at.size()) << load.name;
    for (std::size_t i = 0; i < asked_at.size(); ++i) {
      EXPECT_LE(answered_at[i] - asked_at[i], 10'000u) << load.name << " command " << i;
    }
    // One long line per quota window at least: the members were answered too.
    EXPECT_GT(sent.size(), 3'600'000 / kFloodWindowMs) << load.name;
    EXPECT_LE(taken_at.back() - start, 3'600'000u + kReplyMaxWaitMs) << load.name;
  }
}

// What changes is on disk within two seconds, so that a crash loses little; a save that
// fails is said, once, and the close reports it to the program.
TEST_F(Core, ChangesAreSavedAsTheyHappenAndFailedSavesAreReported) {
  const fs::path db_path = home_ / "profiles" / "test" / "usrcmd.bin";
  const auto stored = [&](const std::string& name) { return StoredRights(name); };
  ASSERT_TRUE(StartInChannel());
  core->Database().SetUser("Boss", 100, "");
  Inject(5, "Boss", ".add bob 50");
  loop.Advance(kAntiFloodMs);
  Inject(5, "Boss", ".shitlist eve");
  core->ToggleJoinNotify();
  loop.Advance(kSaveDelayMs);
  EXPECT_EQ(stored("bob"), "50");
  EXPECT_EQ(stored("eve"), "0B");
  const fs::path profile_ini = home_ / "profiles" / "test" / "profile.ini";
  EXPECT_TRUE(TIniFile(profile_ini).ReadBool("Main", "JoinNotify", false));

  // What a dialog edits goes through the core and the database, and is saved as well.
  TSettings edited = core->Settings();
  edited.HomeChannel = "Edited";
  core->ApplySettings(edited);
  const TBotCmdUser* bob = nullptr;
  for (const auto& u : core->Database().Users()) {
    if (u->Name == "bob") bob = u.get();
  }
  ASSERT_NE(bob, nullptr);
  EXPECT_TRUE(core->Database().UpdateUser(bob, TBotCmdUser{"bobby", 60, "S"}));
  loop.Advance(kSaveDelayMs);
  EXPECT_EQ(stored("bobby"), "60S");
  EXPECT_EQ(TIniFile(profile_ini).ReadString("Main", "HomeChannel", ""), "Edited");

  // The server's test payload lands in the home, wherever the program was started.
  chat_server.SendMessage(SID_WARCRAFTGENERAL, "\x02"s + std::string(13, '\0') + "\x01\0"s + "z");
  ASSERT_TRUE(loop.RunUntil([&] { return fs::exists(home_ / "bottest0x02.bin"); }, kWait));

  // A file that cannot be written (here a folder stands in its place).
  fs::remove(db_path);
  fs::create_directory(db_path);
  Inject(5, "Boss", ".add carl 40");
  loop.Advance(kSaveDelayMs);
  const std::string failure = "Cannot save " + db_path.string() + ": Is a directory";
  EXPECT_TRUE(front.Shows("[BOT] " + failure));
  EXPECT_EQ(front.failures, std::vector<std::string>{failure});
  loop.Advance(kAntiFloodMs);
  Inject(5, "Boss", ".add dan 40");
  loop.Advance(kSaveDelayMs);
  EXPECT_EQ(front.Count("[BOT] " + failure), 1) << "said once, not at every change";
  EXPECT_FALSE(core->Close()) << "the last save failed too";
  EXPECT_EQ(front.failures.size(), 2u);
}

// The anti-idle line at most once a minute and at least once in 24 days, whatever the
// profile says.
TEST_F(Core, IdleIntervalsOutsideTheirRangeAreClamped) {
  ASSERT_TRUE(StartInChannel());
  const fs::path ini = home_ / "profiles" / "test" / "profile.ini";
  struct Case {
    std::int32_t minutes;
    std::uint64_t quiet_for;  // no line in this time
  };
  TIniFile(ini).WriteString("Idle messages", "Enable", "1");
  TIniFile(ini).WriteString("Idle messages", "Msg", "still here");
  for (const Case c : {Case{0, 59'000}, Case{71583, 3'600'000}, Case{-5, 59'000}}) {
    TIniFile(ini).WriteInteger("Idle messages", "Interval", c.minutes);
    core->LoadProfile();
    front.lines.clear();
    loop.Advance(c.quiet_for);
    EXPECT_EQ(front.Count("Tester: still here"), 0) << c.minutes;
  }
  loop.Advance(2000);
  EXPECT_EQ(front.Count("Tester: still here"), 1) << "a minute after -5";
}

// Another program may ask the bot to close through profiles.ini; the bot looks every
// second, but reads the file again only when it changed.
TEST_F(Core, TheShutdownWatchReadsProfilesIniOnlyWhenItChanged) {
  {
    std::ofstream pad(home_ / "profiles.ini", std::ios::app);
    pad << "[Padding]\n";
    for (int i = 0; i < 40'000; ++i) pad << "Key" << i << '=' << std::string(100, 'x') << '\n';
  }
  core->Start();
  // As if written long ago: a file changed in the last moments is always read again.
  const timespec old_times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 3600, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (home_ / "profiles.ini").c_str(), old_times, 0), 0);
  const auto bytes_read = [] {
    std::string key;
    std::uint64_t value = 0;
    for (std::ifstream io("/proc/self/io"); io >> key >> value && key != "rchar:";) {
    }
    return value;
  };
  const std::uint64_t before = bytes_read();
  loop.Advance(10 * kShutdownWatchMs);
  EXPECT_LT(bytes_read() - before, 2 * fs::file_size(home_ / "profiles.ini"));
  TIniFile(home_ / "profiles.ini").WriteBool("Shutdown", "Kill", true);
  loop.Advance(kShutdownWatchMs);
  EXPECT_EQ(front.close_requests, 1);
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
  ASSERT_TRUE(wait([&] { return core->LoggedOn(); }));
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
          << "step " << int{step} << " cycle " << cycle;
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
      loop.Advance(core->AutoconnectInterval());
    }
    if (step != TFakeChatServer::kDropOnAccept) {
      EXPECT_GE(reached, 99u) << "every cycle got as far as step " << int{step};
    }
  }
  // With the server well again the bot gets back into its channel.
  chat_server.SetDropOn(0);
  ASSERT_TRUE(wait([&] { return core->LoggedOn() && core->ChannelRoster().Size() >= 3; }));
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
  EXPECT_EQ(StoredRights("keeper"), "42S");

  // The next start clears the request. A window's place is read at the start, each key
  // defaulting to where the window is, and written at the close; a console has none.
  EXPECT_TRUE(TIniFile(home_ / "profiles.ini").ReadSections().size() == 2u) << "no Ui section";
  TIniFile(home_ / "profiles.ini").WriteInteger("Ui", "Left", 50);
  RecordingFrontEnd window;
  window.geometry = TWindowGeometry{1, 2, 300, 400};
  TBotCore second(loop, home_.string(), window);
  second.Start();
  EXPECT_FALSE(TIniFile(home_ / "profiles.ini").ReadBool("Shutdown", "Kill", true));
  EXPECT_EQ(window.geometry, (TWindowGeometry{50, 2, 300, 400}));
  window.geometry->height = 444;
  second.Close();
  EXPECT_EQ(TIniFile(home_ / "profiles.ini").ReadInteger("Ui", "Height", 0), 444);
}

}  // namespace
}  // namespace corvane
