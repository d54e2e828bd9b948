// The plug-in system with real shared objects: the test plug-ins log every call they get
// into the file named by CORVANE_PLUGIN_LOG, and the tests read it back.

#include "bot/bot_plugins.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fakes/fake_bot_host.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::TFakeBotHost;

class TTestPluginHost final : public TPluginHost {
 public:
  explicit TTestPluginHost(TFakeBotHost& bot) : bot_(bot) {}
  TBotHost& Bot() override { return bot_; }
  void AddChatMessage(const std::string& head, TColor head_color, const std::string& body,
                      TColor) override {
    bot_.AddChatLine(head + ": " + body, head_color);
  }
  std::intptr_t MainWindowId() const override { return 77; }
  std::string ProfileName() const override { return "main"; }
  std::string LastWhisperer() const override { return "Whisperer"; }
  std::string CurrentChannel() const override { return "The Void"; }
  void ProcessOutgoingLine(const std::string& line) override { sent_now.push_back(line); }
  std::vector<std::string> sent_now;

 private:
  TFakeBotHost& bot_;
};

class Plugins : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("corvane-plugins-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "plugins");
    log_ = (dir_ / "calls.log").string();
    setenv("CORVANE_PLUGIN_LOG", log_.c_str(), 1);
    bot.AddMember("Boss", 2, 20, "PX3W 1R3W 5");
    bot.AddMember("Bob", 0, 60, "3RAW 1R3W 1");
  }
  void TearDown() override {
    system.reset();
    unsetenv("CORVANE_PLUGIN_LOG");
    fs::remove_all(dir_);
  }
  void Install(const std::string& name) {
    fs::copy_file(fs::path(CORVANE_TEST_PLUGINS) / name, dir_ / "plugins" / name);
  }
  int Start() {
    system = std::make_unique<TBotPluginSystem>(host);
    return system->StartPlugins((dir_ / "plugins").string());
  }
  std::vector<std::string> Log() const {
    std::vector<std::string> out;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }
  bool Logged(const std::string& line) const {
    for (const std::string& l : Log()) {
      if (l == line) return true;
    }
    return false;
  }
  bool Shows(const std::string& line) const {
    for (const auto& [text, color] : bot.lines) {
      if (text == line) return true;
    }
    return false;
  }
  TBotCommand* Find(const std::string& name) {
    for (const auto& c : bot.db->Commands) {
      if (c->CmdType == TCmdType::Plugin && c->Name == name) return c.get();
    }
    return nullptr;
  }

  fs::path dir_;
  std::string log_;
  TFakeBotHost bot;
  TTestPluginHost host{bot};
  std::unique_ptr<TBotPluginSystem> system;
};

TEST_F(Plugins, StatusesLinesAndTheOrderOfTheHandOver) {
  Install("info_only.so");
  Install("no_message.so");
  std::ofstream(dir_ / "plugins" / "notes.so") << "not a shared object\n";
  {
    std::ifstream whole(fs::path(CORVANE_TEST_PLUGINS) / "info_only.so", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(whole)), {});
    // Cut inside the program headers, and inside the segments they describe.
    std::ofstream(dir_ / "plugins" / "short.so", std::ios::binary) << bytes.substr(0, 100);
    std::ofstream(dir_ / "plugins" / "truncated.so", std::ios::binary) << bytes.substr(0, 600);
  }
  fs::create_directories(dir_ / "plugins" / "folder.so");
  std::ofstream(dir_ / "plugins" / "readme.txt") << "not a plug-in name\n";

  EXPECT_EQ(Start(), 1);
  EXPECT_TRUE(Shows("[PLUGIN] Try to find and load plugins..."));
  EXPECT_TRUE(Shows("[PLUGIN] Loaded plugin InfoOnly (info_only.so)."));
  EXPECT_TRUE(Shows("[PLUGIN] Error. Cannot load plugin no_message.so (code: 3)."));
  EXPECT_TRUE(Shows("[PLUGIN] Error. Cannot load plugin notes.so (code: 2)."));
  EXPECT_TRUE(Shows("[PLUGIN] Error. Cannot load plugin truncated.so (code: 2)."));
  EXPECT_TRUE(Shows("[PLUGIN] Error. Cannot load plugin short.so (code: 2)."));
  EXPECT_TRUE(Shows("[PLUGIN] Loaded 1 plugin(s)."));
  for (const auto& [text, color] : bot.lines) {
    EXPECT_EQ(text.find("folder.so"), std::string::npos) << "a folder is no plug-in file";
    EXPECT_EQ(text.find("readme"), std::string::npos);
  }
  EXPECT_EQ(bot.lines.back().second, kGreen);

  // The info items, then message 100, the function table in order and 10000.
  const std::vector<std::string> expected = {
      "info 10", "info 11", "info 12", "info 13", "info 14", "msg 100", "msg 110",
      "msg 120", "msg 121", "msg 122", "msg 130", "msg 131", "msg 132", "msg 133",
      "msg 134", "msg 135", "msg 136", "msg 137", "msg 138", "msg 139", "msg 10000"};
  EXPECT_EQ(Log(), expected);
  ASSERT_EQ(system->Plugins().size(), 1u);
  const TBotPlugin& p = *system->Plugins()[0];
  EXPECT_EQ(p.Info11, "eleven");
  EXPECT_EQ(p.Info13, "thirteen");
  EXPECT_EQ(p.Info14, (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
  EXPECT_EQ(p.ChatEvent, nullptr);

  // The same file name again, in any case: status 1.
  EXPECT_EQ(system->LoadPlugin((dir_ / "plugins" / "info_only.so").string()), kPluginAlreadyLoaded);
  fs::copy_file(dir_ / "plugins" / "info_only.so", dir_ / "INFO_ONLY.so");
  EXPECT_EQ(system->LoadPlugin((dir_ / "INFO_ONLY.so").string()), kPluginAlreadyLoaded);

  // Unloading says 65535 last.
  system.reset();
  EXPECT_EQ(Log().back(), "msg 65535");

  // No plugins folder at all: nothing loaded, start-up goes on.
  fs::remove_all(dir_ / "plugins");
  EXPECT_EQ(Start(), 0);
  EXPECT_TRUE(Shows("[PLUGIN] Loaded 0 plugin(s)."));
}

TEST_F(Plugins, CommandsModesUnloadingAndAnotherPluginsCommand) {
  Install("commands.so");
  Install("other.so");
  ASSERT_EQ(Start(), 2);
  EXPECT_TRUE(Logged("add alpha 0"));
  EXPECT_TRUE(Logged("add beta 0"));
  // Function 132 removes only the caller's own commands.
  EXPECT_TRUE(Logged("remove alpha 1"));
  ASSERT_NE(Find("alpha"), nullptr) << "another plug-in's command stays";
  EXPECT_EQ(Find("alpha")->Text, "commands.so");
  ASSERT_NE(Find("gamma"), nullptr);
  EXPECT_EQ(Find("gamma")->Text, "other.so");

  bot.db->SetUser("Boss", 100, "");
  EXPECT_TRUE(bot.Say("Boss", ".alpha hello there"));
  EXPECT_EQ(bot.queued, std::vector<std::string>{"alpha ran: hello there"});
  EXPECT_TRUE(Logged("run alpha Boss hello there"));

  // The owner lowers both to 30; a restart re-adds them: mode 1 replaces, mode 2 keeps.
  Find("alpha")->Access = 30;
  Find("beta")->Access = 30;
  system.reset();
  // Unloaded: the commands stay (saved with the database) but do nothing.
  bot.Tick();
  bot.Clear();
  EXPECT_FALSE(bot.Say("Boss", ".beta x"));
  EXPECT_TRUE(bot.queued.empty());
  ASSERT_NE(Find("beta"), nullptr);
  EXPECT_FALSE(Find("beta")->PluginLoaded);

  ASSERT_EQ(Start(), 2);
  EXPECT_EQ(Find("alpha")->Access, 40);
  EXPECT_EQ(Find("beta")->Access, 30);
  int alphas = 0;
  for (const auto& c : bot.db->Commands) alphas += c->Name == "alpha";
  EXPECT_EQ(alphas, 1) << "re-added, not duplicated";
  bot.Tick();
  EXPECT_TRUE(bot.Say("Boss", ".beta again"));
  EXPECT_EQ(bot.queued, std::vector<std::string>{"beta ran: again"});

  // Message 10100 after a reset of the database: the plug-in adds its commands again.
  bot.db = ResetCommandDatabase(true, (dir_ / "usrcmd.bin").string(),
                                [](const std::string&) { return TInternalHandler(); });
  EXPECT_EQ(Find("alpha"), nullptr);
  system->BroadcastMessage(CORVANE_MSG_COMMANDS_RESET, 0, 0);
  EXPECT_NE(Find("alpha"), nullptr);
}

TEST_F(Plugins, FunctionsCallbacksRecordsAndNullTexts) {
  Install("commands.so");
  ASSERT_EQ(Start(), 1);
  bot.db->SetUser("Boss", 100, "");

  // 138: a callback that returns 1 stops after the first member.
  EXPECT_TRUE(bot.Say("Boss", ".alpha who"));
  int users = 0;
  for (const std::string& l : Log()) users += l.rfind("user ", 0) == 0;
  EXPECT_EQ(users, 1);
  EXPECT_TRUE(Logged("user Boss  PX3W 1R3W 5 20 2"));

  // 139: every clan member, with a session.
  TMainLoop loop;
  TBNET session(loop);
  bot.session = &session;
  TUser chief;
  chief.Name = "Chief";
  chief.Rank = 4;
  chief.Status = 1;
  TUser grunt;
  grunt.Name = "Grunt";
  grunt.Rank = 1;
  session.ClanMembers = {chief, grunt};
  bot.Tick();
  EXPECT_TRUE(bot.Say("Boss", ".alpha clan"));
  EXPECT_TRUE(Logged("clan Chief 4 1"));
  EXPECT_TRUE(Logged("clan Grunt 1 0"));

  // 130, 133 to 135 and 137.
  bot.Tick();
  EXPECT_TRUE(bot.Say("Boss", ".alpha info"));
  EXPECT_TRUE(Logged("profile main"));
  EXPECT_TRUE(Logged("whisperer Whisperer"));
  EXPECT_TRUE(Logged("channel The Void"));
  EXPECT_TRUE(Logged("op 1"));
  EXPECT_TRUE(Logged("window 77"));

  // Null texts are empty texts.
  bot.Tick();
  bot.Clear();
  EXPECT_TRUE(bot.Say("Boss", ".alpha nulls"));
  EXPECT_TRUE(Logged("nulls done"));
  EXPECT_EQ(bot.queued, std::vector<std::string>{""});
  EXPECT_EQ(host.sent_now, std::vector<std::string>{""});

  // The records of messages 10101 and 10104, read back by the plug-in.
  system->BroadcastClanInvitationResult(5, "Bob", "Bob is already in a clan");
  EXPECT_TRUE(Logged("invite " + std::to_string(sizeof(TClanInvitationResult)) +
                     " 5 Bob|Bob is already in a clan"));
  system->BroadcastClanMemberStatus(3, 1, "Grunt");
  EXPECT_TRUE(Logged("member " + std::to_string(sizeof(TClanMemberStatus)) + " 3 1 Grunt"));

  // Chat events reach ChatEvent as given.
  system->BroadcastChatEvent(CORVANE_EVENT_INFO, "Welcome to the server", "", 0, 0);
  EXPECT_TRUE(Logged("event 18 Welcome to the server| 0 0"));
  bot.session = nullptr;
}

}  // namespace
}  // namespace corvane
