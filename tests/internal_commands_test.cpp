// The twenty built-in commands, run through dispatch as the channel, a whisper and the
// console give them: what each says, and to whom.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_bot_host.h"

namespace corvane {
namespace {

using Lines = std::vector<std::string>;
using test::TFakeBotHost;

// "name/access/flags" of a bot user, or "none".
std::string Rights(TFakeBotHost& host, const std::string& name) {
  std::int32_t access = 0;
  std::string flags;
  if (!host.db->GetUserRights(name, access, flags)) return "none";
  return name + "/" + std::to_string(access) + "/" + flags;
}

// One line and what it gives: the queued lines, then the pane's as "colour: text". A line
// that starts with "/" is typed on the console.
struct TStep {
  std::string line;
  std::string out;  // the lines, joined by " | "
  bool handled = true;
  std::uint8_t source = kSourceTalk;
  std::int32_t ping = 0;
};

// Lines by `who` (by default "Op", access 90, no flags), each after the flood gate opened.
struct TBot : TFakeBotHost {
  TBot() { db->SetUser("Op", 90, ""); }
  void Play(const std::vector<TStep>& steps, const std::string& who = "Op") {
    for (const TStep& s : steps) {
      Tick();
      Clear();
      const bool handled =
          s.line[0] == '/' ? Console(s.line, s.ping) : Say(who, s.line, s.source, "L", s.ping);
      EXPECT_EQ(handled, s.handled) << s.line;
      std::string out;
      for (const std::string& text : queued) out += (out.empty() ? "" : " | ") + text;
      for (const auto& [text, c] : lines) {
        out += std::string(out.empty() ? "" : " | ") +
               (c == kRed     ? "red: "
                : c == kLime  ? "lime: "
                : c == kGreen ? "green: "
                              : "yellow: ") +
               text;
      }
      EXPECT_EQ(out, s.out) << s.line;
    }
  }
};

TEST(InternalCommands, ConnectionCommandsWithoutConnection) {
  TMainLoop loop;
  TBNET never_connected(loop);
  for (TBNET* session : {static_cast<TBNET*>(nullptr), &never_connected}) {
    TBot bot;
    bot.session = session;
    for (const char* line : {".kick Bob", ".ban Bob", ".designate Bob", ".unban Bob", ".pingme"}) {
      bot.Play({{line, "red: [BOT] Bot not connected!", false}});
    }
  }
}

TEST(InternalCommands, ConnectionCommands) {
  test::TLoopbackSession connection;
  ASSERT_TRUE(connection.connected);
  TBot bot;
  bot.session = &connection.bnet;
  bot.db->AddSafelisted("Bob");
  bot.Play({{".kick Bob", "Bob is safelisted!", false},
            {".ban bob", "bob is safelisted!", false},
            {".kick Eve spamming", "/kick Eve spamming"},
            // A reason after the name does not hide it from the safelist.
            {".ban  Bob spamming ", "Bob is safelisted!", false},
            {".unban Eve", "/unban Eve"},
            {".designate Amy", "/designate Amy | I designated Amy"},
            {"/designate Amy", "/designate Amy"},
            {".pingme", "Your ping at login was 33 ms.", true, kSourceTalk, 33},
            {".pingme", "/w Op Your ping at login was 34 ms.", true, kSourceWhisper, 34},
            {"/pingme", "red: Bot ping at login was 12 ms.", true, kSourceConsole, 12}});
}

TEST(InternalCommands, Add) {
  TBot bot;
  bot.db->SetUser("Boss", 50, "");
  bot.db->SetUser("Root", 100, "a");
  bot.db->SetUser("Bob", 10, "K");
  // Without "A" no flags, no level from one's own up, and levels only rise.
  bot.Play({{".add Bob 40 SZ", "Bob added with 40 access and flags ."},
            {".add Bob 60", ""},
            {".add Bob 40", ""},
            {".add Bob 30", ""}},
           "Boss");
  EXPECT_EQ(Rights(bot, "Bob"), "Bob/40/K");
  bot.Play({{".add Bob 70 SZ", "Bob added with 70 access and flags SZ."},
            {".add Bob 80", "Bob added with 80 access and flags ."},
            {".add Bob 99999999999", ""},
            {".add Bob -5", ""},
            {".add Bob 9x", ""},
            {".add Bob", ""},
            {".add Newbie 5", "Newbie added with 5 access and flags ."},
            {".add Root 200", ""},  // a holder of "A" is never changed
            {"/add Carl 5 F", "green: BOT Carl added with 5 access and flags F."}},
           "Root");
  EXPECT_EQ(Rights(bot, "Bob") + " " + Rights(bot, "Root") + " " + Rights(bot, "Newbie"),
            "Bob/80/ Root/100/a Newbie/5/");
}

TEST(InternalCommands, ShitlistAndSafelist) {
  TBot bot;
  bot.db->SetUser("Sam", 80, "S");
  bot.db->SetUser("Tom", 80, "");
  bot.db->SetUser("Both", 0, "BS");
  bot.Play({{".shitlist Sam", ""},
            {".shitlist Sam because", ""},
            // The name alone is listed, so that his next join finds him; the reason goes
            // with the ban.
            {".shitlist Eve spam bot", "/ban Eve spam bot (Shitlisted) | Eve now shitlisted!"},
            {".shitlist  Tom ", "/ban Tom (Shitlisted) | Tom now shitlisted!"},
            {".shitlist tom", "Op allready shitlisted!"}});
  EXPECT_EQ(Rights(bot, "Sam") + " " + Rights(bot, "Eve") + " " + Rights(bot, "Tom"),
            "Sam/80/S Eve/0/B Tom/0/B");
  bot.Play({{".unshitlist Tom", "Tom now is not shitlisted!"},
            {".unshitlist Tom", ""},
            {".unshitlist Both", ""},
            {".safelist New", "New now safelisted!"},
            {".safelist NEW", "Op allready safelisted!"},
            {".unsafelist New", "New now is not safelisted!"},
            {".unsafelist New", ""}});
  EXPECT_EQ(Rights(bot, "Tom") + " " + Rights(bot, "Both") + " " + Rights(bot, "New"),
            "none Both/0/BS New/0/");
}

TEST(InternalCommands, CmdAddAndCmdDel) {
  TBot bot;
  bot.Play({{".cmdadd hi 20 Hello  there", "Command hi[20, Hello there] added!"},
            {".hi", "Hello there"},
            {".cmdadd hi 20 Second", "Command hi[20, Second] added!"},
            {".cmdadd bye x Never", ""},
            {".cmdadd bye", ""},
            {".bye", "", false},
            {".cmddel hi", "Command hi removed. | lime: Command hi removed."},
            {".hi", "Second"},
            {"/cmddel HI", "lime: Command HI removed."},
            {".cmddel hi", ""},
            {".hi", "", false},
            {".cmddel kick", ""}});
  EXPECT_NE(bot.db->FindCommand("kick", TCmdType::Internal), nullptr);
}

// Whispers are answered by whisper, the console on the pane, anything else in the channel.
TEST(InternalCommands, WhoAmIProtectPing) {
  TBot bot;
  bot.db->SetUser("Zed", 60, "SZ");
  bot.db->SetUser("Plain", 10, "");
  bot.AddMember("Amy", 0, 77);
  bot.Play({{".whoami", "/w Zed Zed you have 60 access and SZ flags.", true, kSourceWhisper}},
           "Zed");
  bot.Play({{".whoami", "Plain you have 10 access.", true, kSourceEmote}}, "Plain");
  bot.Play({{"/whoami", "lime: [BOT] You have ALL access and ALL flags. Good luck!"},
            {".protect", "Channel protection disabled."},
            {".protect kick", "Bot will be kick any not safelisted users."},
            {".protect maybe", "Bot will be kick any not safelisted users."}});
  EXPECT_EQ(bot.protect, kProtectKick);
  bot.Play(
      {{".protect BaN", "/w Op Bot will be ban any not safelisted users.", true, kSourceWhisper}});
  EXPECT_EQ(bot.protect, kProtectBan);
  bot.Play({{"/protect off", "green: [BOT] Channel protection disabled."},
            {".ping Amy", "Ping of Amy at login was 77."},
            {".ping  Amy extra", "/w Op Ping of Amy at login was 77.", true, kSourceWhisper},
            {"/ping Amy", "green: [BOT] Ping of Amy at login was 77."},
            {".ping amy", ""},
            {".ping", ""}});
  EXPECT_EQ(bot.protect, kProtectOff);
}

TEST(InternalCommands, SayRejoinKickmeInviteQuit) {
  TBot bot;
  bot.db->SetUser("Root", 100, "A");
  bot.Play({{".say /me waves  ", "/me waves"},
            {".rejoin", "/rejoin"},
            {".kickme", "/kick Op", true, kSourceWhisper},
            {".invite Amy", "yellow: [CLAN] Sended clan invitation."},
            {".quit", "", false}});
  EXPECT_FALSE(bot.quit);
  bot.Play({{".quit", ""}}, "Root");
  EXPECT_TRUE(bot.quit);
}

}  // namespace
}  // namespace corvane
