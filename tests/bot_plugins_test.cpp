// The plug-in system with real shared objects: the test plug-ins log every call they get
// into the file named by CORVANE_PLUGIN_LOG, and the tests read it back.

#include "bot/bot_plugins.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>

#include "support/fake_bot_host.h"
#include "support/session_feed.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// The fixture is the plug-in system's host, around a recording bot host.
class Plugins : public ::testing::Test, public TPluginHost {
 protected:
  TBotHost& Bot() override { return bot; }
  void AddChatMessage(const std::string&, TColor, const std::string&, TColor) override {}
  std::intptr_t MainWindowId() const override { return 77; }
  std::string ProfileName() const override { return "main"; }
  std::string LastWhisperer() const override { return "Whisperer"; }
  std::string CurrentChannel() const override { return "The Void"; }
  void ProcessOutgoingLine(const std::string& line) override { sent_now.push_back(line); }
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("corvane-plugins-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "plugins");
    setenv("CORVANE_PLUGIN_LOG", (dir_ / "calls.log").c_str(), 1);
    bot.AddMember("Boss", 2, 20, "PX3W 1R3W 5");
    bot.AddMember("Bob", 0, 60, "3RAW 1R3W 1");
    bot.db->SetUser("Boss", 100, "SZ");
    bot.session = &session;
    test::JoinClan(session, "ABC", 1, {{"Chief", 4, 1}, {"Grunt", 1, 0}});
  }
  void TearDown() override {
    unsetenv("CORVANE_PLUGIN_LOG");
    fs::remove_all(dir_);
  }
  int Start(const Lines& install) {
    for (const std::string& n : install)
      fs::copy_file(fs::path(CORVANE_TEST_PLUGINS) / n, dir_ / "plugins" / n);
    system = std::make_unique<TBotPluginSystem>(*this);
    return system->StartPlugins((dir_ / "plugins").string());
  }
  Lines Log() const {
    Lines out;
    std::ifstream in(dir_ / "calls.log");
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }
  // The lines the plug-ins logged that are not among `lines`.
  Lines NotLogged(Lines lines) const {
    for (const std::string& l : Log()) std::erase(lines, l);
    return lines;
  }
  const TBotCommand* Find(const std::string& name) const {
    return bot.db->FindCommand(name, TCmdType::Plugin);
  }
  // Lets the flood gate open, then `line` whispered by Boss, at a ping of 33.
  bool Say(const std::string& line) {
    bot.Tick();
    bot.Clear();
    return bot.Say("Boss", line, kSourceWhisper, "L", 33);
  }

  fs::path dir_;
  TMainLoop loop;
  TBNET session{loop};
  test::TFakeBotHost bot;
  Lines sent_now;
  std::unique_ptr<TBotPluginSystem> system;
};

// Files that are not plug-ins, and libraries cut short (refused before dlopen), are
// reported and skipped.
TEST_F(Plugins, StatusesLinesAndTheOrderOfTheHandOver) {
  std::ofstream(dir_ / "plugins" / "notes.so") << "not a shared object\n";
  std::ifstream whole(fs::path(CORVANE_TEST_PLUGINS) / "info_only.so", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(whole)), {});
  // Cut inside the program headers, and inside the segments they describe.
  std::ofstream(dir_ / "plugins" / "short.so", std::ios::binary) << bytes.substr(0, 100);
  std::ofstream(dir_ / "plugins" / "truncated.so", std::ios::binary) << bytes.substr(0, 600);
  fs::create_directories(dir_ / "plugins" / "folder.so");

  EXPECT_EQ(Start({"info_only.so", "no_message.so"}), 1);
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
  const TBotPlugin& p = *system->Plugins().at(0);
  EXPECT_EQ(std::tie(p.Info11, p.Info13, p.Info14, p.ChatEvent),
            std::tuple("eleven", "thirteen", std::array<std::uint8_t, 4>{1, 2, 3, 4}, nullptr));
  // The same file name again, in any case: status 1.
  fs::copy_file(dir_ / "plugins" / "info_only.so", dir_ / "INFO_ONLY.so");
  EXPECT_EQ(system->LoadPlugin((dir_ / "INFO_ONLY.so").string()), kPluginAlreadyLoaded);
}

// Two plug-ins' commands, the bot's functions, callbacks and records as a plug-in sees
// them, and its commands across unloading, a restart and a new database.
TEST_F(Plugins, CommandsFunctionsRecordsAndRestart) {
  ASSERT_EQ(Start({"commands.so", "other.so"}), 2);
  // Function 132 removes only the caller's own commands: another plug-in's stays.
  ASSERT_TRUE(Find("alpha") && Find("gamma"));
  EXPECT_EQ(Find("alpha")->Text + " " + Find("gamma")->Text, "commands.so other.so");
  // The speaker's stored flags reach the command. 138: a callback that returns 1 stops
  // after the first member; 139: every clan member; 130, 133 to 135 and 137. Null texts
  // are empty texts.
  for (const char* line : {".alpha who", ".alpha clan", ".alpha info", ".alpha nulls"}) {
    EXPECT_TRUE(Say(line)) << line;
  }
  EXPECT_EQ((std::vector{bot.queued, sent_now}), std::vector(2, Lines{""}));
  // The records of messages 10101 and 10104, read back by the plug-in.
  system->BroadcastClanInvitationResult(5, "Bob", "Bob is already in a clan");
  system->BroadcastClanMemberStatus(3, 1, "Grunt");
  EXPECT_EQ(std::ranges::count_if(Log(), [](const auto& l) { return l.starts_with("user "); }), 1);
  EXPECT_EQ(
      NotLogged({"add alpha 0", "add beta 0", "remove alpha 1", "run alpha Boss who|SZ 33 2",
                 "user Boss  PX3W 1R3W 5 20 2", "clan Chief 4 1", "clan Grunt 1 0", "profile main",
                 "whisperer Whisperer", "channel The Void", "op 1", "window 77", "nulls done",
                 "invite " + std::to_string(sizeof(TClanInvitationResult)) +
                     " 5 Bob|Bob is already in a clan",
                 "member " + std::to_string(sizeof(TClanMemberStatus)) + " 3 1 Grunt"}),
      Lines{});

  // The owner lowers both to 30; unloaded, the commands stay (saved with the database) but
  // do nothing; a restart re-adds them: mode 1 replaces, mode 2 keeps.
  bot.db->UpdateCommand(Find("alpha"), "alpha", "commands.so", true, 30, "");
  bot.db->UpdateCommand(Find("beta"), "beta", "commands.so", true, 30, "");
  system.reset();
  EXPECT_FALSE(Say(".beta x"));
  ASSERT_EQ(Start({}), 2);
  EXPECT_EQ(std::ranges::count(bot.db->Commands(), "alpha", [](auto& c) { return c->Name; }), 1)
      << "re-added, not duplicated";
  EXPECT_EQ(std::to_string(Find("alpha")->Access) + " " + std::to_string(Find("beta")->Access),
            "40 30");
  EXPECT_TRUE(Say(".beta again"));
  EXPECT_EQ(bot.queued, Lines{"beta ran: again"});

  // Message 10100 after the database was replaced: the plug-in adds its commands to the
  // new one.
  bot.db = std::make_unique<TBotCommandControl>();
  system->BroadcastMessage(CORVANE_MSG_COMMANDS_RESET, 0, 0);
  EXPECT_NE(Find("alpha"), nullptr);
}

}  // namespace
}  // namespace corvane
