// The twenty built-in commands, run through dispatch as the channel, a whisper and the
// console give them: what each says, and to whom.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/fake_bot_host.h"

namespace corvane {
namespace {

// One line and what it gives: the queued lines, then the pane's as "colour: text", joined
// by " | ". A line that starts with "/" is typed on the console.
struct TStep {
  std::string line, out;
  bool handled = true;
  std::uint8_t source = kSourceTalk;
  std::int32_t ping = 0;
};

// Lines by `who` (by default "Op", access 90, no flags), each after the flood gate opened.
struct TBot : test::TFakeBotHost {
  TBot() { db->SetUser("Op", 90, ""); }
  void Play(const std::vector<TStep>& steps, const std::string& who = "Op") {
    static const std::map<TColor, std::string> kColours = {
        {kRed, "red: "}, {kYellow, "yellow: "}, {kLime, "lime: "}, {kGreen, "green: "}};
    for (const TStep& s : steps) {
      Tick();
      Clear();
      const bool handled =
          s.line[0] == '/' ? Console(s.line, s.ping) : Say(who, s.line, s.source, "L", s.ping);
      EXPECT_EQ(handled, s.handled) << s.line;
      std::string out;
      for (const std::string& text : queued) out += " | " + text;
      for (const auto& [text, c] : lines) out += " | " + kColours.at(c) + text;
      EXPECT_EQ(out.erase(0, 3), s.out) << s.line;
    }
  }
  // "name/access/flags" of each bot user, or "none".
  std::string Rights(const std::vector<std::string>& names) {
    std::string out, flags;
    for (const std::string& name : names) {
      std::int32_t access = 0;
      out += db->GetUserRights(name, access, flags)
                 ? " " + name + "/" + std::to_string(access) + "/" + flags
                 : " none";
    }
    return out.erase(0, 1);
  }
};

// Without a session, or with one never connected, the connection commands say so. With one,
// the safelist is checked on the target's name, never on a reason after it.
TEST(InternalCommands, ConnectionCommands) {
  TMainLoop loop;
  TBNET never_connected(loop);
  for (TBNET* session : {static_cast<TBNET*>(nullptr), &never_connected}) {
    TBot bot;
    bot.session = session;
    for (const char* line : {".kick Bob", ".ban Bob", ".designate Bob", ".unban Bob", ".pingme"})
      bot.Play({{line, "red: [BOT] Bot not connected!", false}});
  }
  test::TLoopbackSession connection;
  ASSERT_TRUE(connection.connected);
  TBot bot;
  bot.session = &connection.bnet;
  bot.db->AddSafelisted("Bob");
  bot.Play({{".kick Bob", "Bob is safelisted!", false},
            {".ban bob", "bob is safelisted!", false},
            {".kick Eve spamming", "/kick Eve spamming"},
            {".ban  Bob spamming ", "Bob is safelisted!", false},
            {".designate Amy", "/designate Amy | I designated Amy"},
            {".pingme", "/w Op Your ping at login was 34 ms.", true, kSourceWhisper, 34}});
}

// Users, the shitlist, the safelist and custom commands; whispers are answered by whisper,
// the console on the pane, anything else in the channel.
TEST(InternalCommands, ListsAndReplies) {
  TBot bot;
  bot.db->SetUser("Boss", 50, "");
  bot.db->SetUser("Root", 100, "A");
  bot.db->SetUser("Bob", 10, "K");
  bot.db->SetUser("Sam", 80, "S");
  bot.db->SetUser("Tom", 80, "");
  bot.AddMember("Amy", 0, 77);
  // Without "A" no flags, no level from one's own up, and levels only rise.
  bot.Play({{".add Bob 40 SZ", "Bob added with 40 access and flags ."},
            {".add Bob 60", ""},
            {".add Bob 30", ""},
            {".whoami", "/w Boss Boss you have 50 access.", true, kSourceWhisper}},
           "Boss");
  bot.Play({{".add Bob 70 SZ", "Bob added with 70 access and flags SZ."},
            {".add Bob 99999999999", ""},
            {".add Bob -5", ""},
            {".add Root 200", ""},  // a holder of "A" is never changed
            {".quit", ""}},
           "Root");
  EXPECT_TRUE(bot.quit);
  bot.Play({{".shitlist Sam", ""},
            {".shitlist Sam because", ""},
            // The name alone is listed, so that his next join finds him; the reason goes
            // with the ban.
            {".shitlist Eve spam bot", "/ban Eve spam bot (Shitlisted) | Eve now shitlisted!"},
            {".shitlist  Tom ", "/ban Tom (Shitlisted) | Tom now shitlisted!"}});
  EXPECT_EQ(bot.Rights({"Bob", "Root", "Sam", "Eve", "Tom"}),
            "Bob/70/SZ Root/100/A Sam/80/S Eve/0/B Tom/0/B");
  bot.Play(
      {{".unshitlist Tom", "Tom now is not shitlisted!"},
       {".safelist New", "New now safelisted!"},
       {".unsafelist New", "New now is not safelisted!"},
       {".cmdadd hi 20 Hello  there", "Command hi[20, Hello there] added!"},
       {".hi", "Hello there"},
       {".cmdadd hi 20 Second", "Command hi[20, Second] added!"},
       {".cmddel hi", "Command hi removed. | lime: Command hi removed."},
       {".hi", "Second"},
       {"/cmddel HI", "lime: Command HI removed."},
       {".hi", "", false},
       {".cmddel kick", ""},
       {"/whoami", "lime: [BOT] You have ALL access and ALL flags. Good luck!"},
       {".protect kick", "Bot will be kick any not safelisted users."},
       {".protect BaN", "/w Op Bot will be ban any not safelisted users.", true, kSourceWhisper},
       {".ping  Amy extra", "/w Op Ping of Amy at login was 77.", true, kSourceWhisper},
       {"/ping Amy", "green: [BOT] Ping of Amy at login was 77."},
       {".ping amy", ""},
       {".say /me waves  ", "/me waves", true, kSourceEmote},
       {".kickme", "/kick Op", true, kSourceWhisper},
       {".quit", "", false}});
  EXPECT_EQ(bot.Rights({"Tom", "New"}), "none New/0/");
  EXPECT_EQ(bot.protect, kProtectBan);
  EXPECT_NE(bot.db->FindCommand("kick", TCmdType::Internal), nullptr);
}

}  // namespace
}  // namespace corvane
