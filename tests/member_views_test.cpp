#include "app/member_views.h"

#include <gtest/gtest.h>

#include "support/fake_bot_host.h"
#include "support/session_feed.h"

namespace corvane {
namespace {

using Names = std::vector<std::string>;

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

// A friends-list entry: name, status, location type, product (reversed, as sent) and the
// location's name.
std::string Friend(const std::string& name, char status, char location,
                   const std::string& product = std::string(4, '\0')) {
  return name + '\0' + status + location + std::string(product.rbegin(), product.rend()) + '\0';
}

Names Shown(const TMemberViews& views) {
  Names names;
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
  // The operator bit with another is no operator.
  for (const TUser& m : {Member("a", 0, "PX3W 3H3W 12 CBA"), Member("op1", 2), Member("almost", 18),
                         Member("op2", 2)}) {
    roster.push_back(m);
    views.Refresh(kAddMember, &roster.back(), source);
  }
  EXPECT_EQ(Shown(views), (Names{"op2", "op1", "a", "almost"}));
  EXPECT_EQ(views.Rows()[2], (TViewRow{IconImage(23), kNoIcon, "12", "a", "ABC"}));
  EXPECT_EQ(views.Rows()[0].icon, 66);
  EXPECT_EQ(views.Rows()[3].icon, IconImage(0));
  views.Refresh(kRefreshChannel, nullptr, source);
  EXPECT_EQ(Shown(views), (Names{"op2", "op1", "a", "almost"}));
  const TUser gone = roster[0];
  roster.erase(roster.begin());
  views.Refresh(kRemoveMember, &gone, source);
  EXPECT_EQ(Shown(views), (Names{"op2", "op1", "almost"}));
  EXPECT_EQ(views.Caption(), "The Void(3)");

  // Squelched members get their icon; no session means "Not connected".
  EXPECT_EQ(TMemberViews::ChannelRow(Member("hush", 0x20)).icon, 65);
  EXPECT_EQ(TMemberViews::ChannelCaption({roster, nullptr, channel}), "Not connected");
}

TEST(MemberViews, FriendsAndClanViewsFollowOnlyTheirOwnRefreshes) {
  TMainLoop loop;
  TBNET session(loop);
  // Friends offline, in a chat room, and in a game of another kind with a product.
  test::Feed(session,
             test::ChatFrame(SID_FRIENDSLIST, "\x03" + Friend("f0", 0, 0) + Friend("f1", 1, 2) +
                                                  Friend("f7", 1, 7, "W3XP")));
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

  ASSERT_TRUE(views.Choose(TViewMode::Clan, source));
  EXPECT_EQ(views.Caption(), "No clan.");
  EXPECT_TRUE(views.Rows().empty());
  // A rank outside the table gets no icon.
  test::JoinClan(session, "ABC", 4, {{"chief", 4, 1}, {"odd", 9, 0}});
  views.Refresh(kRefreshClan, nullptr, source);
  EXPECT_EQ(views.Caption(), "Clan ABC (2 members)");
  EXPECT_EQ(views.Rows(),
            (std::vector<TViewRow>{{kNoIcon, 59, "", "odd", ""}, {57, 58, "", "chief", ""}}));
}

}  // namespace
}  // namespace corvane
