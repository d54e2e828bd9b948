// The whole session against the fake chat and BNLS servers on 127.0.0.1.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bnet/bnet.h"
#include "bnet/sid.h"
#include "config/codepage.h"
#include "net/main_loop.h"
#include "support/fake_bnls_server.h"
#include "support/fake_chat_server.h"
#include "support/recording_observer.h"

namespace corvane {
namespace {

using namespace std::string_literals;
using test::TChatMessage;
using test::TFakeBnlsServer;
using test::TFakeChatServer;

constexpr int kWait = 5000;

std::string Dw(std::uint32_t v) {
  return TFakeChatServer::Dword(v);
}

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    SocketStartup();
    chat_server.SetAccount("Tester", "Secret");
    bnet = std::make_unique<TBNET>(loop);
    bnet->SetObserver(&seen);
  }
  void TearDown() override {
    bnet.reset();
    SocketCleanup();
  }

  // The fake servers' account, on W3XP.
  TSessionConfig Config(std::uint32_t product = kProductW3xp) const {
    TSessionConfig c;
    c.Host = "127.0.0.1";
    c.Port = chat_server.Port();
    c.BnlsServer = "127.0.0.1";
    c.BnlsPort = bnls_server.Port();
    c.Username = "Tester";
    c.Password = "Secret";
    c.Product = product;
    return c;
  }
  bool HasEvent(const std::string& prefix) const { return seen.Has(prefix); }
  bool LogOn(const TSessionConfig& config) {
    bnet->Connect(config);
    return loop.RunUntil([&] { return bnet->LoggedOn() && HasEvent("Channel "); }, kWait);
  }
  bool LogOn() { return LogOn(Config()); }
  // Lets the loop run, so that anything that should not come has its chance.
  void Settle(int ms = 100) {
    loop.RunUntil([] { return false; }, ms);
  }
  std::vector<TChatMessage> Sent(std::uint8_t id) { return chat_server.MessagesWithId(id); }
  // Runs the loop until the server has `count` messages with that id.
  bool WaitSent(std::uint8_t id, std::size_t count = 1) {
    return loop.RunUntil([&] { return Sent(id).size() >= count; }, kWait);
  }

  TMainLoop loop;
  TFakeBnlsServer bnls_server;
  TFakeChatServer chat_server;
  std::unique_ptr<TBNET> bnet;
  test::TRecordingObserver seen;
  std::vector<std::string>& statuses = seen.statuses;
  std::vector<std::string>& errors = seen.errors;
  std::vector<std::pair<std::string, TColor>>& lines = seen.lines;
};

TEST_F(Session, LogsOnStepByStepAndEntersTheVoid) {
  // Nothing is sent before the logon.
  EXPECT_EQ(bnet->JoinChannel("early", 0), 1);
  EXPECT_EQ(bnet->LastChannel(), "");
  bnet->SendChat("too early");
  EXPECT_EQ(bnet->LastResult(), 2100);

  ASSERT_TRUE(LogOn()) << ::testing::PrintToString(statuses) << ::testing::PrintToString(errors);
  ASSERT_TRUE(loop.RunUntil([&] { return statuses.size() >= 8; }, kWait));
  EXPECT_EQ(statuses,
            (std::vector<std::string>{"1:1 Connecting...", "1:2 Connected!", "1:300 Connecting...",
                                      "1:301 Connected!", "2:303 Version byte received.",
                                      "2:304 Revision choosed.", "1:308 Logged succesfully!",
                                      "1:302 Disconnected."}));
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(chat_server.ProtocolByteSeen());

  // SID_AUTH_INFO: 52 bytes with the protocol byte, so a body of 47.
  const auto info = Sent(SID_AUTH_INFO);
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0].body, Dw(0) + "68XI" + "PX3W" + Dw(0x1C) + "UruR" + Dw(0) + Dw(0) + Dw(0) +
                              Dw(0) + "RUS\0Russia\0"s);
  EXPECT_EQ(Sent(SID_NETGAMEPORT).at(0).body, "\xE0\x17");
  EXPECT_EQ(Sent(SID_ENTERCHAT).at(0).body, "\0\0"s);
  EXPECT_EQ(Sent(SID_GETICONDATA).size(), 1u);
  const auto joins = Sent(SID_JOINCHANNEL);
  ASSERT_EQ(joins.size(), 1u);
  EXPECT_EQ(joins[0].body, Dw(0) + "The Void\0"s);
  EXPECT_EQ(bnet->UniqueName(), "Tester");
  EXPECT_TRUE(HasEvent("EnteredChat Tester|PX3W"));
  ASSERT_TRUE(WaitSent(SID_FRIENDSLIST));
  EXPECT_TRUE(Sent(SID_CLANMEMBERLIST).empty()) << "not in a clan";
  EXPECT_FALSE(bnet->Bnls().Connected());

  // A live session is not connected again, nor configured anew.
  bnet->Connect(Config(kProductWar3));
  EXPECT_EQ(bnet->Config().Product, kProductW3xp);

  // Chat goes out converted when asked; é is E9 in the Western code page.
  ASSERT_TRUE(SetProcessCodePage("CP1252"));
  bnet->SetUtf8(true);
  bnet->SendChat("\xE9");
  bnet->SetUtf8(false);
  bnet->SendChat("/w x plain \xE9");
  ASSERT_TRUE(SetProcessCodePage("CP1251"));
  ASSERT_TRUE(WaitSent(SID_CHATCOMMAND, 2));
  EXPECT_EQ(Sent(SID_CHATCOMMAND)[0].body, "\xC3\xA9\0"s);
  EXPECT_EQ(Sent(SID_CHATCOMMAND)[1].body, "/w x plain \xE9\0"s);
  EXPECT_EQ(bnet->LastResult(), 0);
}

TEST_F(Session, ProductCodeFollowsTheProductNumber) {
  const std::pair<std::uint32_t, std::string> cases[] = {
      {kProductWar3, "3RAW"}, {kProductW3xp, "PX3W"}, {5, "\0\0\0\0"s}};
  std::size_t sent = 0;
  for (const auto& [product, code] : cases) {
    TBNET b(loop);
    b.Connect(Config(product));
    ++sent;
    ASSERT_TRUE(loop.RunUntil([&] { return Sent(SID_AUTH_INFO).size() == sent; }, kWait));
    EXPECT_EQ(Sent(SID_AUTH_INFO).back().body.substr(8, 4), code) << product;
  }
}

TEST_F(Session, RefusedLogonsCloseBothConnections) {
  chat_server.SetAccountLogonStatus(1);
  bnet->Connect(Config());
  ASSERT_TRUE(loop.RunUntil([&] { return !errors.empty() && !bnet->Active(); }, kWait));
  EXPECT_EQ(errors, std::vector<std::string>{"3009 Account not exist or need upgrade."});
  EXPECT_FALSE(bnet->LoggedOn());
  EXPECT_TRUE(Sent(SID_AUTH_ACCOUNTLOGONPROOF).empty());
  EXPECT_TRUE(
      test::TFakeTcpServer::WaitFor([&] { return bnls_server.Tcp().Closed() == 1; }, kWait));

  errors.clear();
  chat_server.SetAccountLogonStatus(0);
  TSessionConfig wrong = Config();
  wrong.Password = "wrong";
  bnet->Connect(wrong);
  ASSERT_TRUE(loop.RunUntil([&] { return !errors.empty() && !bnet->Active(); }, kWait));
  EXPECT_EQ(errors, std::vector<std::string>{"3011 Username or password incorrect."});
  EXPECT_TRUE(Sent(SID_ENTERCHAT).empty());
  EXPECT_TRUE(
      test::TFakeTcpServer::WaitFor([&] { return bnls_server.Tcp().Closed() == 2; }, kWait));
}

TEST_F(Session, UnreachableBnlsEndsTheAttemptAndTheNextOneRecovers) {
  test::TFakeTcpServer closed;
  const int closed_port = closed.Port();
  closed.Stop();
  TSessionConfig unreachable = Config();
  unreachable.BnlsPort = closed_port;
  bnet->Connect(unreachable);
  ASSERT_TRUE(loop.RunUntil([&] { return !errors.empty() && !bnet->Active(); }, kWait));
  EXPECT_EQ(errors, std::vector<std::string>{"1000 Connect error! (4)"});
  EXPECT_TRUE(bnet->Bnls().Connected()) << "a failed attempt still counts as connected";

  // The next logon first closes the idle BNLS client, waits, and then goes through.
  errors.clear();
  ASSERT_TRUE(LogOn()) << ::testing::PrintToString(errors);
  EXPECT_TRUE(errors.empty());
}

TEST_F(Session, PvPgnModeHashesTheLowerCasedPassword) {
  chat_server.SetAccount("Tester", "SeCreT");
  chat_server.SetPvPgn(true);
  TSessionConfig pvpgn = Config();
  pvpgn.IsPvPgn = true;
  pvpgn.Password = "SeCreT";
  ASSERT_TRUE(LogOn(pvpgn)) << ::testing::PrintToString(errors);
  const auto requests = bnls_server.Requests();
  ASSERT_GE(requests.size(), 4u);
  EXPECT_EQ(requests[3].id, BNLS_HASHDATA);
  EXPECT_EQ(requests[3].body, Dw(6) + Dw(1) + "secret");
  EXPECT_EQ(Sent(SID_AUTH_ACCOUNTLOGONPROOF).at(0).body, TFakeBnlsServer::HashAnswer("secret"));
}

TEST_F(Session, ServerQuirksOfTheLogonAreTakenInStride) {
  // A ping before the SID_AUTH_INFO answer, a proof answer with a string appended, and a
  // proof status that asks for an e-mail address.
  chat_server.SetPingBeforeAuthInfo(true, 0xCAFE);
  chat_server.SetProofExtraString("please register an e-mail address");
  chat_server.SetProofStatus(0x0E);
  TSessionConfig spoofing = Config();
  spoofing.PingSpoofing = true;
  ASSERT_TRUE(LogOn()) << ::testing::PrintToString(errors);
  EXPECT_EQ(Sent(SID_PING).at(0).body, Dw(0xCAFE));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].second, kYellow);
  EXPECT_EQ(lines[0].first.rfind("[BNET] ", 0), 0u);

  chat_server.SendMessage(SID_PING, Dw(8));
  ASSERT_TRUE(WaitSent(SID_PING, 2));
  EXPECT_EQ(Sent(SID_PING).back().body, Dw(8));
  bnet->Disconnect();
  ASSERT_TRUE(loop.RunUntil([&] { return !bnet->Active(); }, kWait));
  ASSERT_TRUE(LogOn(spoofing));
  chat_server.SendMessage(SID_PING, Dw(7));
  Settle();
  EXPECT_EQ(Sent(SID_PING).size(), 2u) << "the spoofed ping stays unanswered";
}

TEST_F(Session, ClanHomeChannelListInvitationsAndCookiesAcrossReconnections) {
  chat_server.SetClan("ABC", 4);
  chat_server.SetClanMembers(
      {{"a", 1, 0, ""}, {"b", 4, 1, "Clan ABC"}, {"c", 2, 0, ""}, {"d", 4, 0, ""}});
  ASSERT_TRUE(LogOn());
  EXPECT_EQ(Sent(SID_JOINCHANNEL).at(0).body, Dw(0) + "Clan ABC\0"s);
  ASSERT_TRUE(loop.RunUntil([&] { return bnet->ClanMembers().size() == 4; }, kWait));
  EXPECT_EQ(Sent(SID_CLANMEMBERLIST).at(0).body, Dw(1));
  EXPECT_EQ(bnet->ClanMembers()[0].Name + bnet->ClanMembers()[1].Name +
                bnet->ClanMembers()[2].Name + bnet->ClanMembers()[3].Name,
            "bdca");

  bnet->InviteToClan("newbie");
  bnet->RequestClanProfile("AB", "PX3W");
  bnet->AnswerClanInvitation("XYZ", "boss", kClanInvitationAccept, 99);
  ASSERT_TRUE(WaitSent(SID_CLANINVITATIONRESPONSE));
  EXPECT_EQ(Sent(SID_CLANINVITATION).at(0).body, Dw(1) + "newbie\0"s);
  EXPECT_EQ(Sent(SID_WARCRAFTGENERAL).at(0).body, "\x08"s + Dw(2) + "BA\0\0"s + "PX3W");
  EXPECT_EQ(Sent(SID_CLANINVITATIONRESPONSE).at(0).body, Dw(99) + "ZYX\0"s + "boss\0"s + "\x06");

  chat_server.DropConnection();
  ASSERT_TRUE(loop.RunUntil(
      [&] {
        return std::find(statuses.begin(), statuses.end(), "1:3 Disconnected.") != statuses.end();
      },
      kWait));
  EXPECT_FALSE(bnet->Active());
  EXPECT_TRUE(bnet->LoggedOn()) << "stays as it was until the owner acts";
  seen.Clear();
  ASSERT_TRUE(LogOn());
  bnet->RequestUserProfile("someone", "PX3W");
  ASSERT_TRUE(WaitSent(SID_WARCRAFTGENERAL, 2));
  EXPECT_EQ(Sent(SID_WARCRAFTGENERAL).back().body.substr(0, 5), "\x04"s + Dw(3));
  EXPECT_EQ(bnet->ClanMembers().size(), 4u);

  // Rank 2 may not invite.
  chat_server.SendMessage(SID_CLANMEMBERSTATUSCHANGE, "Tester\0"s + "\x02\x01" + "\0"s);
  ASSERT_TRUE(loop.RunUntil([&] { return bnet->ClanInfo().Rank == 2; }, kWait));
  bnet->InviteToClan("another");
  EXPECT_EQ(bnet->LastResult(), 2102);
}

TEST_F(Session, MissingChannelIsAskedForAgainWithFlagTwo) {
  chat_server.SetMissingChannel("foo");
  TSessionConfig foo = Config();
  foo.HomeChannel = "foo";
  ASSERT_TRUE(LogOn(foo));
  const auto joins = Sent(SID_JOINCHANNEL);
  ASSERT_EQ(joins.size(), 2u);
  EXPECT_EQ(joins[0].body, Dw(0) + "foo\0"s);
  EXPECT_EQ(joins[1].body, Dw(2) + "foo\0"s);
}

TEST_F(Session, EachConnectionStartsWithAnEmptyReceiveBuffer) {
  ASSERT_TRUE(LogOn());
  // Half a message, then the connection drops.
  chat_server.SendRaw("\xFF\x0F\x40\x00partial"s);
  Settle(50);
  chat_server.DropConnection();
  ASSERT_TRUE(loop.RunUntil([&] { return !bnet->Active(); }, kWait));
  seen.Clear();
  ASSERT_TRUE(LogOn()) << "the leftover bytes must not frame the new stream";

  // Two messages in one write, and one message over two writes.
  const auto event = [](const std::string& user, const std::string& text) {
    return TFakeChatServer::Frame(
        SID_CHATEVENT, Dw(5) + Dw(0) + Dw(0) + Dw(0) + Dw(0) + Dw(0) + user + '\0' + text + '\0');
  };
  chat_server.SendRaw(event("u1", "one") + event("u2", "two"));
  chat_server.SendSplit(event("u3", "three"), 9);
  ASSERT_TRUE(loop.RunUntil([&] { return HasEvent("Talk u3|three"); }, kWait));
  EXPECT_TRUE(HasEvent("Talk u1|one"));
  EXPECT_TRUE(HasEvent("Talk u2|two"));
}

}  // namespace
}  // namespace corvane
