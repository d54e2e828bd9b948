#include "app/member_views.h"

#include <gtest/gtest.h>

#include "app/roster.h"
#include "support/fake_bot_host.h"
#include "support/session_feed.h"

namespace corvane {
namespace {

using namespace std::string_literals;
using Rows = std::vector<TViewRow>;

TEST(MemberViews, ChannelRowsPutExactOperatorsFirstAndCountInTheCaption) {
  test::TLoopbackSession live;
  ASSERT_TRUE(live.connected);
  TRoster roster;
  const std::string channel = "The Void";
  const TViewSource source{roster.Members(), &live.bnet, channel};
  TMemberViews views;
  // The operator bit with another is no operator.
  views.Refresh(kAddMember, &roster.Add("a", 0, 0, "PX3W 3H3W 12 CBA"), source);
  views.Refresh(kAddMember, &roster.Add("op1", 2, 0, ""), source);
  views.Refresh(kAddMember, &roster.Add("almost", 18, 0, ""), source);
  views.Refresh(kAddMember, &roster.Add("op2", 2, 0, ""), source);
  const Rows shown = {{66, kNoIcon, "", "op2", ""},
                      {66, kNoIcon, "", "op1", ""},
                      {IconImage(23), kNoIcon, "12", "a", "ABC"},
                      {IconImage(0), kNoIcon, "", "almost", ""}};
  EXPECT_EQ(views.Rows(), shown);
  const TUser gone = *roster.Find("a");
  roster.Remove("a");
  views.Refresh(kRemoveMember, &gone, source);
  EXPECT_EQ(views.Rows(), (Rows{shown[0], shown[1], shown[3]}));
  EXPECT_EQ(views.Caption(), "The Void(3)");
  // Squelched members get their icon; no session means "Not connected".
  EXPECT_EQ(TMemberViews::ChannelRow(roster.Add("hush", 0x20, 0, "")).icon, 65);
  EXPECT_EQ(TMemberViews::ChannelCaption({roster.Members(), nullptr, channel}), "Not connected");
}

TEST(MemberViews, FriendsAndClanViewsFollowOnlyTheirOwnRefreshes) {
  TMainLoop loop;
  TBNET session(loop);
  // Friends (name, status, location type, product reversed, location name): offline, in a
  // chat room, and in a game of another kind with a product.
  const std::string nul(5, '\0');
  test::Feed(session, test::ChatFrame(SID_FRIENDSLIST,
                                      "\3f0\0\0\0"s + nul + "f1\0\1\2"s + nul + "f7\0\1\7PX3W\0"s));
  TRoster roster;
  const std::string channel;
  const TViewSource source{roster.Members(), &session, channel};
  TMemberViews views;
  ASSERT_TRUE(views.Choose(TViewMode::Friends, source));
  EXPECT_EQ(views.Caption(), "2 friends online");
  const Rows friends = {{59, kNoIcon, "", "f0", ""},
                        {62, kNoIcon, "", "f1", ""},
                        {kNoIcon, kNoIcon, "", "f7", "W3XP"}};
  EXPECT_EQ(views.Rows(), friends);
  views.Refresh(kAddMember, &roster.Add("joiner", 0, 0, ""), source);
  EXPECT_EQ(views.Rows(), friends) << "channel traffic leaves the friends view alone";

  ASSERT_TRUE(views.Choose(TViewMode::Clan, source));
  // A rank outside the table gets no icon.
  test::JoinClan(session, "ABC", 4, {{"chief", 4, 1}, {"odd", 9, 0}});
  views.Refresh(kRefreshClan, nullptr, source);
  EXPECT_EQ(views.Caption(), "Clan ABC (2 members)");
  EXPECT_EQ(views.Rows(), (Rows{{kNoIcon, 59, "", "odd", ""}, {57, 58, "", "chief", ""}}));
}

}  // namespace
}  // namespace corvane
