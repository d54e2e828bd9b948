// What the bot does by itself: the checks when a user joins, the greeting and the idle
// message.

#include <gtest/gtest.h>

#include <ctime>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "bot/ChEvents.h"
#include "bot/great_idle_msgs.h"
#include "support/fake_bot_host.h"
#include "support/session_feed.h"

namespace corvane {
namespace {

using Lines = std::vector<std::string>;

// The bot in channel "Op Room" with the given roster flags, over a session that never
// connects. Eve is shitlisted, Sam safelisted, Both is both.
struct TChannel : test::TFakeBotHost {
  explicit TChannel(std::uint8_t bot_flags = 2, TProtectMode mode = kProtectOff,
                    const std::string& bot_name = "Bot") {
    test::EnterChat(bnet, bot_name);
    bnet.JoinChannel("Op Room", 0);
    session = &bnet;
    protect = mode;
    AddMember("Bot", bot_flags);
    db->SetUser("Eve", 0, "B");
    db->SetUser("Sam", 0, "S");
    db->SetUser("Both", 0, "SB");
  }
  // The user enters the roster first, as the chat-event handler does.
  Lines Join(const std::string& name, const std::string& statstring = "") {
    Clear();
    AddMember(name);
    OnUserJoin(*this, name, statstring, 0, 0);
    return queued;
  }

  TMainLoop loop;
  TBNET bnet{loop};
};

// The clock's time and date as the user's locale writes them: "%time|%date".
std::string TimeAndDate(std::time_t t) {
  std::tm local{};
  return (std::ostringstream() << std::put_time(localtime_r(&t, &local), "%X|%x")).str();
}

TEST(JoinChecks, NothingWithoutOperatorStatus) {
  for (std::uint8_t flags : {0x00, 0x01, 0x03, 0x12}) {
    EXPECT_EQ(TChannel(flags, kProtectBan).Join("Eve"), Lines{}) << int{flags};
  }
  // The roster's "Bot" is another name than the bot's "bot".
  EXPECT_EQ(TChannel(2, kProtectBan, "bot").Join("Joe"), Lines{});
}

TEST(JoinChecks, OperatorKicksAndBans) {
  auto join = [](TProtectMode m, const std::string& n) { return TChannel(2, m).Join(n); };
  EXPECT_EQ(join(kProtectOff, "Eve"), (Lines{"/ban Eve (Shitlisted)"}));
  EXPECT_EQ(join(kProtectKick, "Joe"), (Lines{"/kick Joe (This channel is protected!)"}));
  EXPECT_EQ(join(kProtectBan, "Sam"), Lines{});
  EXPECT_EQ(join(kProtectBan, "eve"),
            (Lines{"/ban eve (Shitlisted)", "/ban eve (This channel is protected!)"}));
  EXPECT_EQ(join(kProtectKick, "Both"), (Lines{"/ban Both (Shitlisted)"}));
}

TEST(Greeting, WhenAndForWhom) {
  TChannel channel;
  channel.settings.GreetMsg = "Hi %uname";
  EXPECT_EQ(channel.Join("Ann"), Lines{});  // greeting off
  channel.settings.GreetEnable = channel.settings.GreetWhisper = true;
  EXPECT_EQ(channel.Join("Ann"), (Lines{"/w Ann Hi Ann"}));
  EXPECT_EQ(channel.Join("Bot"), Lines{});
  channel.settings.GreetForMyClan = true;
  EXPECT_EQ(channel.Join("Joe", "PX3W 1D3W 1"), Lines{});  // neither the bot nor Joe has a clan
  test::JoinClan(channel.bnet, "abc", 1, {});
  EXPECT_EQ(channel.Join("Ann", "3RAW 3H3W 12 CBA"), (Lines{"/w Ann Hi Ann"}));
  EXPECT_EQ(channel.Join("Kim", "3RAW 3H3W 12 CBX"), Lines{});
  channel.roster.resize(1);
  SendGreet(channel, "Ann", "3RAW 3H3W 12 CBA", 0);  // nobody else to be %rnd
  EXPECT_EQ(channel.queued, Lines{});
  channel.protect = kProtectBan;  // the check comes before the greeting
  EXPECT_EQ(channel.Join("Kim", "3RAW 3H3W 12 CBA"),
            (Lines{"/ban Kim (This channel is protected!)", "/w Kim Hi Kim"}));
  channel.session = nullptr;
  EXPECT_EQ(channel.Join("Ann", "3RAW 3H3W 12 CBA"), Lines{});
}

TEST(Greeting, Variables) {
  TChannel channel;
  channel.settings.GreetEnable = true;
  channel.settings.GreetMsg = "%uname|%bname|%ping|%lvl|%ch|%icon|%rnd|%time|%date|%other";
  channel.AddMember("Ann");
  const std::string when = TimeAndDate(channel.now) + "|%other";
  SendGreet(channel, "Ann", "3RAW 3H3W 12 CBA", 99);
  SendGreet(channel, "Ann", "not a status string", 0);  // its fields stay at zero
  EXPECT_EQ(channel.queued, (Lines{"Ann|Bot|99|12|Op Room|Knight|Ann|" + when,
                                   "Ann|Bot|0|0|Op Room|Peon|Ann|" + when}));
}

// Only the connected bot with someone else in the channel sends its idle line.
TEST(IdleMessage, NeedsConnectionAndCompany) {
  TChannel channel;
  channel.settings.IdleMsg = "%bname in %ch, hi %rnd (%uname %ping %lvl %icon) %time|%date";
  channel.AddMember("Ann");
  test::TLoopbackSession connection("Bot");
  ASSERT_TRUE(connection.connected);
  channel.settings.IdleEnable = true;
  SendIdleMessage(channel);  // never connected
  channel.session = nullptr;
  SendIdleMessage(channel);
  channel.session = &connection.bnet;
  SendIdleMessage(channel);
  channel.roster.pop_back();
  SendIdleMessage(channel);  // alone
  channel.AddMember("Ann");
  channel.settings.IdleEnable = false;
  SendIdleMessage(channel);  // off
  channel.settings.IdleEnable = true;
  channel.settings.IdleMsg = "";
  SendIdleMessage(channel);
  EXPECT_EQ(channel.queued, (Lines{"Bot in Op Room, hi Ann (%uname %ping %lvl %icon) " +
                                   TimeAndDate(channel.now)}));
}

}  // namespace
}  // namespace corvane
