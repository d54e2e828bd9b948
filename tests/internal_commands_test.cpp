// The twenty built-in commands, run through dispatch as the channel, a whisper and the
// console give them.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_bot_host.h"

namespace corvane {
namespace {

using Lines = std::vector<std::string>;
using Pane = std::vector<std::pair<std::string, TColor>>;
using test::TFakeBotHost;
using test::TLoopbackSession;

// "name/access/flags" of a bot user, or "none".
std::string Rights(TFakeBotHost& host, const std::string& name) {
  std::int32_t access = 0;
  std::string flags;
  if (!host.db->GetUserRights(name, access, flags)) return "none";
  return name + "/" + std::to_string(access) + "/" + flags;
}

// Every line by "Op" (access 90, no flags) or the console; the flood gate is opened first.
struct TBot : TFakeBotHost {
  TBot() { db->SetUser("Op", 90, ""); }
  bool Run(const std::string& line, std::uint8_t source = kSourceTalk, std::int32_t ping = 0) {
    Tick();
    if (source == kSourceConsole) return Console("/" + line.substr(1), ping);
    return Say("Op", line, source, "L", ping);
  }
};

TEST(InternalCommands, ConnectionCommandsWithoutConnection) {
  TMainLoop loop;
  TBNET never_connected(loop);
  for (TBNET* session : {static_cast<TBNET*>(nullptr), &never_connected}) {
    for (const char* line : {".kick Bob", ".ban Bob", ".designate Bob", ".unban Bob", ".pingme"}) {
      TBot bot;
      bot.session = session;
      EXPECT_FALSE(bot.Run(line)) << line;
      EXPECT_EQ(bot.lines, (Pane{{"[BOT] Bot not connected!", kRed}})) << line;
      EXPECT_TRUE(bot.queued.empty()) << line;
    }
  }
}

TEST(InternalCommands, ConnectionCommands) {
  TLoopbackSession connection;
  ASSERT_TRUE(connection.connected);
  TBot bot;
  bot.session = &connection.bnet;
  bot.db->AddSafelisted("Bob");
  EXPECT_FALSE(bot.Run(".kick Bob"));
  EXPECT_FALSE(bot.Run(".ban bob"));
  EXPECT_TRUE(bot.Run(".kick Eve spamming"));
  // A reason after the name does not hide it from the safelist.
  EXPECT_FALSE(bot.Run(".ban  Bob spamming "));
  EXPECT_TRUE(bot.Run(".unban Eve"));
  EXPECT_TRUE(bot.Run(".designate Amy"));
  EXPECT_TRUE(bot.Run(".designate Amy", kSourceConsole));
  EXPECT_TRUE(bot.Run(".pingme", kSourceTalk, 33));
  EXPECT_TRUE(bot.Run(".pingme", kSourceWhisper, 34));
  EXPECT_TRUE(bot.Run(".pingme", kSourceConsole, 12));
  EXPECT_EQ(
      bot.queued,
      (Lines{"Bob is safelisted!", "bob is safelisted!", "/kick Eve spamming", "Bob is safelisted!",
             "/unban Eve", "/designate Amy", "I designated Amy", "/designate Amy",
             "Your ping at login was 33 ms.", "/w Op Your ping at login was 34 ms."}));
  EXPECT_EQ(bot.lines, (Pane{{"Bot ping at login was 12 ms.", kRed}}));
}

TEST(InternalCommands, Add) {
  TBot bot;
  bot.db->SetUser("Boss", 50, "");
  bot.db->SetUser("Root", 100, "a");
  bot.db->SetUser("Bob", 10, "K");
  auto add = [&](const std::string& who, const std::string& args) {
    bot.Tick();
    return bot.Say(who, ".add " + args, kSourceWhisper);
  };
  EXPECT_TRUE(add("Boss", "Bob 40 SZ"));
  EXPECT_EQ(Rights(bot, "Bob"), "Bob/40/K");
  EXPECT_TRUE(add("Boss", "Bob 60"));  // not below his own level
  EXPECT_TRUE(add("Boss", "Bob 40"));  // levels only rise
  EXPECT_TRUE(add("Boss", "Bob 30"));
  EXPECT_EQ(Rights(bot, "Bob"), "Bob/40/K");
  EXPECT_EQ(bot.queued, (Lines{"Bob added with 40 access and flags ."}));

  bot.Clear();
  EXPECT_TRUE(add("Root", "Bob 70 SZ"));
  EXPECT_EQ(Rights(bot, "Bob"), "Bob/70/SZ");
  EXPECT_TRUE(add("Root", "Bob 80"));
  EXPECT_EQ(Rights(bot, "Bob"), "Bob/80/");
  for (const char* args : {"Bob 99999999999", "Bob -5", "Bob 9x", "Bob", "Newbie 5", "Root 200"}) {
    EXPECT_TRUE(add("Root", args)) << args;
  }
  EXPECT_EQ(Rights(bot, "Bob"), "Bob/80/");
  EXPECT_EQ(Rights(bot, "Root"), "Root/100/a");  // a holder of "A" is never changed
  EXPECT_EQ(Rights(bot, "Newbie"), "Newbie/5/");
  EXPECT_EQ(bot.queued,
            (Lines{"Bob added with 70 access and flags SZ.", "Bob added with 80 access and flags .",
                   "Newbie added with 5 access and flags ."}));

  bot.Clear();
  EXPECT_TRUE(bot.Console("/add Carl 5 F"));
  EXPECT_EQ(bot.lines, (Pane{{"BOT Carl added with 5 access and flags F.", kGreen}}));
  EXPECT_TRUE(bot.queued.empty());
}

TEST(InternalCommands, ShitlistAndSafelist) {
  TBot bot;
  bot.db->SetUser("Sam", 80, "S");
  bot.db->SetUser("Tom", 80, "");
  bot.Run(".shitlist Sam");
  bot.Run(".shitlist Sam because");
  EXPECT_EQ(Rights(bot, "Sam"), "Sam/80/S");
  // The name alone is listed, so that his next join finds him; the reason goes with the ban.
  bot.Run(".shitlist Eve spam bot");
  EXPECT_EQ(Rights(bot, "Eve"), "Eve/0/B");
  bot.Run(".shitlist  Tom ");
  EXPECT_EQ(Rights(bot, "Tom"), "Tom/0/B");
  bot.Run(".shitlist tom");
  bot.Run(".unshitlist Tom");
  EXPECT_EQ(Rights(bot, "Tom"), "none");
  bot.Run(".unshitlist Tom");
  bot.db->SetUser("Both", 0, "BS");
  bot.Run(".unshitlist Both");
  EXPECT_EQ(Rights(bot, "Both"), "Both/0/BS");
  bot.Run(".safelist New");
  EXPECT_EQ(Rights(bot, "New"), "New/0/S");
  bot.Run(".safelist NEW");
  bot.Run(".unsafelist New");
  EXPECT_EQ(Rights(bot, "New"), "New/0/");
  bot.Run(".unsafelist New");
  EXPECT_EQ(
      bot.queued,
      (Lines{"/ban Eve spam bot (Shitlisted)", "Eve now shitlisted!", "/ban Tom (Shitlisted)",
             "Tom now shitlisted!", "Op allready shitlisted!", "Tom now is not shitlisted!",
             "New now safelisted!", "Op allready safelisted!", "New now is not safelisted!"}));
}

TEST(InternalCommands, CmdAddAndCmdDel) {
  TBot bot;
  EXPECT_TRUE(bot.Run(".cmdadd hi 20 Hello  there"));
  EXPECT_TRUE(bot.Run(".hi"));
  EXPECT_TRUE(bot.Run(".cmdadd hi 20 Second"));
  EXPECT_TRUE(bot.Run(".cmdadd bye x Never"));
  EXPECT_TRUE(bot.Run(".cmdadd bye"));
  EXPECT_FALSE(bot.Run(".bye"));
  EXPECT_EQ(bot.queued, (Lines{"Command hi[20, Hello there] added!", "Hello there",
                               "Command hi[20, Second] added!"}));

  bot.Clear();
  EXPECT_TRUE(bot.Run(".cmddel hi"));
  EXPECT_TRUE(bot.Run(".hi"));
  EXPECT_TRUE(bot.Run(".cmddel HI", kSourceConsole));
  EXPECT_TRUE(bot.Run(".cmddel hi"));
  EXPECT_FALSE(bot.Run(".hi"));
  EXPECT_TRUE(bot.Run(".cmddel kick"));
  EXPECT_NE(bot.db->FindCommand("kick", TCmdType::Internal), nullptr);
  EXPECT_EQ(bot.queued, (Lines{"Command hi removed.", "Second"}));
  EXPECT_EQ(bot.lines, (Pane{{"Command hi removed.", kLime}, {"Command HI removed.", kLime}}));
}

// Whispers are answered by whisper, the console on the pane, anything else in the channel.
TEST(InternalCommands, WhoAmIProtectPing) {
  TBot bot;
  bot.db->SetUser("Zed", 60, "SZ");
  bot.db->SetUser("Plain", 10, "");
  bot.AddMember("Amy", 0, 77);
  EXPECT_TRUE(bot.Say("Zed", ".whoami", kSourceWhisper));
  bot.Tick();
  EXPECT_TRUE(bot.Say("Plain", ".whoami", kSourceEmote));
  bot.Run(".whoami", kSourceConsole);
  bot.Run(".protect");
  bot.Run(".protect kick");
  EXPECT_EQ(bot.protect, kProtectKick);
  bot.Run(".protect maybe");
  EXPECT_EQ(bot.protect, kProtectKick);
  bot.Run(".protect BaN", kSourceWhisper);
  EXPECT_EQ(bot.protect, kProtectBan);
  bot.Run(".protect off", kSourceConsole);
  EXPECT_EQ(bot.protect, kProtectOff);
  bot.Run(".ping Amy");
  bot.Run(".ping  Amy extra", kSourceWhisper);
  bot.Run(".ping Amy", kSourceConsole);
  bot.Run(".ping amy");
  bot.Run(".ping");
  EXPECT_EQ(bot.queued,
            (Lines{"/w Zed Zed you have 60 access and SZ flags.", "Plain you have 10 access.",
                   "Channel protection disabled.", "Bot will be kick any not safelisted users.",
                   "Bot will be kick any not safelisted users.",
                   "/w Op Bot will be ban any not safelisted users.",
                   "Ping of Amy at login was 77.", "/w Op Ping of Amy at login was 77."}));
  EXPECT_EQ(bot.lines, (Pane{{"[BOT] You have ALL access and ALL flags. Good luck!", kLime},
                             {"[BOT] Channel protection disabled.", kGreen},
                             {"[BOT] Ping of Amy at login was 77.", kGreen}}));
}

TEST(InternalCommands, SayRejoinKickmeInviteQuit) {
  TBot bot;
  bot.db->SetUser("Root", 100, "A");
  bot.Run(".say /me waves  ");
  bot.Run(".rejoin");
  bot.Run(".kickme", kSourceWhisper);
  EXPECT_TRUE(bot.Run(".invite Amy"));
  EXPECT_EQ(bot.queued, (Lines{"/me waves", "/rejoin", "/kick Op"}));
  EXPECT_EQ(bot.lines, (Pane{{"[CLAN] Sended clan invitation.", kYellow}}));
  EXPECT_FALSE(bot.Run(".quit"));
  EXPECT_FALSE(bot.quit);
  bot.Tick();
  EXPECT_TRUE(bot.Say("Root", ".quit"));
  EXPECT_TRUE(bot.quit);
}

}  // namespace
}  // namespace corvane
