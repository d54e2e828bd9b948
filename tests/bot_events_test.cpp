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
using test::TFakeBotHost;

// The bot "Bot" in channel "Op Room" with the given roster flags, over a session that
// never connects.
struct TChannel : TFakeBotHost {
  explicit TChannel(std::uint8_t bot_flags = 2, const std::string& bot_name = "Bot") {
    test::EnterChat(bnet, bot_name);  // in "Op Room", the home channel
    session = &bnet;
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

  static TSessionConfig Home() {
    TSessionConfig config;
    config.HomeChannel = "Op Room";
    return config;
  }

  TMainLoop loop;
  TBNET bnet{loop, Home()};
};

std::string LocalTime(std::time_t t, const char* format) {
  std::tm local{};
  localtime_r(&t, &local);
  std::ostringstream text;
  text << std::put_time(&local, format);
  return text.str();
}

TEST(JoinChecks, NothingWithoutOperatorStatus) {
  for (std::uint8_t flags : {0x00, 0x01, 0x03, 0x12}) {
    for (TProtectMode mode : {kProtectBan, kProtectKick, kProtectOff}) {
      TChannel channel(flags);
      channel.protect = mode;
      EXPECT_EQ(channel.Join("Eve"), Lines{}) << int{flags} << " " << int{mode};
      EXPECT_EQ(channel.Join("Joe"), Lines{}) << int{flags} << " " << int{mode};
    }
  }
  TChannel renamed(2, "bot");  // the roster's "Bot" is another name
  renamed.protect = kProtectBan;
  EXPECT_EQ(renamed.Join("Joe"), Lines{});
}

TEST(JoinChecks, OperatorKicksAndBans) {
  auto join = [](TProtectMode mode, const std::string& name) {
    TChannel channel;
    channel.protect = mode;
    return channel.Join(name);
  };
  EXPECT_EQ(join(kProtectOff, "Eve"), (Lines{"/ban Eve (Shitlisted)"}));
  EXPECT_EQ(join(kProtectOff, "Joe"), Lines{});
  EXPECT_EQ(join(kProtectKick, "Joe"), (Lines{"/kick Joe (This channel is protected!)"}));
  EXPECT_EQ(join(kProtectBan, "Sam"), Lines{});
  EXPECT_EQ(join(kProtectBan, "eve"),
            (Lines{"/ban eve (Shitlisted)", "/ban eve (This channel is protected!)"}));
  EXPECT_EQ(join(kProtectKick, "Both"), (Lines{"/ban Both (Shitlisted)"}));

  TChannel greeting;
  greeting.settings.GreetEnable = true;
  greeting.settings.GreetMsg = "Hi %uname";
  greeting.protect = kProtectBan;
  EXPECT_EQ(greeting.Join("Sam"), (Lines{"Hi Sam"}));
  EXPECT_EQ(greeting.Join("Joe"), (Lines{"/ban Joe (This channel is protected!)", "Hi Joe"}));
}

TEST(Greeting, WhereAndWhen) {
  TChannel channel(0);
  channel.settings.GreetMsg = "Welcome %uname to %ch!";
  EXPECT_EQ(channel.Join("Ann"), Lines{});  // greeting off
  channel.settings.GreetEnable = true;
  EXPECT_EQ(channel.Join("Ann"), (Lines{"Welcome Ann to Op Room!"}));
  channel.settings.GreetWhisper = true;
  EXPECT_EQ(channel.Join("Ann"), (Lines{"/w Ann Welcome Ann to Op Room!"}));
  EXPECT_EQ(channel.Join("Bot"), Lines{});
  channel.settings.GreetWhisper = false;
  channel.settings.GreetMsg = "";
  EXPECT_EQ(channel.Join("Ann"), (Lines{""}));
  channel.Clear();
  channel.roster.resize(1);
  SendGreet(channel, "Ann", "", 0);  // nobody else to be %rnd
  EXPECT_EQ(channel.queued, Lines{});
  channel.session = nullptr;
  EXPECT_EQ(channel.Join("Ann"), Lines{});
}

TEST(Greeting, OnlyMyClan) {
  TChannel channel;
  channel.settings.GreetEnable = true;
  channel.settings.GreetForMyClan = true;
  channel.settings.GreetMsg = "Hi %uname";
  EXPECT_EQ(channel.Join("Ann", "3RAW 3H3W 12 CBA"), Lines{});  // the bot has no clan
  EXPECT_EQ(channel.Join("Joe", "PX3W 1D3W 1"), Lines{});       // nor has the user
  test::JoinClan(channel.bnet, "abc", 1, {});
  EXPECT_EQ(channel.Join("Ann", "3RAW 3H3W 12 CBA"), (Lines{"Hi Ann"}));
  EXPECT_EQ(channel.Join("Joe", "PX3W 1D3W 1"), Lines{});
  EXPECT_EQ(channel.Join("Kim", "3RAW 3H3W 12 CBX"), Lines{});
}

TEST(Greeting, Variables) {
  TChannel channel;
  channel.settings.GreetEnable = true;
  channel.settings.GreetMsg = "%uname|%bname|%ping|%lvl|%ch|%icon|%rnd|%time|%date|%other";
  channel.AddMember("Ann");
  const std::string when =
      LocalTime(channel.now, "%X") + "|" + LocalTime(channel.now, "%x") + "|%other";
  SendGreet(channel, "Ann", "3RAW 3H3W 12 CBA", 99);
  SendGreet(channel, "Ann", "PX3W 3H3W 7", 5);
  SendGreet(channel, "Ann", "not a status string", 0);  // its fields stay at zero
  EXPECT_EQ(channel.queued, (Lines{"Ann|Bot|99|12|Op Room|Knight|Ann|" + when,
                                   "Ann|Bot|5|7|Op Room|Sorceress|Ann|" + when,
                                   "Ann|Bot|0|0|Op Room|Peon|Ann|" + when}));
}

TEST(IdleMessage, NeedsConnectionAndCompany) {
  TChannel channel;
  channel.settings.IdleEnable = true;
  channel.settings.IdleMsg = "%bname in %ch, hi %rnd (%uname %ping %lvl %icon) %time %date";
  channel.AddMember("Ann");
  SendIdleMessage(channel);  // never connected
  channel.session = nullptr;
  SendIdleMessage(channel);
  EXPECT_EQ(channel.queued, Lines{});

  test::TLoopbackSession connection("Bot");
  ASSERT_TRUE(connection.connected);
  channel.session = &connection.bnet;
  channel.roster.pop_back();
  SendIdleMessage(channel);  // alone
  EXPECT_EQ(channel.queued, Lines{});
  channel.AddMember("Ann");
  SendIdleMessage(channel);
  EXPECT_EQ(channel.queued,
            (Lines{"Bot in Op Room, hi Ann (%uname %ping %lvl %icon) " +
                   LocalTime(channel.now, "%X") + " " + LocalTime(channel.now, "%x")}));
  channel.Clear();
  channel.settings.IdleEnable = false;
  SendIdleMessage(channel);
  channel.settings.IdleEnable = true;
  channel.settings.IdleMsg = "";
  SendIdleMessage(channel);
  EXPECT_EQ(channel.queued, Lines{});
}

}  // namespace
}  // namespace corvane
