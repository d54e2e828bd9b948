// The session's handlers fed straight through its framing, without sockets.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bnet/bnet.h"
#include "bnet/sid.h"
#include "fakes/fake_chat_server.h"
#include "net/main_loop.h"

namespace corvane {
namespace {

using namespace std::string_literals;
using test::TFakeChatServer;

std::string Dw(std::uint32_t v) {
  return TFakeChatServer::Dword(v);
}
std::string W(std::uint16_t v) {
  return TFakeChatServer::Word(v);
}
std::string B(std::uint8_t v) {
  return std::string(1, static_cast<char>(v));
}
std::string Nt(const std::string& s) {
  return s + '\0';
}
std::string Frame(std::uint8_t id, const std::string& body) {
  return TFakeChatServer::Frame(id, body);
}

struct Event {
  std::int32_t id;
  std::string s1, s2, s3;
  std::uint32_t n1, n2;
  bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Event& e) {
  return os << "{" << e.id << " '" << e.s1 << "' '" << e.s2 << "' '" << e.s3 << "' " << e.n1 << " "
            << e.n2 << "}";
}

class Decode : public ::testing::Test {
 protected:
  Decode() : bnet(loop) {
    bnet.OnChatEvent = [this](TBNET&, std::int32_t id, const std::string& s1, const std::string& s2,
                              const std::string& s3, std::uint32_t n1, std::uint32_t n2) {
      events.push_back({id, s1, s2, s3, n1, n2});
    };
    bnet.OnStatus = [this](TBNET&, std::int32_t kind, std::int32_t code, const std::string& text) {
      statuses.push_back(std::to_string(kind) + ":" + std::to_string(code) + " " + text);
    };
    bnet.OnError = [this](TBNET&, std::int32_t code, const std::string& text) {
      errors.push_back(std::to_string(code) + " " + text);
    };
    bnet.OnProfile = [this](TBNET&, std::int32_t kind, const TBNETUserProfStats* u,
                            const TBNETClanProfStats* c) {
      if (kind == 1) user = *u;
      if (kind == 2) clan = *c;
    };
  }
  void Feed(const std::string& bytes) {
    bnet.ReceiveData(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                     static_cast<int>(bytes.size()));
  }

  TMainLoop loop;
  TBNET bnet;
  std::vector<Event> events;
  std::vector<std::string> statuses, errors;
  TBNETUserProfStats user;
  TBNETClanProfStats clan;
};

std::string ChatEvent(std::uint32_t id, const std::string& user, const std::string& text,
                      std::uint32_t flags = 0, std::uint32_t ping = 0) {
  return Frame(SID_CHATEVENT,
               Dw(id) + Dw(flags) + Dw(ping) + Dw(0) + Dw(0) + Dw(0) + Nt(user) + Nt(text));
}

TEST_F(Decode, FramingHandlesJoinedSplitShortAndUnknownMessages) {
  const std::string two = ChatEvent(5, "x", "hi", 0x10, 50) + ChatEvent(2, "y", "PX3W 1R3W 0");
  Feed(two.substr(0, 3));
  EXPECT_TRUE(events.empty()) << "fewer than 4 bytes wait";
  Feed(two.substr(3, 20));
  EXPECT_TRUE(events.empty()) << "a message is handled only when its last byte is there";
  Feed(two.substr(23));
  EXPECT_EQ(events, (std::vector<Event>{{105, "x", "hi", "", 0x10, 50},
                                        {102, "y", "PX3W 1R3W 0", "", 0, 0}}));

  // Unknown ids are reported and skipped by their length; SID_NULL and the skipped ids
  // say nothing.
  events.clear();
  Feed(Frame(0x99, "123456") + Frame(SID_NULL, "") + Frame(SID_GETICONDATA, "icons") +
       Frame(SID_REQUIREDWORK, "x.mpq"s + '\0') + ChatEvent(5, "a", "after"));
  EXPECT_EQ(statuses, std::vector<std::string>{"3:10001 Unknown message ID: 153, Size: 10"});
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].s2, "after");

  // A message that carries more than its handler reads (servers add fields) or less (a
  // truncated one) does not shift the next; a length below 4 still moves on by 4.
  events.clear();
  statuses.clear();
  Feed(Frame(SID_MESSAGEBOX, Dw(3) + Nt("text") + Nt("caption") + "appended field") +
       Frame(SID_CHATEVENT, Dw(5)) + "\xFF\x0F\x00\x00"s + ChatEvent(5, "b", "still in step"));
  EXPECT_EQ(events, (std::vector<Event>{{200, "text", "caption", "", 3, 0},
                                        {105, "", "", "", 0, 0},
                                        {100, "", "", "", 0, 0},
                                        {105, "b", "still in step", "", 0, 0}}));

  // A frame without 0xFF is reported and handled anyway.
  events.clear();
  Feed("\xAA"s + ChatEvent(5, "c", "odd").substr(1));
  EXPECT_EQ(statuses, std::vector<std::string>{"3:10000 First byte is not FF."});
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].s1, "c");
}

TEST_F(Decode, ChatEventsTrackOwnPingAndFlagsExactly) {
  bnet.UniqueName = "Bot";
  Feed(ChatEvent(1, "bot", "PX3W", 0x20, 99));
  EXPECT_EQ(bnet.MyPing, 0u) << "letter case counts";
  Feed(ChatEvent(1, "Bot", "PX3W", 0x02, 140));
  EXPECT_EQ(bnet.MyPing, 140u);
  EXPECT_EQ(bnet.MyFlags, 0x02u);
  Feed(Frame(SID_FLOODDETECTED, ""));
  EXPECT_EQ(errors, std::vector<std::string>{"3012 You disconnected for flooding."});
  // Event 14 is the session's own business: the owner hears nothing of it.
  events.clear();
  Feed(ChatEvent(14, "", "nowhere"));
  EXPECT_TRUE(events.empty());
}

TEST_F(Decode, UTF8TextIsDecodedButNamesNeverAre) {
  bnet.UTF8 = true;
  Feed(ChatEvent(5, "n\xC3\xA9", "caf\xC3\xA9 \xE2\x82\xAC \xFF"));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].s1, "n\xC3\xA9");
  // CP1251 holds the euro sign (0x88) but no é: that one becomes '?', as does the
  // malformed byte.
  EXPECT_EQ(events[0].s2, "caf? \x88 ?");
}

TEST_F(Decode, ClanListIsSortedByExchangesAndStatusChangesFollowTheirCaseRules) {
  bnet.Username = "Owner";
  // A rank the protocol does not have would pose as another event (199 + 1: a message box).
  Feed(Frame(SID_CLANINFO, B(0) + "CBA\0"s + B(199)));
  EXPECT_TRUE(events.empty());
  EXPECT_FALSE(bnet.ClanInfo.InClan);
  Feed(Frame(SID_CLANINFO, B(0) + "CBA\0"s + B(3)));
  EXPECT_TRUE(bnet.ClanInfo.InClan);
  EXPECT_EQ(bnet.ClanInfo.Tag, "ABC");
  ASSERT_EQ(events.back(), (Event{4, "ABC", "", "", 0, 0}));

  Feed(Frame(SID_CLANMEMBERLIST, Dw(1) + B(4) + Nt("a") + B(1) + B(0) + Nt("") + Nt("BOB") + B(4) +
                                     B(1) + Nt("somewhere") + Nt("c") + B(2) + B(0) + Nt("") +
                                     Nt("d") + B(4) + B(0) + Nt("")));
  ASSERT_EQ(bnet.ClanMembers.size(), 4u);
  std::vector<std::string> order;
  for (const TUser& u : bnet.ClanMembers) order.push_back(u.Name + std::to_string(u.Rank));
  EXPECT_EQ(order, (std::vector<std::string>{"BOB4", "d4", "c2", "a1"}));
  EXPECT_EQ(bnet.ClanMembers[0].Clan, "ABC");
  EXPECT_EQ(bnet.ClanInfo.MemberCount, 4);
  EXPECT_EQ(events.back(), (Event{300, "ABC", "", "", 0, 0}));

  Feed(Frame(SID_CLANMEMBERSTATUSCHANGE, Nt("bob") + B(2) + B(0) + Nt("")));
  EXPECT_EQ(bnet.ClanMembers[0].Rank, 2) << "members are found without regard to case";
  EXPECT_EQ(bnet.ClanMembers[0].Status, 0);
  EXPECT_EQ(events.back(), (Event{320, "bob", "", "", 2, 0}));
  Feed(Frame(SID_CLANMEMBERSTATUSCHANGE, Nt("owner") + B(1) + B(1) + Nt("")));
  EXPECT_EQ(bnet.ClanInfo.Rank, 3) << "the account's own rank changes only on its exact name";
  Feed(Frame(SID_CLANMEMBERSTATUSCHANGE, Nt("Owner") + B(1) + B(1) + Nt("")));
  EXPECT_EQ(bnet.ClanInfo.Rank, 1);

  // Control bytes in a tag are dropped; an invitation to another clan comes as event 7.
  Feed(Frame(SID_CLANINVITATIONRESPONSE, Dw(77) + "\x01Z\x02Y" + Nt("Clan Name") + Nt("boss")));
  EXPECT_EQ(events.back(), (Event{7, "YZ", "Clan Name", "boss", 77, 0}));
}

TEST_F(Decode, FriendsListReplacesTheOldOne) {
  Feed(Frame(SID_FRIENDSLIST, B(2) + Nt("f1") + B(1) + B(2) + "3RAW" + Nt("The Void") + Nt("f2") +
                                  B(0) + B(0) + "\0\0\0\0"s + Nt("")));
  ASSERT_EQ(bnet.Friends.size(), 2u);
  EXPECT_EQ(bnet.Friends[0].Product, "WAR3");
  EXPECT_EQ(bnet.Friends[0].Location, "The Void");
  EXPECT_EQ(bnet.Friends[0].LocationType, 2);
  EXPECT_EQ(bnet.Friends[1].Product, "");
  EXPECT_EQ(events.back(), (Event{310, "", "", "", 2, 0}));
  Feed(Frame(SID_FRIENDSLIST, B(0)));
  EXPECT_TRUE(bnet.Friends.empty());
  EXPECT_EQ(events.back(), (Event{310, "", "", "", 0, 0}));
  // A count with nothing behind it gives empty entries, nothing worse.
  Feed(Frame(SID_FRIENDSLIST, B(255)));
  EXPECT_EQ(bnet.Friends.size(), 255u);
}

std::string UserLadder(const std::string& type, std::uint16_t wins, std::uint16_t losses,
                       std::uint8_t level, std::uint8_t hours, std::uint16_t xp,
                       std::uint32_t rank) {
  return type + W(wins) + W(losses) + B(level) + B(hours) + W(xp) + Dw(rank);
}

TEST_F(Decode, UserProfileWithSixRacesNineTeamsAndFourPartners) {
  bnet.LoggedOn = true;  // no socket: the request goes nowhere, but its cookie is kept
  bnet.RequestUserProfile("someone", "PX3W");
  ASSERT_EQ(bnet.LastCookie, 1u);

  std::string body = B(4) + Dw(1) + "4R3W" + B(3) + UserLadder("OLOS", 10, 2, 5, 7, 300, 0x10002) +
                     UserLadder("XXXX", 9, 9, 9, 9, 9, 9) + UserLadder("1ORP", 1, 1, 1, 1, 1, 1);
  body += B(6);
  for (int r = 0; r < 6; ++r)
    body += W(static_cast<std::uint16_t>(100 + r)) + W(static_cast<std::uint16_t>(r));
  body += B(9);
  for (int t = 0; t < 9; ++t) {
    body += "MAET" + W(static_cast<std::uint16_t>(t)) + W(1) + B(2) + B(3) + W(4) + Dw(5) +
            std::string(8, '\x7F');
    if (t == 0) {
      body += B(4) + Nt("p1") + Nt("p2") + Nt("p3") + Nt("p4");
    } else {
      body += B(1) + Nt("q" + std::to_string(t));
    }
  }
  Feed(Frame(SID_WARCRAFTGENERAL, body) + ChatEvent(5, "next", "in step"));

  EXPECT_EQ(user.Cookie, 1u);
  EXPECT_EQ(user.UserName, "someone");
  EXPECT_EQ(user.IconId, "4R3W");
  EXPECT_EQ(user.Solo.Present, 1);
  EXPECT_EQ(user.Solo.Wins, 10);
  EXPECT_EQ(user.Solo.Level, 5);
  EXPECT_EQ(user.Solo.Hours, 7);
  EXPECT_EQ(user.Solo.Experience, 300);
  EXPECT_EQ(user.Solo.Rank, 2) << "the rank keeps its low 16 bits";
  EXPECT_EQ(user.Team.Present, 0);
  EXPECT_EQ(user.Season.Present, 1);
  // Random comes first on the wire and fifth in the record.
  EXPECT_EQ(user.Races[4].Wins, 100);
  EXPECT_EQ(user.Races[0].Wins, 101);
  EXPECT_EQ(user.Races[3].Wins, 104);
  EXPECT_EQ(user.Races[5].Wins, 105);
  EXPECT_EQ(user.TeamCount, 8);
  EXPECT_EQ(user.Teams[0].Partner3, "p3");
  EXPECT_EQ(user.Teams[7].Wins, 7);
  EXPECT_EQ(user.Teams[7].Partner1, "q7");
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().s1, "next");
}

TEST_F(Decode, ClanProfileAndUnknownCookies) {
  bnet.LoggedOn = true;
  bnet.RequestUserProfile("first", "PX3W");
  bnet.RequestClanProfile("AB", "PX3W");
  bnet.RequestClanProfile("XYZ", "TOOLONG");  // refused: no cookie handed out
  EXPECT_EQ(bnet.LastCookie, 2u);
  std::string body =
      B(8) + Dw(2) + B(1) + "2NLC" + Dw(7) + Dw(8) + B(9) + B(10) + Dw(11) + Dw(12) + B(5);
  for (int r = 0; r < 5; ++r) body += Dw(static_cast<std::uint32_t>(1000 + r)) + Dw(0);
  Feed(Frame(SID_WARCRAFTGENERAL, body));
  EXPECT_EQ(clan.ClanTag, "AB");
  EXPECT_EQ(clan.Team2.Present, 1);
  EXPECT_EQ(clan.Team2.Wins, 7u);
  EXPECT_EQ(clan.Team2.Rank, 12u);
  EXPECT_EQ(clan.Races[4].Wins, 1000u);
  EXPECT_EQ(clan.Races[5].Wins, 0u);

  Feed(Frame(SID_CLANINVITATION, Dw(42) + B(4)));
  EXPECT_EQ(events.back(), (Event{6, "Unknown", "", "", 4, 0}));

  // An answered request gives its cookie back; unanswered ones are kept only so many.
  ASSERT_EQ(bnet.Cookies.size(), 1u) << "the clan profile's cookie went with its answer";
  EXPECT_EQ(bnet.Cookies[0].UserName, "first");
  for (int i = 0; i < 200; ++i) bnet.RequestUserProfile("u" + std::to_string(i), "PX3W");
  EXPECT_EQ(bnet.Cookies.size(), TBNET::kMaxCookies);
  EXPECT_EQ(bnet.Cookies.back().UserName, "u199");
  EXPECT_EQ(TBNET::ClanInvitationResultText(9), "Clan is full.");
  EXPECT_EQ(TBNET::ClanInvitationResultText(77), "Unknown clan invitation result [77]");
}

TEST_F(Decode, WarcraftGeneralTwoWritesTwoRedLinesAndItsPayload) {
  std::vector<std::pair<std::string, TColor>> lines;
  bnet.OnChatLine = [&](const std::string& text, TColor color) { lines.push_back({text, color}); };
  const auto dump = std::filesystem::temp_directory_path() /
                    ("corvane-dump-" + std::to_string(::getpid()) + ".bin");
  bnet.DumpFileName = dump.string();
  Feed(Frame(SID_WARCRAFTGENERAL, B(2) + Dw(1) + B(2) + Dw(3) + Dw(4) + W(513) + W(2) + "xyz!") +
       ChatEvent(5, "after", "dump"));
  EXPECT_EQ(lines, (std::vector<std::pair<std::string, TColor>>{{"DC 513", kRed}, {"C 2", kRed}}));
  TBuffer written;
  ASSERT_TRUE(written.LoadFromFile(dump.string()));
  EXPECT_EQ(written.Bytes(), "xyz!");
  std::filesystem::remove(dump);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().s1, "after");
}

TEST_F(Decode, RandomStreamsAreTakenApartWithoutHarm) {
  std::uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  for (int block = 0; block < 2000; ++block) {
    std::string junk;
    const int n = static_cast<int>(next() % 300);
    for (int i = 0; i < n; ++i) junk.push_back(static_cast<char>(next() >> 16));
    if (block % 3 == 0 && !junk.empty()) junk[0] = '\xFF';
    Feed(junk);
  }
  // Every report stands for at least one 4-byte header taken off the stream.
  EXPECT_LE(statuses.size() + events.size(), 2000u * 300u / 4u);
}

}  // namespace
}  // namespace corvane
