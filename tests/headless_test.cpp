// The real program in headless mode against the fake servers on 127.0.0.1: a scripted
// session through stdin and stdout, signals, the quit command, options and the hold a
// running bot has on its home.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/fake_bnls_server.h"
#include "support/fake_chat_server.h"
#include "support/program.h"
#include "support/test_home.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::TProgram;

// corvane --home HOME WORDS...: the exit code, and what it wrote (stdout, then stderr).
std::pair<int, std::string> RunCommand(const fs::path& home, const std::string& words) {
  std::vector<std::string> args{"--home", home.string()};
  std::istringstream in(words);
  for (std::string w; in >> w;) args.push_back(w);
  TProgram command(CORVANE_BIN, args);
  command.CloseStdin();
  return {command.Wait(), command.Out() + command.Err()};  // in that order
}

class Headless : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::path(mkdtemp(dir_name_)) / "home";
    ASSERT_TRUE(test::WriteTestHome(home_, "test", chat_, bnls_, "Tester", true));
    chat_.SetChannelMembers({{"Boss", 0, 30}, {"Bob", 0, 60}});
  }
  void TearDown() override { fs::remove_all(dir_name_); }

  char dir_name_[32] = "/tmp/corvane-headless-XXXXXX";
  fs::path home_;
  test::TFakeBnlsServer bnls_;
  test::TFakeChatServer chat_;
};

TEST_F(Headless, ScriptedSessionThroughStdinStdoutAndSignals) {
  fs::create_directories(home_ / "plugins");
  fs::copy_file(fs::path(CORVANE_TEST_PLUGINS) / "info_only.so", home_ / "plugins" / "a.so");
  TProgram bot(CORVANE_BIN, {"--headless", "--home", home_.string()});
  const std::string load = "[PLUGIN] Loaded plugin InfoOnly";
  ASSERT_TRUE(bot.ReadUntil([&] { return bot.Out().find("Joined to channel") != bot.Out().npos; }))
      << bot.Out() << bot.Err();
  // A console line in UTF-8: a local command with every right, then talk that is queued
  // and echoed.
  EXPECT_TRUE(bot.Type("/add Boss 100"));
  EXPECT_TRUE(bot.Type("hello Жора"));
  ASSERT_TRUE(bot.WaitFor("Tester: hello Жора")) << bot.Out();
  // SIGHUP restarts the plug-in system and ends nothing.
  bot.Signal(SIGHUP);
  ASSERT_TRUE(bot.ReadUntil([&] { return bot.Out().find(load) != bot.Out().rfind(load); }));

  // Control characters cannot split a line or reach the terminal. Names and text are the
  // code page's (CP1251) and reach the terminal as UTF-8; a byte the code page leaves
  // undefined stands for a C1 control and is blanked too.
  const std::string whisper = "[whisper] The whisper message of the Battle.net user ";
  chat_.SendChatEvent(4, "Ev\x98il\x9B", "psst\x1b[2J\nnext \xD0\x9F\xD1\x80\xD0\xB8 \xC2\x9B");
  ASSERT_TRUE(bot.WaitFor(whisper + "Ev il\u203A: psst [2J next При ?")) << bot.Out();
  EXPECT_EQ(bot.Out().find('\x1b'), std::string::npos) << "no colours into a pipe";

  // The end of stdin does not stop the bot: a member's command is still answered (once the
  // flood gate that the console command closed has opened again, within a second).
  bot.CloseStdin();
  bot.ReadUntil([] { return false; }, 1100);
  chat_.SendChatEvent(5, "Boss", ".say still here");
  ASSERT_TRUE(bot.WaitFor("Tester: still here")) << bot.Out();
  bot.Signal(SIGTERM);
  EXPECT_EQ(bot.Wait(), 0) << bot.Err();
  EXPECT_EQ(RunCommand(home_, "users list"), std::make_pair(0, std::string("Boss\t100\t\n")));
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
  // A change goes to the running bot, which would save its own copy over the files at
  // exit; with its socket gone (a bot that never opened one), the change is refused rather
  // than written behind its back.
  EXPECT_EQ(RunCommand(home_, "users add amy 10").first, 0);
  fs::remove(home_ / "corvane.sock");
  for (const char* words :
       {"users add zoe 50", "profile set test Main.Trigger=!", "profile use test",
        "profile create other", "profile rename test x", "profile delete test"}) {
    const auto [code, err] = RunCommand(home_, words);
    EXPECT_EQ(code, 1) << words;
    EXPECT_NE(err.find(names_it), std::string::npos) << words << ": " << err;
  }
  for (const char* words : {"users list", "profile list"})
    EXPECT_EQ(RunCommand(home_, words).first, 0);

  // A crash lets the home go: the writes work, and the next bot keeps them (and the one
  // the killed bot had saved at once). It ends with exit status 0 at SIGINT, saving, or at
  // the quit command.
  bot.Signal(SIGKILL);
  EXPECT_EQ(bot.Wait(), -1);
  EXPECT_EQ(RunCommand(home_, "users add zoe 50").first, 0);
  for (const int sig : {SIGINT, 0}) {  // 0: the quit command
    TProgram next(CORVANE_BIN, {"--headless", "--home", home_.string()});
    ASSERT_TRUE(next.WaitFor("[BOT] Loaded profile: test")) << next.Out() << next.Err();
    EXPECT_TRUE(next.Type(sig != 0 ? "/add Keeper 42" : "/quit"));
    if (sig != 0 && next.WaitFor("BOT Keeper added with 42 access and flags .")) next.Signal(sig);
    EXPECT_EQ(next.Wait(), 0) << sig << next.Err();
  }
  EXPECT_EQ(RunCommand(home_, "users list").second, "amy\t10\t\nzoe\t50\t\nKeeper\t42\t\n");
}

// On a full disk the bot says which file it could not save and why, on stderr where a
// service's failures are looked for, and its exit status says so.
TEST_F(Headless, AFullDiskIsReportedAndTheExitStatusSaysSo) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a small tmpfs as a full disk";
  const fs::path disk = home_.parent_path() / "disk", home = disk / "home";
  fs::create_directories(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=512k") != 0) GTEST_SKIP() << "no tmpfs";
  struct TUnmount {
    std::string at;
    ~TUnmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{disk.string()};
  ASSERT_TRUE(test::WriteTestHome(home, "test", chat_, bnls_, "Tester", true));
  TProgram bot(CORVANE_BIN, {"--headless", "--home", home.string()});
  ASSERT_TRUE(bot.WaitFor("[BOT] Loaded profile: test")) << bot.Out() << bot.Err();
  std::ofstream(disk / "filler") << std::string(1 << 20, 'f');  // more than it holds
  EXPECT_TRUE(bot.Type("/add Zed 10"));
  const std::string failure =
      "Cannot save " + (home / "profiles/test/usrcmd.bin").string() + ": No space left on device";
  ASSERT_TRUE(bot.ReadUntil([&] {
    return bot.Err().find("corvane: " + failure) != std::string::npos;
  })) << bot.Err();
  EXPECT_TRUE(bot.Shows("[BOT] " + failure));
  bot.Signal(SIGTERM);
  EXPECT_EQ(bot.Wait(), 1) << bot.Err();
}

TEST_F(Headless, HelpVersionAndUnknownOptions) {
  for (const auto& [words, code] : {std::pair{"--version", 0}, std::pair{"--help", 0},
                                    std::pair{"--bogus", 2}, std::pair{"--headless --home", 2}}) {
    EXPECT_EQ(RunCommand(home_, words).first, code) << words;
  }
}

// The newcomer's demo: the demo server and the bot on a demo profile in a temporary home.
TEST(Demo, LogsOnGreetsAMemberAndAnswersHerCommandWithinSeconds) {
  TProgram demo("/usr/bin/env",
                {"CORVANE_DEMO_SECONDS=9", "bash", CORVANE_SOURCE_DIR "/tools/demo.sh",
                 fs::path(CORVANE_BIN).parent_path().string()});
  EXPECT_TRUE(demo.WaitFor("DemoBot: Alice you have 100 access.")) << demo.Out() << demo.Err();
  EXPECT_EQ(demo.Wait(15000), 0) << demo.Err();
}

}  // namespace
}  // namespace corvane
