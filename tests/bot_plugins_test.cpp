// The plug-in system with real shared objects: the test plug-ins log every call they get
// into the file named by CORVANE_PLUGIN_LOG, and the tests read it back.

#include "bot/bot_plugins.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/fake_bot_host.h"
#include "support/session_feed.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class TTestPluginHost final : public TPluginHost {
 public:
  explicit TTestPluginHost(test::TFakeBotHost& bot) : bot_(bot) {}
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
  Lines sent_now;

 private:
  test::TFakeBotHost& bot_;
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
  Lines Log() const {
    Lines out;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }
  // The lines the plug-ins logged that are not among `lines`.
  Lines NotLogged(const Lines& lines) const {
    const Lines log = Log();
    Lines missing;
    for (const std::string& l : lines) {
      if (std::find(log.begin(), log.end(), l) == log.end()) missing.push_back(l);
    }
    return missing;
  }
  // The plug-in commands of that name.
  std::vector<const TBotCommand*> Find(const std::string& name) const {
    std::vector<const TBotCommand*> found;
    for (const auto& c : bot.db->Commands()) {
      if (c->CmdType == TCmdType::Plugin && c->Name == name) found.push_back(c.get());
    }
    return found;
  }
  void SetAccess(const std::string& name, std::int32_t access) {
    const TBotCommand* c = Find(name).at(0);
    bot.db->UpdateCommand(c, c->Name, c->Text, c->Enabled, access, c->Flags);
  }

  fs::path dir_;
  std::string log_;
  test::TFakeBotHost bot;
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
  Lines shown;
  for (const auto& [text, color] : bot.lines) shown.push_back(text);
  std::sort(shown.begin() + 1, shown.end() - 1);  // the files in any order
  EXPECT_EQ(shown, (Lines{"[PLUGIN] Try to find and load plugins...",
                          "[PLUGIN] Error. Cannot load plugin no_message.so (code: 3).",
                          "[PLUGIN] Error. Cannot load plugin notes.so (code: 2).",
                          "[PLUGIN] Error. Cannot load plugin short.so (code: 2).",
                          "[PLUGIN] Error. Cannot load plugin truncated.so (code: 2).",
                          "[PLUGIN] Loaded plugin InfoOnly (info_only.so).",
                          "[PLUGIN] Loaded 1 plugin(s)."}));

  // The info items, then message 100, the function table in order and 10000.
  EXPECT_EQ(Log(),
            (Lines{"info 10", "info 11", "info 12", "info 13", "info 14", "msg 100", "msg 110",
                   "msg 120", "msg 121", "msg 122", "msg 130", "msg 131", "msg 132", "msg 133",
                   "msg 134", "msg 135", "msg 136", "msg 137", "msg 138", "msg 139", "msg 10000"}));
  ASSERT_EQ(system->Plugins().size(), 1u);
  const TBotPlugin& p = *system->Plugins()[0];
  EXPECT_EQ(p.Info11 + " " + p.Info13, "eleven thirteen");
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
  EXPECT_EQ(bot.lines.back().first, "[PLUGIN] Loaded 0 plugin(s).");
}

TEST_F(Plugins, CommandsModesUnloadingAndAnotherPluginsCommand) {
  Install("commands.so");
  Install("other.so");
  ASSERT_EQ(Start(), 2);
  // Function 132 removes only the caller's own commands: another plug-in's stays.
  EXPECT_EQ(NotLogged({"add alpha 0", "add beta 0", "remove alpha 1"}), Lines{});
  ASSERT_EQ(Find("alpha").size(), 1u);
  EXPECT_EQ(Find("alpha")[0]->Text, "commands.so");
  ASSERT_EQ(Find("gamma").size(), 1u);
  EXPECT_EQ(Find("gamma")[0]->Text, "other.so");

  bot.db->SetUser("Boss", 100, "");
  EXPECT_TRUE(bot.Say("Boss", ".alpha hello there"));
  EXPECT_EQ(bot.queued, Lines{"alpha ran: hello there"});
  EXPECT_EQ(NotLogged({"run alpha Boss hello there"}), Lines{});

  // The owner lowers both to 30; unloaded, the commands stay (saved with the database) but
  // do nothing; a restart re-adds them: mode 1 replaces, mode 2 keeps.
  SetAccess("alpha", 30);
  SetAccess("beta", 30);
  system.reset();
  bot.Tick();
  bot.Clear();
  EXPECT_FALSE(bot.Say("Boss", ".beta x"));
  EXPECT_TRUE(bot.queued.empty());
  ASSERT_EQ(Find("beta").size(), 1u);
  EXPECT_FALSE(Find("beta")[0]->PluginLoaded);

  ASSERT_EQ(Start(), 2);
  ASSERT_EQ(Find("alpha").size(), 1u) << "re-added, not duplicated";
  EXPECT_EQ(Find("alpha")[0]->Access, 40);
  EXPECT_EQ(Find("beta")[0]->Access, 30);
  bot.Tick();
  EXPECT_TRUE(bot.Say("Boss", ".beta again"));
  EXPECT_EQ(bot.queued, Lines{"beta ran: again"});

  // Message 10100 after a reset of the database: the plug-in adds its commands again.
  bot.db = ResetCommandDatabase(true, (dir_ / "usrcmd.bin").string(),
                                [](const std::string&) { return TInternalHandler(); });
  EXPECT_TRUE(Find("alpha").empty());
  system->BroadcastMessage(CORVANE_MSG_COMMANDS_RESET, 0, 0);
  EXPECT_EQ(Find("alpha").size(), 1u);
}

TEST_F(Plugins, FunctionsCallbacksRecordsAndNullTexts) {
  Install("commands.so");
  ASSERT_EQ(Start(), 1);
  bot.db->SetUser("Boss", 100, "");
  TMainLoop loop;
  TBNET session(loop);
  bot.session = &session;
  test::JoinClan(session, "ABC", 1, {{"Chief", 4, 1}, {"Grunt", 1, 0}});
  // 138: a callback that returns 1 stops after the first member; 139: every clan member;
  // 130, 133 to 135 and 137.
  for (const char* line : {".alpha who", ".alpha clan", ".alpha info"}) {
    bot.Tick();
    EXPECT_TRUE(bot.Say("Boss", line)) << line;
  }
  const Lines log = Log();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.rfind("user ", 0) == 0; }),
            1);
  EXPECT_EQ(
      NotLogged({"user Boss  PX3W 1R3W 5 20 2", "clan Chief 4 1", "clan Grunt 1 0", "profile main",
                 "whisperer Whisperer", "channel The Void", "op 1", "window 77"}),
      Lines{});

  // Null texts are empty texts.
  bot.Tick();
  bot.Clear();
  EXPECT_TRUE(bot.Say("Boss", ".alpha nulls"));
  EXPECT_EQ(NotLogged({"nulls done"}), Lines{});
  EXPECT_EQ(bot.queued, Lines{""});
  EXPECT_EQ(host.sent_now, Lines{""});

  // The records of messages 10101 and 10104, read back by the plug-in; chat events reach
  // ChatEvent as given.
  system->BroadcastClanInvitationResult(5, "Bob", "Bob is already in a clan");
  system->BroadcastClanMemberStatus(3, 1, "Grunt");
  system->BroadcastChatEvent(CORVANE_EVENT_INFO, "Welcome to the server", "", 0, 0);
  EXPECT_EQ(NotLogged({"invite " + std::to_string(sizeof(TClanInvitationResult)) +
                           " 5 Bob|Bob is already in a clan",
                       "member " + std::to_string(sizeof(TClanMemberStatus)) + " 3 1 Grunt",
                       "event 18 Welcome to the server| 0 0"}),
            Lines{});
  bot.session = nullptr;
}

}  // namespace
}  // namespace corvane
