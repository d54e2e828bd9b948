#include "app/profile_display.h"

#include <gtest/gtest.h>

#include "bnet/bnet.h"

namespace corvane {
namespace {

using Line = std::pair<std::string, TColor>;

TEST(ProfileDisplay, UserProfileLinesInTheirOrderAndColours) {
  TBNETUserProfStats p;
  p.UserName = "Bob";
  const auto bare = UserProfileLines(p);
  ASSERT_EQ(bare.size(), 7u) << "heading and six race lines even without a ladder";
  EXPECT_EQ(bare[0], (Line{"User profile (Bob):", kYellow}));

  p.Team = {1, 12, 3, 450, 7, 0, 0};
  p.Races[2] = {5, 6};  // undead
  p.Races[3] = {8, 9};  // night elf
  p.TeamCount = 2;
  p.Teams[0].Partner1 = "x";
  p.Teams[0].Partner2 = "y";
  p.Teams[1].Level = 4;
  p.Teams[1].Wins = 10;
  p.Teams[1].Losses = 1;
  const auto lines = UserProfileLines(p);
  ASSERT_EQ(lines.size(), 1u + 1u + 6u + 6u);
  EXPECT_EQ(lines[1], (Line{"  [Team] Level: 7,  Wins: 12,  Loses: 3,  Exp: 450.", kLime}));
  EXPECT_EQ(lines[4].first, "  <Night elf> Wins: 8,  Loses: 9");
  EXPECT_EQ(lines[5].first, "  <Undead> Wins: 5,  Loses: 6");
  EXPECT_EQ(lines[8], (Line{"AT (Team 1):", kYellow}));
  EXPECT_EQ(lines[9].first, "  >>  x  y   ");
  EXPECT_EQ(lines[13].first, "  Level: 4,  Wins: 10,  Loses: 1");
}

TEST(ProfileDisplay, ClanProfileHasFiveRacesAndUnsignedNumbers) {
  TBNETClanProfStats p;
  p.ClanTag = "ABC";
  p.Team4 = {1, 4000000000u, 1, 2, 3, 0, 0};
  const auto lines = ClanProfileLines(p);
  ASSERT_EQ(lines.size(), 1u + 1u + 5u);
  EXPECT_EQ(lines[1].first, "  [4x4] Level: 3,  Wins: 4000000000,  Loses: 1,  Exp: 2.");
}

}  // namespace
}  // namespace corvane
