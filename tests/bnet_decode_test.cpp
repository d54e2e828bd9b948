// The session's handlers fed straight through its framing, without sockets.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bnet/bnet.h"
#include "bnet/sid.h"
#include "net/main_loop.h"
#include "support/recording_observer.h"
#include "support/session_feed.h"

namespace corvane {
namespace {

using namespace std::string_literals;
using Strings = std::vector<std::string>;
using test::ChatEventFrame;
using test::ChatFrame;

std::string D(std::uint32_t v) {
  return test::Dword(v);
}
std::string W(std::uint16_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
std::string B(std::uint8_t v) {
  return std::string(1, static_cast<char>(v));
}
std::string Nt(const std::string& s) {
  return s + '\0';
}

template <typename Fn>
TSessionConfig ConfigWith(Fn&& set) {
  TSessionConfig c;
  set(c);
  return c;
}

class Decode : public ::testing::Test {
 protected:
  explicit Decode(TSessionConfig config = {}) : bnet(loop, std::move(config)) {
    bnet.SetObserver(&seen);
  }
  void Feed(const std::string& bytes) { test::Feed(bnet, bytes); }

  TMainLoop loop;
  TBNET bnet;
  test::TRecordingObserver seen;
};

TEST_F(Decode, FramingHandlesJoinedSplitShortAndUnknownMessages) {
  const std::string two = ChatEventFrame(5, "x", "hi", 0x10, 50) + ChatEventFrame(2, "y", "PX3W");
  Feed(two.substr(0, 3));
  Feed(two.substr(3, 20));
  EXPECT_TRUE(seen.events.empty()) << "a message is handled only when its last byte is there";
  Feed(two.substr(23));
  EXPECT_EQ(seen.events, (Strings{"Talk x|hi|16|50", "Joined y|PX3W|0|0"}));

  // Unknown ids are reported and skipped by their length; the ignored ids say nothing. A
  // message longer (servers add fields) or shorter than its handler reads does not shift
  // the next; a length below 4 still moves on by 4; a frame without 0xFF is reported and
  // handled anyway.
  seen.Clear();
  Feed(ChatFrame(0x99, "123456") + ChatFrame(SID_NULL, "") + ChatFrame(SID_GETICONDATA, "icons") +
       ChatFrame(SID_REQUIREDWORK, "x.mpq"s + '\0') +
       ChatFrame(SID_MESSAGEBOX, D(3) + Nt("text") + Nt("caption") + "appended field") +
       ChatFrame(SID_CHATEVENT, D(5)) + "\xFF\x0F\x00\x00"s + ChatEventFrame(5, "b", "in step") +
       "\xAA"s + ChatEventFrame(5, "c", "odd").substr(1));
  EXPECT_EQ(seen.statuses, (Strings{"3:10001 Unknown message ID: 153, Size: 10",
                                    "3:10000 First byte is not FF."}));
  EXPECT_EQ(seen.events, (Strings{"MessageBox text|caption|3", "Talk ||0|0", "Talk b|in step|0|0",
                                  "Talk c|odd|0|0"}));
}

TEST_F(Decode, ChatEventsAreNamedAndTrackOwnPingAndFlagsExactly) {
  test::EnterChat(bnet, "Bot");
  seen.Clear();
  struct Case {
    std::uint32_t id;
    const char* event;  // empty: the owner hears nothing
  } const cases[] = {
      {1, "Shown"},        {2, "Joined"},    {3, "Left"},    {4, "Whisper"},
      {5, "Talk"},         {6, "Broadcast"}, {7, "Channel"}, {9, "Flags"},
      {10, "WhisperSent"}, {13, "Full"},     {14, ""},       {15, "Restricted"},
      {18, "Info t"},      {19, "Error t"},  {23, "Emote"},  {8, ""},
  };
  for (const Case& c : cases) {
    seen.Clear();
    Feed(ChatEventFrame(c.id, "u", "t"));
    const std::string got = seen.events.empty() ? "" : seen.events[0];
    EXPECT_EQ(got.substr(0, std::string(c.event).size()), c.event) << c.id;
    EXPECT_EQ(seen.events.size(), c.event[0] ? 1u : 0u) << c.id;
  }
  Feed(ChatEventFrame(1, "bot", "PX3W", 0x20, 99));
  EXPECT_EQ(bnet.MyPing(), 0u) << "letter case counts";
  Feed(ChatEventFrame(1, "Bot", "PX3W", 0x02, 140));
  EXPECT_EQ(bnet.MyPing(), 140u);
  EXPECT_EQ(bnet.MyFlags(), 0x02u);
  Feed(ChatFrame(SID_FLOODDETECTED, ""));
  EXPECT_EQ(seen.errors, Strings{"3012 You disconnected for flooding."});
}

class Utf8Decode : public Decode {
 protected:
  Utf8Decode() : Decode(ConfigWith([](TSessionConfig& c) { c.UTF8 = true; })) {}
};

TEST_F(Utf8Decode, TextIsDecodedButNamesNeverAre) {
  // CP1251 holds the euro sign (0x88) but no é: that one becomes '?', as does the
  // malformed byte.
  Feed(ChatEventFrame(5, "n\xC3\xA9", "caf\xC3\xA9 \xE2\x82\xAC \xFF"));
  EXPECT_EQ(seen.events, Strings{"Talk n\xC3\xA9|caf? \x88 ?|0|0"});
}

class ClanDecode : public Decode {
 protected:
  ClanDecode() : Decode(ConfigWith([](TSessionConfig& c) { c.Username = "Owner"; })) {}
};

TEST_F(ClanDecode, ListIsSortedByExchangesAndStatusChangesFollowTheirCaseRules) {
  Feed(ChatFrame(SID_CLANINFO, B(0) + "CBA\0"s + B(199)));
  EXPECT_FALSE(bnet.ClanInfo().InClan) << "a rank the protocol does not have";
  test::JoinClan(bnet, "ABC", 3, {{"a", 1, 0}, {"BOB", 4, 1}, {"c", 2, 0}, {"d", 4, 0}});
  EXPECT_EQ(bnet.ClanInfo().Tag, "ABC");
  std::string order;
  for (const TUser& u : bnet.ClanMembers()) order += u.Name + std::to_string(u.Rank) + u.Clan;
  EXPECT_EQ(order, "BOB4ABCd4ABCc2ABCa1ABC");
  EXPECT_EQ(bnet.ClanInfo().MemberCount, 4);
  EXPECT_EQ(seen.events, (Strings{"ClanInfo", "ClanList"}));

  Feed(ChatFrame(SID_CLANMEMBERSTATUSCHANGE, Nt("bob") + B(2) + B(0) + Nt("")));
  EXPECT_EQ(bnet.ClanMembers()[0].Rank, 2) << "members are found without regard to case";
  EXPECT_EQ(seen.events.back(), "ClanMember bob|2|0");
  Feed(ChatFrame(SID_CLANMEMBERSTATUSCHANGE, Nt("owner") + B(1) + B(1) + Nt("")));
  EXPECT_EQ(bnet.ClanInfo().Rank, 3) << "the account's own rank changes only on its exact name";
  Feed(ChatFrame(SID_CLANMEMBERSTATUSCHANGE, Nt("Owner") + B(9) + B(1) + Nt("")));
  EXPECT_EQ(bnet.ClanInfo().Rank, 3) << "nor to a rank the protocol does not have";
  Feed(ChatFrame(SID_CLANMEMBERSTATUSCHANGE, Nt("Owner") + B(1) + B(1) + Nt("")));
  EXPECT_EQ(bnet.ClanInfo().Rank, 1);

  // Control bytes in a tag are dropped.
  Feed(ChatFrame(SID_CLANINVITATIONRESPONSE, D(77) + "\x01Z\x02Y" + Nt("Clan Name") + Nt("boss")));
  EXPECT_EQ(seen.events.back(), "Invited YZ|Clan Name|boss|77");
}

TEST_F(Decode, FriendsListReplacesTheOldOne) {
  Feed(ChatFrame(SID_FRIENDSLIST, B(2) + Nt("f1") + B(1) + B(2) + "3RAW" + Nt("The Void") +
                                      Nt("f2") + B(0) + B(0) + "\0\0\0\0"s + Nt("")));
  ASSERT_EQ(bnet.Friends().size(), 2u);
  const TUser& f = bnet.Friends()[0];
  EXPECT_EQ(f.Product + "|" + f.Location + "|" + std::to_string(f.LocationType), "WAR3|The Void|2");
  EXPECT_EQ(bnet.Friends()[1].Product, "");
  Feed(ChatFrame(SID_FRIENDSLIST, B(0)));
  EXPECT_TRUE(bnet.Friends().empty());
  EXPECT_EQ(seen.events, (Strings{"Friends", "Friends"}));
  // A count with nothing behind it gives empty entries, nothing worse.
  Feed(ChatFrame(SID_FRIENDSLIST, B(255)));
  EXPECT_EQ(bnet.Friends().size(), 255u);
}

std::string UserLadder(const std::string& type, std::uint16_t wins, std::uint8_t level,
                       std::uint32_t rank) {
  return type + W(wins) + W(2) + B(level) + B(7) + W(300) + D(rank);
}

TEST_F(Decode, ProfilesWithSixRacesNineTeamsAndTheirCookies) {
  test::EnterChat(bnet, "Bot");  // requests go nowhere without a socket, but keep cookies
  bnet.RequestUserProfile("someone", "PX3W");
  std::string body = B(4) + D(1) + "4R3W" + B(3) + UserLadder("OLOS", 10, 5, 0x10002) +
                     UserLadder("XXXX", 9, 9, 9) + UserLadder("1ORP", 1, 1, 1) + B(6);
  for (int r = 0; r < 6; ++r) body += W(static_cast<std::uint16_t>(100 + r)) + W(0);
  body += B(9);
  for (int t = 0; t < 9; ++t) {
    body += "MAET" + W(static_cast<std::uint16_t>(t)) + W(1) + B(2) + B(3) + W(4) + D(5) +
            std::string(8, '\x7F') +
            (t == 0 ? B(4) + Nt("p1") + Nt("p2") + Nt("p3") + Nt("p4") : B(1) + Nt("q"));
  }
  Feed(ChatFrame(SID_WARCRAFTGENERAL, body) + ChatEventFrame(5, "next", "in step"));
  const TBNETUserProfStats& u = seen.user;
  EXPECT_EQ(u.Cookie, 1u);
  EXPECT_EQ(u.UserName, "someone");
  EXPECT_EQ(u.IconId, "4R3W");
  EXPECT_EQ(u.Solo.Wins + u.Solo.Level * 100 + u.Solo.Hours * 1000, 10 + 500 + 7000);
  EXPECT_EQ(u.Solo.Rank, 2) << "the rank keeps its low 16 bits";
  EXPECT_EQ(u.Team.Present + 2 * u.Season.Present, 2);
  // Random comes first on the wire and fifth in the record.
  EXPECT_EQ(u.Races[4].Wins, 100);
  EXPECT_EQ(u.Races[0].Wins, 101);
  EXPECT_EQ(u.Races[5].Wins, 105);
  EXPECT_EQ(u.TeamCount, 8) << "teams past eight are read and dropped";
  EXPECT_EQ(u.Teams[0].Partner3, "p3");
  EXPECT_EQ(u.Teams[7].Wins, 7);
  EXPECT_EQ(seen.events.back(), "Talk next|in step|0|0");

  bnet.RequestUserProfile("first", "PX3W");
  bnet.RequestClanProfile("AB", "PX3W");
  bnet.RequestClanProfile("XYZ", "TOOLONG");  // refused: no cookie handed out
  EXPECT_EQ(bnet.LastCookie(), 3u);
  std::string clan =
      B(8) + D(3) + B(1) + "2NLC" + D(7) + D(8) + B(9) + B(10) + D(11) + D(12) + B(5);
  for (int r = 0; r < 5; ++r) clan += D(static_cast<std::uint32_t>(1000 + r)) + D(0);
  Feed(ChatFrame(SID_WARCRAFTGENERAL, clan));
  EXPECT_EQ(seen.clan.ClanTag, "AB");
  EXPECT_EQ(seen.clan.Team2.Wins + seen.clan.Team2.Rank, 7u + 12u);
  EXPECT_EQ(seen.clan.Races[4].Wins, 1000u);
  Feed(ChatFrame(SID_CLANINVITATION, D(42) + B(4)));
  EXPECT_EQ(seen.events.back(), "InvitationAnswer Unknown|4");

  // An answered request gives its cookie back; unanswered ones are kept only so many.
  EXPECT_EQ(bnet.CookieCount(), 1u) << "the profiles' cookies went with their answers";
  for (int i = 0; i < 200; ++i) bnet.RequestUserProfile("u" + std::to_string(i), "PX3W");
  EXPECT_EQ(bnet.CookieCount(), TBNET::kMaxCookies);
  EXPECT_EQ(bnet.FindCookie(bnet.LastCookie())->UserName, "u199");
}

TEST_F(Decode, WarcraftGeneralTwoWritesTwoRedLinesAndItsPayload) {
  const auto dump = std::filesystem::temp_directory_path() /
                    ("corvane-dump-" + std::to_string(::getpid()) + ".bin");
  TBNET dumping(loop, ConfigWith([&](TSessionConfig& c) { c.DumpFileName = dump.string(); }));
  dumping.SetObserver(&seen);
  test::Feed(dumping, ChatFrame(SID_WARCRAFTGENERAL,
                                B(2) + D(1) + B(2) + D(3) + D(4) + W(513) + W(2) + "xyz!") +
                          ChatEventFrame(5, "after", "dump"));
  EXPECT_EQ(seen.lines,
            (std::vector<std::pair<std::string, TColor>>{{"DC 513", kRed}, {"C 2", kRed}}));
  TBuffer written;
  ASSERT_TRUE(written.LoadFromFile(dump.string()));
  EXPECT_EQ(written.Bytes(), "xyz!");
  std::filesystem::remove(dump);
  EXPECT_EQ(seen.events, Strings{"Talk after|dump|0|0"});
}

}  // namespace
}  // namespace corvane
