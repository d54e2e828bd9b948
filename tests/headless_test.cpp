// The real program in headless mode against the fake servers on 127.0.0.1: a scripted
// session through stdin and stdout, signals, the quit command, options and the hold a
// running bot has on its home.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bnet/sid.h"
#include "bot/command_processor.h"
#include "config/get_settings.h"
#include "support/fake_bnls_server.h"
#include "support/fake_chat_server.h"
#include "support/program.h"
#include "support/test_home.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::TProgram;

// The access a user has in the profile's saved database, or -1.
int SavedAccess(const fs::path& home, const std::string& name) {
  TBotCommandControl db;
  std::int32_t access = -1;
  std::string flags;
  if (!db.LoadFromFile((home / "profiles" / "test" / "usrcmd.bin").string()) ||
      !db.GetUserRights(name, access, flags)) {
    return -1;
  }
  return access;
}

class Headless : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::temp_directory_path() /
            ("corvane-headless-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(home_);
    ASSERT_TRUE(test::WriteTestHome(home_, "test", chat_server_, bnls_server_, "Tester", true));
    chat_server_.SetChannelMembers({{"Boss", 0, 30}, {"Bob", 0, 60}});
  }
  void TearDown() override { fs::remove_all(home_); }

  bool Joined(TProgram& bot) {
    return bot.ReadUntil([&] { return !chat_server_.MessagesWithId(SID_JOINCHANNEL).empty(); });
  }
  bool SentLine(TProgram& bot, const std::string& line) {
    return bot.ReadUntil([&] {
      for (const auto& m : chat_server_.MessagesWithId(SID_CHATCOMMAND)) {
        if (m.body.substr(0, m.body.find('\0')) == line) return true;
      }
      return false;
    });
  }

  fs::path home_;
  test::TFakeBnlsServer bnls_server_;
  test::TFakeChatServer chat_server_;
};

TEST_F(Headless, ScriptedSessionThroughStdinStdoutAndSigterm) {
  TProgram bot(CORVANE_BIN, {"--headless", "--home", home_.string()});
  ASSERT_TRUE(Joined(bot)) << bot.Out() << bot.Err();

  // A console line: a local command with every right, then talk that is queued and echoed.
  EXPECT_TRUE(bot.Type("/add Boss 100"));
  EXPECT_TRUE(bot.Type("hello from the console"));
  ASSERT_TRUE(SentLine(bot, "hello from the console"));
  ASSERT_TRUE(bot.WaitFor("Tester: hello from the console")) << bot.Out();

  // A member's command, answered through the queue (once the flood gate that the console
  // command closed has opened again, within a second).
  bot.ReadUntil([] { return false; }, 1100);
  chat_server_.SendChatEvent(5, "Boss", ".say hi there");
  ASSERT_TRUE(SentLine(bot, "hi there")) << bot.Out();
  EXPECT_TRUE(bot.Shows("Boss: .say hi there"));

  // A whisper reaches both panes, the whisper pane's marked; control characters cannot
  // split a line or reach the terminal.
  chat_server_.SendChatEvent(4, "Bob", "psst\x1b[2J\nnext");
  ASSERT_TRUE(
      bot.WaitFor("[whisper] The whisper message of the Battle.net user Bob: psst [2J next"))
      << bot.Out();
  EXPECT_TRUE(bot.Shows("The whisper message of the Battle.net user Bob: psst [2J next"));
  EXPECT_EQ(bot.Out().find('\x1b'), std::string::npos) << "no colours into a pipe";
  // Names and text are the code page's (CP1251) and reach the terminal as UTF-8; a byte the
  // code page leaves undefined stands for a C1 control and is blanked too.
  chat_server_.SendChatEvent(4, "Ev\x98il\x9B", "\xD0\x9F\xD1\x80\xD0\xB8 \xC2\x9B");
  ASSERT_TRUE(
      bot.WaitFor("[whisper] The whisper message of the Battle.net user Ev il\u203A: При ?"))
      << bot.Out();

  // The end of stdin does not stop the bot.
  bot.CloseStdin();
  bot.ReadUntil([] { return false; }, 1100);
  chat_server_.SendChatEvent(5, "Boss", ".say still here");
  ASSERT_TRUE(SentLine(bot, "still here"));

  bot.Signal(SIGTERM);
  EXPECT_EQ(bot.Wait(), 0) << bot.Err();
  EXPECT_EQ(SavedAccess(home_, "boss"), 100) << "closed as the window closes";
}

// SIGHUP restarts the plug-in system and ends nothing; SIGINT closes with exit status 0.
TEST_F(Headless, SighupRestartsThePluginSystemAndSigintCloses) {
  fs::create_directories(home_ / "plugins");
  fs::copy_file(fs::path(CORVANE_TEST_PLUGINS) / "info_only.so",
                home_ / "plugins" / "info_only.so");
  TProgram bot(CORVANE_BIN, {"--headless", "--home", home_.string()});
  const auto loads = [&] {
    int n = 0;
    for (std::size_t at = 0;
         (at = bot.Out().find("[PLUGIN] Loaded plugin InfoOnly", at)) != std::string::npos; ++at) {
      ++n;
    }
    return n;
  };
  ASSERT_TRUE(bot.ReadUntil([&] { return loads() == 1; })) << bot.Out();
  bot.Signal(SIGHUP);
  ASSERT_TRUE(bot.ReadUntil([&] { return loads() == 2; })) << bot.Out();
  EXPECT_TRUE(bot.Type("/add Keeper 42"));
  ASSERT_TRUE(bot.WaitFor("BOT Keeper added with 42 access and flags ."));
  bot.Signal(SIGINT);
  EXPECT_EQ(bot.Wait(), 0);
  EXPECT_EQ(SavedAccess(home_, "keeper"), 42);
}

// corvane --home HOME WORDS...: the exit code, and what it said on stderr.
std::pair<int, std::string> RunCommand(const fs::path& home, const std::string& words) {
  std::vector<std::string> args{"--home", home.string()};
  std::istringstream in(words);
  for (std::string w; in >> w;) args.push_back(w);
  TProgram command(CORVANE_BIN, args);
  command.CloseStdin();
  const int code = command.Wait();
  return {code, command.Err()};
}

TEST_F(Headless, ARunningBotHoldsItsHomeUntilItEndsEvenByACrash) {
  // Started elsewhere with a relative home: it runs in its home, where relative names land.
  TProgram bot("/usr/bin/env", {"-C", home_.parent_path().string(), CORVANE_BIN, "--headless",
                                "--home", home_.filename().string()});
  ASSERT_TRUE(bot.WaitFor("[BOT] Loaded profile: test")) << bot.Out() << bot.Err();
  EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(bot.Pid()) + "/cwd"), fs::canonical(home_));
  const std::string names_it = "(process " + std::to_string(bot.Pid()) + ")";
  EXPECT_EQ(RunCommand(home_, "--headless"),
            std::make_pair(1, "corvane: another Corvane bot " + names_it + " is running on " +
                                  home_.string() + "; stop it first\n"));
  // What the bot would save over at exit is refused; the listings are not.
  for (const char* words :
       {"users add zoe 50", "profile set test Main.Trigger=!", "profile use test",
        "profile create other", "profile rename test x", "profile delete test"}) {
    const auto [code, err] = RunCommand(home_, words);
    EXPECT_EQ(code, 1) << words;
    EXPECT_NE(err.find(names_it), std::string::npos) << words << ": " << err;
  }
  EXPECT_EQ(RunCommand(home_, "users list"), std::make_pair(0, std::string()));
  EXPECT_EQ(RunCommand(home_, "profile list").first, 0);
  EXPECT_TRUE(bot.Type("/add Keeper 42"));
  ASSERT_TRUE(bot.WaitFor("BOT Keeper added with 42 access and flags .")) << "still running";

  // A crash lets the home go: the writes work, and the next bot keeps them. The quit
  // command closes it with exit status 0.
  bot.Signal(SIGKILL);
  EXPECT_EQ(bot.Wait(), -1);
  EXPECT_EQ(RunCommand(home_, "users add zoe 50"), std::make_pair(0, std::string()));
  EXPECT_EQ(RunCommand(home_, "profile set test Main.Trigger=!").first, 0);
  TProgram next(CORVANE_BIN, {"--headless", "--home", home_.string()});
  ASSERT_TRUE(next.WaitFor("[BOT] Loaded profile: test")) << next.Out() << next.Err();
  EXPECT_TRUE(next.Type("/quit"));
  EXPECT_EQ(next.Wait(), 0) << next.Err();
  EXPECT_EQ(SavedAccess(home_, "zoe"), 50);
  TSettings saved;
  saved.Load((home_ / "profiles" / "test" / "profile.ini").string());
  EXPECT_EQ(saved.Trigger, "!");
}

// On a full disk the bot says which file it could not save and why, on stderr where a
// service's failures are looked for, and its exit status says so.
TEST_F(Headless, AFullDiskIsReportedAndTheExitStatusSaysSo) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a small tmpfs as a full disk";
  const fs::path disk = home_.string() + "-disk";
  fs::create_directories(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=512k") != 0) {
    fs::remove(disk);
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  }
  struct TUnmount {
    fs::path at;
    ~TUnmount() {
      ::umount2(at.c_str(), MNT_DETACH);
      std::error_code ignored;
      fs::remove_all(at, ignored);
    }
  } unmount{disk};
  const fs::path home = disk / "home";
  ASSERT_TRUE(test::WriteTestHome(home, "test", chat_server_, bnls_server_, "Tester", true));
  TProgram bot(CORVANE_BIN, {"--headless", "--home", home.string()});
  ASSERT_TRUE(Joined(bot)) << bot.Out() << bot.Err();
  {
    std::ofstream filler(disk / "filler", std::ios::binary);
    const std::string block(64 * 1024, '\0');
    for (int i = 0; i < 64 && filler.write(block.data(), block.size()); ++i) filler.flush();
  }
  EXPECT_TRUE(bot.Type("/add Zed 10"));
  const std::string failure = "Cannot save " +
                              (home / "profiles" / "test" / "usrcmd.bin").string() +
                              ": No space left on device";
  ASSERT_TRUE(bot.ReadUntil([&] {
    return bot.Err().find("corvane: " + failure) != std::string::npos;
  })) << bot.Err();
  EXPECT_TRUE(bot.Shows("[BOT] " + failure));
  bot.Signal(SIGTERM);
  EXPECT_EQ(bot.Wait(), 1) << bot.Err();
}

TEST(HeadlessOptions, HelpVersionAndUnknownOptions) {
  const struct {
    std::vector<std::string> args;
    int code;
    const char* says;
  } cases[] = {{{"--version"}, 0, "corvane "},
               {{"--help"}, 0, "--headless"},
               {{"--bogus"}, 2, "unknown option '--bogus'"},
               {{"--headless", "--home"}, 2, "--home needs a folder"}};
  for (const auto& c : cases) {
    TProgram bot(CORVANE_BIN, c.args);
    bot.CloseStdin();
    EXPECT_EQ(bot.Wait(), c.code) << c.args.back();
    EXPECT_NE((bot.Out() + bot.Err()).find(c.says), std::string::npos) << bot.Out() << bot.Err();
  }
}

// The newcomer's demo: the demo server and the bot on a demo profile in a temporary home.
TEST(Demo, LogsOnGreetsAMemberAndAnswersHerCommandWithinSeconds) {
  const std::string build = fs::path(CORVANE_BIN).parent_path().string();
  TProgram demo("/usr/bin/env",
                {"CORVANE_DEMO_SECONDS=9", "bash", CORVANE_SOURCE_DIR "/tools/demo.sh", build});
  EXPECT_TRUE(demo.WaitFor("DemoBot: Welcome to the demo, Alice!")) << demo.Out() << demo.Err();
  EXPECT_TRUE(demo.WaitFor("DemoBot: Alice you have 100 access.")) << demo.Out() << demo.Err();
  EXPECT_EQ(demo.Wait(15000), 0) << demo.Err();
  // The temporary home is gone with the demo.
  const std::string out = demo.Out();
  const std::size_t at = out.find("the bot's home in ");
  ASSERT_NE(at, std::string::npos);
  const std::string home = out.substr(at + 18, out.find(';', at) - at - 18);
  EXPECT_FALSE(fs::exists(home)) << home;
}

}  // namespace
}  // namespace corvane
