// The session's handlers fed straight through its framing, without sockets.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "net/main_loop.h"
#include "support/recording_observer.h"
#include "support/session_feed.h"

namespace corvane {
namespace {

using namespace std::string_literals;
using Strings = std::vector<std::string>;
using test::ChatEventFrame;
using test::ChatFrame;

const auto D = [](std::uint32_t v) { return test::Dword(v); };
const auto W = [](std::uint16_t v) { return D(v).substr(0, 2); };
const auto B = [](std::uint8_t v) { return std::string(1, static_cast<char>(v)); };
const auto Nt = [](const std::string& s) { return s + '\0'; };

class Decode : public ::testing::Test {
 protected:
  Decode() {
    Use([](TSessionConfig&) {});
  }
  // A fresh session on a configuration that `set` fills in.
  void Use(auto set) {
    TSessionConfig config;
    set(config);
    bnet = std::make_unique<TBNET>(loop, config);
    bnet->SetObserver(&seen);
  }
  void Feed(const std::string& bytes) { test::Feed(*bnet, bytes); }

  TMainLoop loop;
  std::unique_ptr<TBNET> bnet;
  test::TRecordingObserver seen;
};

TEST_F(Decode, FramingSurvivesJoinedSplitShortAndUnknownMessages) {
  const std::string two = ChatEventFrame(5, "x", "hi", 0x10, 50) + ChatEventFrame(2, "y", "PX3W");
  Feed(two.substr(0, 3));
  Feed(two.substr(3, 20));
  EXPECT_TRUE(seen.events.empty()) << "a message is handled only when its last byte is there";
  Feed(two.substr(23));

  // Unknown ids are reported and skipped by their length; the ignored ids say nothing. A
  // message longer (servers add fields) or shorter than its handler reads does not shift
  // the next; a length below 4 still moves on by 4; a frame without 0xFF is reported and
  // handled anyway.
  Feed(ChatFrame(0x99, "123456") + ChatFrame(SID_NULL, "") + ChatFrame(SID_GETICONDATA, "icons") +
       ChatFrame(SID_REQUIREDWORK, "x.mpq"s + '\0') +
       ChatFrame(SID_MESSAGEBOX, D(3) + Nt("text") + Nt("caption") + "appended field") +
       ChatFrame(SID_CHATEVENT, D(5)) + "\xFF\x0F\x00\x00"s + ChatEventFrame(5, "b", "in step") +
       "\xAA"s + ChatEventFrame(5, "c", "odd").substr(1));
  EXPECT_EQ(seen.statuses, (Strings{"3:10001 Unknown message ID: 153, Size: 10",
                                    "3:10000 First byte is not FF."}));
  EXPECT_EQ(seen.events,
            (Strings{"Talk x|hi|16|50", "Joined y|PX3W|0|0", "MessageBox text|caption|3",
                     "Talk ||0|0", "Talk b|in step|0|0", "Talk c|odd|0|0"}));
}

TEST_F(Decode, ChatEventsAreNamedAndTrackOwnPingAndFlagsExactly) {
  test::EnterChat(*bnet, "Bot");
  for (int id : {1, 2, 3, 4, 5, 6, 7, 9, 10, 13, 14, 15, 18, 19, 23, 8})
    Feed(ChatEventFrame(id, "u", "t"));
  std::string names;  // 14 and 8 say nothing
  for (const std::string& e : seen.events) names += e.substr(0, e.find('|')) + ",";
  EXPECT_EQ(names,
            "EnteredChat Bot,Shown u,Joined u,Left u,Whisper u,Talk u,Broadcast u,Channel u,"
            "Flags u,WhisperSent u,Full,Restricted,Info t,Error t,Emote u,");
  Feed(ChatEventFrame(1, "Bot", "PX3W", 0x02, 140) + ChatEventFrame(1, "bot", "PX3W", 0x20, 99));
  EXPECT_EQ(bnet->MyPing() * 100 + bnet->MyFlags(), 14002u) << "letter case counts";
}

TEST_F(Decode, Utf8TextIsDecodedButNamesNeverAre) {
  Use([](TSessionConfig& c) { c.UTF8 = true; });
  // CP1251 holds the euro sign (0x88) but no é: that one becomes '?', as does the
  // malformed byte.
  Feed(ChatEventFrame(5, "n\xC3\xA9", "caf\xC3\xA9 \xE2\x82\xAC \xFF"));
  EXPECT_EQ(seen.events, Strings{"Talk n\xC3\xA9|caf? \x88 ?|0|0"});
}

TEST_F(Decode, ClanListIsSortedAndRanksOutsideZeroToFourAreIgnored) {
  Use([](TSessionConfig& c) { c.Username = "Owner"; });
  Feed(ChatFrame(SID_CLANINFO, B(0) + "CBA\0"s + B(199)));
  EXPECT_FALSE(bnet->ClanInfo().InClan) << "a rank the protocol does not have";
  test::JoinClan(*bnet, "ABC", 3, {{"a", 1, 0}, {"BOB", 4, 1}, {"c", 2, 0}, {"d", 4, 0}});
  std::string order = bnet->ClanInfo().Tag + std::to_string(bnet->ClanInfo().MemberCount) + ":";
  for (const TUser& u : bnet->ClanMembers()) order += u.Name + std::to_string(u.Rank) + u.Clan;
  EXPECT_EQ(order, "ABC4:BOB4ABCd4ABCc2ABCa1ABC");

  // Members are found without regard to case; the account's own rank changes only on its
  // exact name, and never to a rank the protocol does not have.
  for (const char* who : {"bob", "owner", "Owner"}) {
    Feed(ChatFrame(SID_CLANMEMBERSTATUSCHANGE, Nt(who) + B(who[0] == 'O' ? 9 : 2) + B(0) + Nt("")));
  }
  EXPECT_EQ(bnet->ClanMembers()[0].Rank * 10 + bnet->ClanInfo().Rank, 23);
  Feed(ChatFrame(SID_CLANMEMBERSTATUSCHANGE, Nt("Owner") + B(1) + B(1) + Nt("")));
  EXPECT_EQ(bnet->ClanInfo().Rank, 1);

  // Control bytes in a tag are dropped.
  Feed(ChatFrame(SID_CLANINVITATIONRESPONSE, D(77) + "\x01Z\x02Y" + Nt("Clan Name") + Nt("boss")));
  EXPECT_EQ(seen.events, (Strings{"ClanInfo", "ClanList", "ClanMember bob|2|0",
                                  "ClanMember owner|2|0", "ClanMember Owner|9|0",
                                  "ClanMember Owner|1|1", "Invited YZ|Clan Name|boss|77"}));
}

TEST_F(Decode, FriendsListReplacesTheOldOneAndSurvivesATruncatedCount) {
  Feed(ChatFrame(SID_FRIENDSLIST, B(2) + Nt("f1") + B(1) + B(2) + "3RAW" + Nt("The Void") +
                                      Nt("f2") + B(0) + B(0) + "\0\0\0\0"s + Nt("")));
  EXPECT_EQ(bnet->Friends().at(0).Product + bnet->Friends().at(0).Location, "WAR3The Void");
  // A count with nothing behind it gives empty entries, nothing worse.
  Feed(ChatFrame(SID_FRIENDSLIST, B(255)));
  EXPECT_EQ(bnet->Friends().size(), 255u);
}

std::string Ladder(const std::string& type, std::uint16_t wins, std::uint32_t rank) {
  return type + W(wins) + W(2) + B(5) + B(7) + W(300) + D(rank);
}

TEST_F(Decode, ProfilesWithSixRacesNineTeamsAndTheirBoundedCookies) {
  test::EnterChat(*bnet, "Bot");  // requests go nowhere without a socket, but keep cookies
  bnet->RequestUserProfile("someone", "PX3W");
  std::string body = B(4) + D(1) + "4R3W" + B(3) + Ladder("OLOS", 10, 0x10002) +
                     Ladder("XXXX", 9, 9) + Ladder("1ORP", 1, 1) + B(6);
  for (int r = 0; r < 6; ++r) body += W(static_cast<std::uint16_t>(100 + r)) + W(0);
  body += B(9);
  for (int t = 0; t < 9; ++t) {
    body += "MAET" + W(static_cast<std::uint16_t>(t)) + W(1) + B(2) + B(3) + W(4) + D(5) +
            std::string(8, '\x7F') +
            (t == 0 ? B(4) + Nt("p1") + Nt("p2") + Nt("p3") + Nt("p4") : B(1) + Nt("q"));
  }
  Feed(ChatFrame(SID_WARCRAFTGENERAL, body) + ChatEventFrame(5, "next", "in step"));
  const TBNETUserProfStats& u = seen.user;
  // The rank keeps its low 16 bits; random comes first on the wire and fifth in the
  // record; teams past eight are read and dropped.
  EXPECT_EQ(u.UserName + std::to_string(u.Cookie) + std::to_string(u.Solo.Wins) +
                std::to_string(u.Solo.Rank) +
                std::to_string(u.Team.Present + 2 * u.Season.Present) +
                std::to_string(u.Races[4].Wins + u.Races[0].Wins + u.Races[5].Wins) +
                std::to_string(u.TeamCount) + u.Teams[0].Partner3 + std::to_string(u.Teams[7].Wins),
            "someone110223068p37");
  EXPECT_EQ(seen.events.back(), "Talk next|in step|0|0");

  bnet->RequestUserProfile("first", "PX3W");
  bnet->RequestClanProfile("AB", "PX3W");
  EXPECT_EQ(bnet->LastCookie(), 3u);
  std::string clan =
      B(8) + D(3) + B(1) + "2NLC" + D(7) + D(8) + B(9) + B(10) + D(11) + D(12) + B(5);
  for (int r = 0; r < 5; ++r) clan += D(static_cast<std::uint32_t>(1000 + r)) + D(0);
  Feed(ChatFrame(SID_WARCRAFTGENERAL, clan) + ChatFrame(SID_CLANINVITATION, D(42) + B(4)));
  EXPECT_EQ(seen.clan.ClanTag + std::to_string(seen.clan.Team2.Wins + seen.clan.Team2.Rank) +
                std::to_string(seen.clan.Races[4].Wins),
            "AB191000");
  EXPECT_EQ(seen.events.back(), "InvitationAnswer Unknown|4");

  // An answered request gives its cookie back; unanswered ones are kept only so many.
  EXPECT_EQ(bnet->CookieCount(), 1u) << "the profiles' cookies went with their answers";
  for (int i = 0; i < 200; ++i) bnet->RequestUserProfile("u" + std::to_string(i), "PX3W");
  EXPECT_EQ(bnet->CookieCount(), TBNET::kMaxCookies);
  EXPECT_EQ(bnet->FindCookie(bnet->LastCookie())->UserName, "u199");
}

TEST_F(Decode, WarcraftGeneralDumpGoesToTheConfiguredFile) {
  const auto dump = std::filesystem::temp_directory_path() /
                    ("corvane-dump-" + std::to_string(::getpid()) + ".bin");
  Use([&](TSessionConfig& c) { c.DumpFileName = dump.string(); });
  Feed(ChatFrame(SID_WARCRAFTGENERAL, B(2) + D(1) + B(2) + D(3) + D(4) + W(513) + W(2) + "xyz!") +
       ChatEventFrame(5, "after", "dump"));
  TBuffer written;
  ASSERT_TRUE(written.LoadFromFile(dump.string()));
  std::filesystem::remove(dump);
  EXPECT_EQ(written.Bytes(), "xyz!");
  EXPECT_EQ(seen.events,  // in red
            (Strings{"Line DC 513|16711680", "Line C 2|16711680", "Talk after|dump|0|0"}));
}

}  // namespace
}  // namespace corvane
