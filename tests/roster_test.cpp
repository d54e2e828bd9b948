#include "app/roster.h"

#include <gtest/gtest.h>

#include "bnet/bnet.h"
#include "net/main_loop.h"
#include "support/session_feed.h"

namespace corvane {
namespace {

using namespace std::string_literals;

TEST(Roster, EntriesFromChatEventsAndExactLookups) {
  TRoster roster;
  const TUser& a = roster.Add("Alice", 0x112, 140, "PX3W 3H3W 12 CBA");
  EXPECT_EQ(a.Flags, 0x12) << "the low byte is kept";
  EXPECT_EQ(a.Clan, "ABC");
  roster.Add("alice", 0, 0, "");
  roster.Add("Alice", 2, 0, "");  // a second entry of the same name: the first one wins
  EXPECT_EQ(roster.Find("Alice")->Ping, 140u);
  EXPECT_EQ(roster.Find("alice")->Ping, 0u);
  EXPECT_EQ(roster.Find("ALICE"), nullptr) << "case counts";
  EXPECT_TRUE(roster.SetFlags("Alice", 2));
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
  test::JoinClan(session, "ABC", 1, {{"Chief", 4, 1}});
  // Two friends: name, status, location, product and location name each.
  test::Feed(session, test::ChatFrame(SID_FRIENDSLIST, "\x02" + "chief"s + std::string(8, '\0') +
                                                           "pal" + std::string(8, '\0')));
  EXPECT_EQ(UserAttributes(&session, "CHIEF"), "CF");
  EXPECT_EQ(UserAttributes(&session, "Pal"), "F");
  EXPECT_EQ(UserAttributes(&session, "stranger"), "");
}

}  // namespace
}  // namespace corvane
