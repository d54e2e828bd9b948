#include "app/member_views.h"

#include <gtest/gtest.h>

#include "fakes/fake_bot_host.h"

namespace corvane {
namespace {

TUser Member(const std::string& name, std::uint8_t flags, const std::string& statstring = "") {
  TUser u;
  u.Name = name;
  u.Flags = flags;
  u.Info = statstring;
  ParseStatstring(statstring, u.Parsed);
  u.Clan = u.Parsed.Clan;
  u.Status = 1;
  return u;
}

std::vector<std::string> Names(const TMemberViews& views) {
  std::vector<std::string> names;
  for (const TViewRow& r : views.Rows()) names.push_back(r.name);
  return names;
}

TEST(MemberViews, ChannelRowsPutExactOperatorsFirstAndCountInTheCaption) {
  test::TLoopbackSession live;
  ASSERT_TRUE(live.connected);
  std::vector<TUser> roster;
  const std::string channel = "The Void";
  const TViewSource source{roster, &live.bnet, channel};
  TMemberViews views;

  roster.push_back(Member("a", 0, "PX3W 3H3W 12 CBA"));
  views.Refresh(kAddMember, &roster.back(), source);
  EXPECT_EQ(views.Caption(), "The Void(1)");
  EXPECT_EQ(views.Rows()[0], (TViewRow{IconImage(23), kNoIcon, "12", "a", "ABC"}));
  roster.push_back(Member("op1", 2));
  views.Refresh(kAddMember, &roster.back(), source);
  roster.push_back(Member("almost", 18));  // operator bit and another: not an operator
  views.Refresh(kAddMember, &roster.back(), source);
  roster.push_back(Member("op2", 2));
  views.Refresh(kAddMember, &roster.back(), source);
  EXPECT_EQ(Names(views), (std::vector<std::string>{"op2", "op1", "a", "almost"}));
  EXPECT_EQ(views.Rows()[0].icon, 66);
  EXPECT_EQ(views.Rows()[3].icon, IconImage(0));

  views.Refresh(kRefreshChannel, nullptr, source);
  EXPECT_EQ(Names(views), (std::vector<std::string>{"op2", "op1", "a", "almost"}));
  const TUser gone = roster[0];
  roster.erase(roster.begin());
  views.Refresh(kRemoveMember, &gone, source);
  EXPECT_EQ(Names(views), (std::vector<std::string>{"op2", "op1", "almost"}));
  EXPECT_EQ(views.Caption(), "The Void(3)");

  // Squelched members get their icon; no session means "Not connected".
  EXPECT_EQ(TMemberViews::ChannelRow(Member("hush", 0x20)).icon, 65);
  const TViewSource offline{roster, nullptr, channel};
  EXPECT_EQ(TMemberViews::ChannelCaption(offline), "Not connected");
}

TEST(MemberViews, FriendsAndClanViewsFollowOnlyTheirOwnRefreshes) {
  TMainLoop loop;
  TBNET session(loop);
  session.Friends = {Member("f0", 0), Member("f1", 0), Member("f7", 0)};
  session.Friends[0].LocationType = 0;
  session.Friends[0].Status = 0;
  session.Friends[1].LocationType = 2;
  session.Friends[2].LocationType = 7;
  session.Friends[2].Product = "W3XP";
  std::vector<TUser> roster;
  const std::string channel;
  const TViewSource source{roster, &session, channel};
  TMemberViews views;

  EXPECT_FALSE(views.Choose(TViewMode::Channel, source)) << "already shown";
  ASSERT_TRUE(views.Choose(TViewMode::Friends, source));
  EXPECT_EQ(views.Caption(), "2 friends online");
  ASSERT_EQ(views.Rows().size(), 3u);
  EXPECT_EQ(views.Rows()[0].icon, 59);
  EXPECT_EQ(views.Rows()[1].icon, 62);
  EXPECT_EQ(views.Rows()[2], (TViewRow{kNoIcon, kNoIcon, "", "f7", "W3XP"}));
  roster.push_back(Member("joiner", 0));
  views.Refresh(kAddMember, &roster.back(), source);
  EXPECT_EQ(views.Rows().size(), 3u) << "channel traffic leaves the friends view alone";
  EXPECT_EQ(views.Caption(), "2 friends online");

  ASSERT_TRUE(views.Choose(TViewMode::Clan, source));
  EXPECT_EQ(views.Caption(), "No clan.");
  EXPECT_TRUE(views.Rows().empty());
  session.ClanInfo = {true, "ABC", 4, 2};
  session.ClanMembers = {Member("chief", 0), Member("odd", 0)};
  session.ClanMembers[0].Rank = 4;
  session.ClanMembers[1].Rank = 9;
  session.ClanMembers[1].Status = 0;
  views.Refresh(kRefreshClan, nullptr, source);
  EXPECT_EQ(views.Caption(), "Clan ABC (2 members)");
  EXPECT_EQ(views.Rows()[0], (TViewRow{57, 58, "", "chief", ""}));
  EXPECT_EQ(views.Rows()[1], (TViewRow{kNoIcon, 59, "", "odd", ""}));
}

}  // namespace
}  // namespace corvane
