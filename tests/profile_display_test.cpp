#include "app/profile_display.h"

#include <gtest/gtest.h>

#include "bnet/bnet.h"

namespace corvane {
namespace {

using Line = std::pair<std::string, TColor>;

// The heading, the ladder lines in green, six races by name, the team records; clan
// numbers unsigned, and five races.
TEST(ProfileDisplay, UserAndClanProfileLines) {
  TBNETUserProfStats p;
  p.UserName = "Bob";
  p.Team = {1, 12, 3, 450, 7, 0, 0};
  p.Races = {{{}, {}, {5, 6}, {8, 9}, {}, {}}};  // undead, night elf
  p.TeamCount = 2;
  p.Teams[0] = {"", 0, 0, 0, 0, 0, 0, "x", "y", ""};
  p.Teams[1] = {"", 10, 1, 0, 4, 0, 0, "", "", ""};
  const auto lines = UserProfileLines(p);
  ASSERT_EQ(lines.size(), 1u + 1u + 6u + 6u);
  EXPECT_EQ(lines[0], (Line{"User profile (Bob):", kYellow}));
  EXPECT_EQ(lines[1], (Line{"  [Team] Level: 7,  Wins: 12,  Loses: 3,  Exp: 450.", kLime}));
  EXPECT_EQ(lines[4].first + "|" + lines[5].first,
            "  <Night elf> Wins: 8,  Loses: 9|  <Undead> Wins: 5,  Loses: 6");
  EXPECT_EQ(lines[8], (Line{"AT (Team 1):", kYellow}));
  EXPECT_EQ(lines[9].first + lines[13].first, "  >>  x  y     Level: 4,  Wins: 10,  Loses: 1");

  TBNETClanProfStats c;
  c.Team4 = {1, 4000000000u, 1, 2, 3, 0, 0};
  const auto clan = ClanProfileLines(c);
  ASSERT_EQ(clan.size(), 1u + 1u + 5u);
  EXPECT_EQ(clan[1].first, "  [4x4] Level: 3,  Wins: 4000000000,  Loses: 1,  Exp: 2.");
}

}  // namespace
}  // namespace corvane
