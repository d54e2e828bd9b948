// The whole session against the fake chat and BNLS servers on 127.0.0.1.

#include <gtest/gtest.h>

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

const auto Dw = [](std::uint32_t v) { return TFakeChatServer::Dword(v); };

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
    c.Host = c.BnlsServer = "127.0.0.1";
    c.Port = chat_server.Port();
    c.BnlsPort = bnls_server.Port();
    c.Username = "Tester";
    c.Password = "Secret";
    c.Product = product;
    return c;
  }
  bool LogOn(const TSessionConfig& config) {
    bnet->Connect(config);
    return loop.RunUntil([&] { return bnet->LoggedOn() && seen.Has("Channel "); }, kWait);
  }
  bool LogOn() { return LogOn(Config()); }
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
};

TEST_F(Session, LogsOnStepByStepAndEntersTheVoid) {
  // Nothing is sent before the logon.
  EXPECT_EQ(bnet->JoinChannel("early", 0), 1);
  bnet->SendChat("too early");
  EXPECT_EQ(bnet->LastResult(), 2100);

  ASSERT_TRUE(LogOn());
  ASSERT_TRUE(loop.RunUntil([&] { return seen.statuses.size() >= 8; }, kWait));
  EXPECT_EQ(seen.statuses,
            (std::vector<std::string>{"1:1 Connecting...", "1:2 Connected!", "1:300 Connecting...",
                                      "1:301 Connected!", "2:303 Version byte received.",
                                      "2:304 Revision choosed.", "1:308 Logged succesfully!",
                                      "1:302 Disconnected."}));

  // SID_AUTH_INFO: 52 bytes with the protocol byte, so a body of 47.
  EXPECT_EQ(Sent(SID_AUTH_INFO).at(0).body, Dw(0) + "68XI" + "PX3W" + Dw(0x1C) + "UruR" + Dw(0) +
                                                Dw(0) + Dw(0) + Dw(0) + "RUS\0Russia\0"s);
  EXPECT_EQ(Sent(SID_NETGAMEPORT).at(0).body + Sent(SID_ENTERCHAT).at(0).body +
                Sent(SID_JOINCHANNEL).at(0).body,
            "\xE0\x17\0\0"s + Dw(0) + "The Void\0"s);
  EXPECT_TRUE(seen.Has("EnteredChat Tester|PX3W"));
  ASSERT_TRUE(WaitSent(SID_FRIENDSLIST));
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
  EXPECT_EQ(Sent(SID_CHATCOMMAND)[0].body + Sent(SID_CHATCOMMAND)[1].body,
            "\xC3\xA9\0/w x plain \xE9\0"s);
}

TEST_F(Session, RefusedLogonsCloseBothConnections) {
  const struct {
    std::uint32_t logon_status;
    const char* password;
    std::uint8_t never_sent;
    const char* error;
  } cases[] = {{1, "Secret", SID_AUTH_ACCOUNTLOGONPROOF, "3009 Account not exist or need upgrade."},
               {0, "wrong", SID_ENTERCHAT, "3011 Username or password incorrect."}};
  int closed = 0;
  for (const auto& c : cases) {
    seen.errors.clear();
    chat_server.SetAccountLogonStatus(c.logon_status);
    TSessionConfig config = Config(closed == 0 ? kProductWar3 : kProductW3xp);
    config.Password = c.password;
    bnet->Connect(config);
    ASSERT_TRUE(loop.RunUntil([&] { return !seen.errors.empty() && !bnet->Active(); }, kWait));
    EXPECT_EQ(seen.errors, std::vector<std::string>{c.error});
    EXPECT_FALSE(bnet->LoggedOn());
    EXPECT_TRUE(Sent(c.never_sent).empty());
    ++closed;
    EXPECT_TRUE(
        test::TFakeTcpServer::WaitFor([&] { return bnls_server.Tcp().Closed() == closed; }, kWait));
  }
  EXPECT_EQ(Sent(SID_AUTH_INFO).at(0).body.substr(8, 4), "3RAW")
      << "the product follows its number";
}

TEST_F(Session, UnreachableBnlsEndsTheAttemptAndTheNextOneRecovers) {
  test::TFakeTcpServer closed;
  TSessionConfig unreachable = Config();
  unreachable.BnlsPort = closed.Port();
  closed.Stop();
  bnet->Connect(unreachable);
  ASSERT_TRUE(loop.RunUntil([&] { return !seen.errors.empty() && !bnet->Active(); }, kWait));
  EXPECT_EQ(seen.errors, std::vector<std::string>{"1000 Connect error! (4)"});
  EXPECT_TRUE(bnet->Bnls().Connected()) << "a failed attempt still counts as connected";

  // The next logon first closes the idle BNLS client, waits, and then goes through.
  seen.errors.clear();
  ASSERT_TRUE(LogOn());
  EXPECT_TRUE(seen.errors.empty());
}

TEST_F(Session, PvPgnModeHashesTheLowerCasedPassword) {
  chat_server.SetAccount("Tester", "SeCreT");
  chat_server.SetPvPgn(true);
  TSessionConfig pvpgn = Config();
  pvpgn.IsPvPgn = true;
  pvpgn.Password = "SeCreT";
  ASSERT_TRUE(LogOn(pvpgn));
  EXPECT_EQ(bnls_server.Requests().at(3).body, Dw(6) + Dw(1) + "secret");
  EXPECT_EQ(Sent(SID_AUTH_ACCOUNTLOGONPROOF).at(0).body, TFakeBnlsServer::HashAnswer("secret"));
}

TEST_F(Session, ServerQuirksAMissingHomeChannelAndTheSpoofedPing) {
  // A ping before the SID_AUTH_INFO answer, a proof answer with a string appended, and a
  // proof status that asks for an e-mail address.
  chat_server.SetPingBeforeAuthInfo(true, 0xCAFE);
  chat_server.SetProofExtraString("please register an e-mail address");
  chat_server.SetProofStatus(0x0E);
  TSessionConfig spoofing = Config();
  spoofing.PingSpoofing = true;
  spoofing.HomeChannel = "foo";
  chat_server.SetMissingChannel("foo");
  ASSERT_TRUE(LogOn());
  EXPECT_EQ(Sent(SID_PING).at(0).body, Dw(0xCAFE));
  EXPECT_TRUE(seen.Has("Line [BNET] The server asks for an e-mail address"));

  chat_server.SendMessage(SID_PING, Dw(8));
  ASSERT_TRUE(WaitSent(SID_PING, 2));
  EXPECT_EQ(Sent(SID_PING).back().body, Dw(8));
  bnet->Disconnect();
  ASSERT_TRUE(loop.RunUntil([&] { return !bnet->Active(); }, kWait));
  ASSERT_TRUE(LogOn(spoofing));
  chat_server.SendMessage(SID_PING, Dw(7));
  loop.RunUntil([] { return false; }, 100);  // its chance to come
  EXPECT_EQ(Sent(SID_PING).size(), 2u) << "the spoofed ping stays unanswered";
  // A missing home channel is asked for again with flag 2.
  EXPECT_EQ(Sent(SID_JOINCHANNEL).at(1).body + Sent(SID_JOINCHANNEL).at(2).body,
            Dw(0) + "foo\0"s + Dw(2) + "foo\0"s);
}

TEST_F(Session, ClanRequestsAndAReconnectionThatKeepsCookiesButNotReceivedBytes) {
  chat_server.SetClan("ABC", 4);
  chat_server.SetClanMembers(
      {{"a", 1, 0, ""}, {"b", 4, 1, "Clan ABC"}, {"c", 2, 0, ""}, {"d", 4, 0, ""}});
  ASSERT_TRUE(LogOn());
  EXPECT_EQ(Sent(SID_JOINCHANNEL).at(0).body, Dw(0) + "Clan ABC\0"s);
  ASSERT_TRUE(loop.RunUntil([&] { return bnet->ClanMembers().size() == 4; }, kWait));

  bnet->InviteToClan("newbie");
  bnet->RequestClanProfile("AB", "PX3W");
  bnet->AnswerClanInvitation("XYZ", "boss", kClanInvitationAccept, 99);
  ASSERT_TRUE(WaitSent(SID_CLANINVITATIONRESPONSE));
  EXPECT_EQ(Sent(SID_CLANINVITATION).at(0).body + Sent(SID_WARCRAFTGENERAL).at(0).body +
                Sent(SID_CLANINVITATIONRESPONSE).at(0).body,
            Dw(1) + "newbie\0"s + "\x08" + Dw(2) + "BA\0\0PX3W"s + Dw(99) + "ZYX\0boss\0\x06"s);

  // Half a message, then the connection drops: the leftover bytes must not frame the new
  // stream.
  chat_server.SendRaw("\xFF\x0F\x40\x00partial"s);
  loop.RunUntil([] { return false; }, 50);
  chat_server.DropConnection();
  ASSERT_TRUE(loop.RunUntil([&] { return !bnet->Active(); }, kWait));
  seen.Clear();
  ASSERT_TRUE(LogOn());
  bnet->RequestUserProfile("someone", "PX3W");
  ASSERT_TRUE(WaitSent(SID_WARCRAFTGENERAL, 2));
  EXPECT_EQ(Sent(SID_WARCRAFTGENERAL).back().body.substr(0, 5), "\x04"s + Dw(3));
  chat_server.SendChatEvent(5, "u1", "one");
  ASSERT_TRUE(loop.RunUntil([&] { return seen.Has("Talk u1|one"); }, kWait));

  // Rank 2 may not invite.
  chat_server.SendMessage(SID_CLANMEMBERSTATUSCHANGE, "Tester\0"s + "\x02\x01" + "\0"s);
  ASSERT_TRUE(loop.RunUntil([&] { return bnet->ClanInfo().Rank == 2; }, kWait));
  bnet->InviteToClan("another");
  EXPECT_EQ(bnet->LastResult(), 2102);
}

}  // namespace
}  // namespace corvane
