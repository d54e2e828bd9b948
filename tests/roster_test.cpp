#include "app/roster.h"

#include <gtest/gtest.h>

#include "bnet/bnet.h"
#include "net/main_loop.h"
#include "support/session_feed.h"

namespace corvane {
namespace {

TEST(Roster, EntriesFromChatEventsExactLookupsAndAttributes) {
  TRoster roster;
  const TUser& a = roster.Add("Alice", 0x112, 140, "PX3W 3H3W 12 CBA");
  EXPECT_EQ(std::to_string(a.Flags) + " " + a.Clan, "18 ABC") << "the low byte is kept";
  roster.Add("alice", 0, 0, "");
  roster.Add("Alice", 2, 0, "");  // a second entry of the same name: the first one wins
  EXPECT_EQ(roster.Find("Alice")->Ping, 140u);
  EXPECT_EQ(roster.Find("ALICE"), nullptr) << "case counts";
  EXPECT_TRUE(roster.SetFlags("alice", 4) && roster.Remove("Alice"));
  // The second Alice (2) is the first now, and "alice" got 4.
  EXPECT_EQ(roster.Find("Alice")->Flags + roster.Find("alice")->Flags, 6);
  EXPECT_FALSE(roster.Remove("nobody") || roster.SetFlags("nobody", 2));

  TMainLoop loop;
  TBNET session(loop);
  EXPECT_EQ(UserAttributes(nullptr, "x"), "");
  test::JoinClan(session, "ABC", 1, {{"Chief", 4, 1}});
  // Two friends: name, status, location, product and location name each.
  test::Feed(session, test::ChatFrame(SID_FRIENDSLIST, "\2chief" + std::string(8, '\0') + "pal" +
                                                           std::string(8, '\0')));
  EXPECT_EQ(UserAttributes(&session, "CHIEF") + "|" + UserAttributes(&session, "Pal") + "|" +
                UserAttributes(&session, "stranger"),
            "CF|F|");
}

}  // namespace
}  // namespace corvane
