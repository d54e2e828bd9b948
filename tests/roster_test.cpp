#include "app/roster.h"

#include <gtest/gtest.h>

#include "bnet/bnet.h"
#include "net/main_loop.h"

namespace corvane {
namespace {

TEST(Roster, EntriesFromChatEventsAndExactLookups) {
  TRoster roster;
  const TUser& a = roster.Add("Alice", 0x112, 140, "PX3W 3H3W 12 CBA");
  EXPECT_EQ(a.Flags, 0x12) << "the low byte is kept";
  EXPECT_EQ(a.Ping, 140u);
  EXPECT_EQ(a.Clan, "ABC");
  EXPECT_EQ(a.Parsed.Level, 12);
  EXPECT_EQ(a.Status, 1);
  roster.Add("alice", 0, 0, "");
  roster.Add("Alice", 2, 0, "");  // a second entry of the same name: the first one wins
  EXPECT_EQ(roster.Find("Alice")->Ping, 140u);
  EXPECT_EQ(roster.Find("alice")->Ping, 0u);
  EXPECT_EQ(roster.Find("ALICE"), nullptr) << "case counts";
  EXPECT_TRUE(roster.SetFlags("Alice", 2));
  EXPECT_EQ(roster.Find("Alice")->Flags, 2);
  EXPECT_TRUE(roster.Remove("Alice"));
  EXPECT_EQ(roster.Find("Alice")->Flags, 2) << "the second Alice is now the first";
  EXPECT_FALSE(roster.Remove("nobody"));
  EXPECT_FALSE(roster.SetFlags("nobody", 2));
  EXPECT_EQ(roster.Size(), 2u);
}

TEST(Roster, AttributesComeFromTheClanAndFriendsLists) {
  TMainLoop loop;
  TBNET session(loop);
  EXPECT_EQ(UserAttributes(nullptr, "x"), "");
  const auto named = [](const char* name) {
    TUser u;
    u.Name = name;
    return u;
  };
  session.ClanMembers.push_back(named("Chief"));
  session.Friends.push_back(named("chief"));
  session.Friends.push_back(named("pal"));
  EXPECT_EQ(UserAttributes(&session, "CHIEF"), "CF");
  EXPECT_EQ(UserAttributes(&session, "Pal"), "F");
  EXPECT_EQ(UserAttributes(&session, "stranger"), "");
}

}  // namespace
}  // namespace corvane
