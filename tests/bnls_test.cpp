#include "bnet/bnls.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "bnet/sid.h"
#include "net/main_loop.h"
#include "support/fake_bnls_server.h"

namespace corvane {
namespace {

using namespace std::string_literals;
using test::TFakeBnlsServer;
using Events = std::vector<std::string>;

constexpr int kWait = 5000;

// A client with every answer it hands on logged as text, in order.
struct LoggedBnls {
  explicit LoggedBnls(TEventLoop& loop) : bnls(loop) {
    const auto value = [this](const char* what) {
      return [this, what](TBNLS&, std::uint32_t v) { events.push_back(what + std::to_string(v)); };
    };
    const auto payload = [this](const char* what) {
      return
          [this, what](TBNLS&, std::unique_ptr<TBuffer> b) { events.push_back(what + b->Bytes()); };
    };
    bnls.OnConnect = [this](TBNLS&, int code) {
      events.push_back("connect " + std::to_string(code));
    };
    bnls.OnDisconnect = [this](TBNLS&) { events.push_back("disconnect"); };
    bnls.OnVersionByte = value("version ");
    bnls.OnChooseNLSRevision = value("nls ");
    bnls.OnLogonChallenge = payload("challenge ");
    bnls.OnLogonProof = payload("proof ");
    bnls.OnHashData = payload("hash ");
  }
  TBNLS bnls;
  Events events;
};

std::string Seq(std::uint8_t first, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(first + i));
  return s;
}

std::string Dw(std::uint32_t v) {
  return std::string(reinterpret_cast<const char*>(&v), 4);
}

void Receive(TBNLS& bnls, const std::string& bytes) {
  bnls.ReceiveData(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                   static_cast<int>(bytes.size()));
}

class BnlsTest : public ::testing::Test {
 protected:
  void SetUp() override { SocketStartup(); }
  void TearDown() override { SocketCleanup(); }
  bool WaitEvents(const Events& events, std::size_t n) {
    return loop.RunUntil([&] { return events.size() >= n; }, kWait);
  }
  TMainLoop loop;
};

TEST_F(BnlsTest, EveryRequestHasItsExactLayoutAndEveryAnswerComesBack) {
  TFakeBnlsServer server;
  server.SetVersionByte(0x1A);
  LoggedBnls logged(loop);
  TBNLS& bnls = logged.bnls;
  Events& events = logged.events;
  bnls.Connect("127.0.0.1", server.Port());
  ASSERT_TRUE(WaitEvents(events, 1));
  EXPECT_TRUE(bnls.Connected());

  TBuffer server_data;
  server_data.AddString(Seq(1, 64) + "beyond the 64 bytes");
  const std::string server_data_before = server_data.Bytes();
  TBuffer short_data;  // a short server answer is padded, never read past its end
  short_data.AddString("xyz");
  const std::string padded = "xyz"s + std::string(61, '\0');
  const struct {
    std::function<void()> send;
    std::string raw, answer;
  } requests[] = {
      {[&] { bnls.RequestVersionByte(7); }, "\x07\x00\x10\x07\x00\x00\x00"s, "version 26"},
      {[&] { bnls.ChooseNLSRevision(2); }, "\x07\x00\x0D\x02\x00\x00\x00"s, "nls 1"},
      {[&] { bnls.LogonChallenge("ab", "cd"); }, "\x09\x00\x02"s + "ab\0cd\0"s,
       "challenge " + TFakeBnlsServer::ChallengeAnswer("ab", "cd")},
      {[&] { bnls.LogonProof(server_data); }, "\x43\x00\x03"s + Seq(1, 64),
       "proof " + TFakeBnlsServer::ProofAnswer(Seq(1, 64))},
      {[&] { bnls.HashData("12345"); }, "\x10\x00\x0B\x05\x00\x00\x00\x01\x00\x00\x00"s + "12345",
       "hash " + TFakeBnlsServer::HashAnswer("12345")},
      {[&] { bnls.LogonProof(short_data); }, "\x43\x00\x03"s + padded,
       "proof " + TFakeBnlsServer::ProofAnswer(padded)},
  };
  Events want = {"connect 0"};
  for (const auto& r : requests) {
    r.send();
    want.push_back(r.answer);
  }
  ASSERT_TRUE(WaitEvents(events, want.size()));
  EXPECT_EQ(events, want);
  const auto received = server.Requests();
  ASSERT_EQ(received.size(), std::size(requests));
  for (std::size_t i = 0; i < received.size(); ++i) EXPECT_EQ(received[i].raw, requests[i].raw);
  EXPECT_EQ(server_data.Bytes(), server_data_before) << "LogonProof leaves its argument alone";

  bnls.Disconnect();
  EXPECT_FALSE(bnls.Connected());
  ASSERT_TRUE(WaitEvents(events, want.size() + 1));
  EXPECT_EQ(events.back(), "disconnect");
}

TEST_F(BnlsTest, EarlyCloseAndFailedAttemptSetConnectedAsTheSessionExpects) {
  TFakeBnlsServer server;
  server.SetCloseAfterRequests(1);
  LoggedBnls logged(loop);
  TBNLS& bnls = logged.bnls;
  Events& events = logged.events;
  bnls.Connect("127.0.0.1", server.Port());
  ASSERT_TRUE(WaitEvents(events, 1));
  bnls.RequestVersionByte(7);
  ASSERT_TRUE(WaitEvents(events, 2));
  EXPECT_EQ(events, (Events{"connect 0", "disconnect"}));
  EXPECT_FALSE(bnls.Connected());

  // A refused attempt still counts as "connected", so that the session closes the idle
  // client before its next attempt.
  const int port = server.Port();
  server.Tcp().Stop();
  TFakeBnlsServer other;  // keeps the old port from being reused by chance
  LoggedBnls refused(loop);
  refused.bnls.Connect("127.0.0.1", port);
  ASSERT_TRUE(WaitEvents(refused.events, 1));
  EXPECT_EQ(refused.events[0], "connect 4");
  EXPECT_TRUE(refused.bnls.Connected());
}

// The stream in three pieces, cut at every pair of points: the same answers each time, so
// answers split across reads or joined in one are each decoded once, junk included.
TEST_F(BnlsTest, StreamCutAnywhereGivesTheSameAnswers) {
  const std::string stream =
      TFakeBnlsServer::Frame(BNLS_CHOOSENLSREVISION, Dw(1)) +
      TFakeBnlsServer::Frame(BNLS_REQUESTVERSIONBYTE, Dw(7) + Dw(0x1C)) +
      TFakeBnlsServer::Frame(0x77, "unknown answers are skipped whole") +
      TFakeBnlsServer::Frame(BNLS_LOGONCHALLENGE, Seq(10, 32)) +
      TFakeBnlsServer::Frame(BNLS_REQUESTVERSIONBYTE, Dw(7) + Dw(5) + "extra") +
      TFakeBnlsServer::Frame(BNLS_CHOOSENLSREVISION, "") +  // short: its field reads as 0
      // Lengths 0, 1 and 2 are shorter than the header: each still moves on by 3 bytes.
      "\x00\x00\x10\x01\x00\x0D\x02\x00\x02"s + TFakeBnlsServer::Frame(BNLS_HASHDATA, Seq(40, 20));
  const Events want = {"nls 1",     "version 28", "challenge " + Seq(10, 32),
                       "version 5", "nls 0",      "version 0",
                       "nls 0",     "challenge ", "hash " + Seq(40, 20)};
  LoggedBnls logged(loop);  // the whole stream leaves its receive buffer empty each time
  TBNLS& bnls = logged.bnls;
  Events& events = logged.events;
  for (std::size_t a = 0; a <= stream.size(); ++a) {
    for (std::size_t b = a; b <= stream.size(); b += 7) {
      events.clear();
      Receive(bnls, stream.substr(0, a));
      Receive(bnls, stream.substr(a, b - a));
      Receive(bnls, stream.substr(b));
      ASSERT_EQ(events, want) << "cut at " << a << " and " << b;
    }
  }
}

TEST_F(BnlsTest, AnAnswerMayDestroyTheClient) {
  auto owned = std::make_unique<TBNLS>(loop);
  int answers = 0;
  owned->OnChooseNLSRevision = [&](TBNLS&, std::uint32_t) {
    ++answers;
    owned.reset();  // the session may drop its BNLS client from inside an answer
  };
  Receive(*owned, TFakeBnlsServer::Frame(BNLS_CHOOSENLSREVISION, Dw(1)) +
                      TFakeBnlsServer::Frame(BNLS_CHOOSENLSREVISION, Dw(2)));
  EXPECT_EQ(answers, 1);
  EXPECT_EQ(owned, nullptr);
}

}  // namespace
}  // namespace corvane
