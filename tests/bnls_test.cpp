#include "bnet/bnls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bnet/sid.h"
#include "fakes/fake_bnls_server.h"
#include "net/main_loop.h"

namespace corvane {
namespace {

using namespace std::string_literals;
using test::TFakeBnlsServer;

constexpr int kWait = 5000;

// Every answer the client hands on, as text, in order.
struct AnswerLog {
  explicit AnswerLog(TBNLS& bnls) {
    bnls.OnConnect = [this](TBNLS&, int code) {
      events.push_back("connect " + std::to_string(code));
    };
    bnls.OnVersionByte = [this](TBNLS&, std::uint32_t v) {
      events.push_back("version " + std::to_string(v));
    };
    bnls.OnChooseNLSRevision = [this](TBNLS&, std::uint32_t r) {
      events.push_back("nls " + std::to_string(r));
    };
    bnls.OnDisconnect = [this](TBNLS&) { events.push_back("disconnect"); };
    bnls.OnLogonChallenge = [this](TBNLS&, std::unique_ptr<TBuffer> b) {
      events.push_back("challenge " + b->Bytes());
    };
    bnls.OnLogonProof = [this](TBNLS&, std::unique_ptr<TBuffer> b) {
      events.push_back("proof " + b->Bytes());
    };
    bnls.OnHashData = [this](TBNLS&, std::unique_ptr<TBuffer> b) {
      events.push_back("hash " + b->Bytes());
    };
  }
  std::vector<std::string> events;
};

class BnlsTest : public ::testing::Test {
 protected:
  void SetUp() override { SocketStartup(); }
  void TearDown() override { SocketCleanup(); }

  void ConnectTo(TBNLS& bnls, TFakeBnlsServer& server, AnswerLog& log) {
    bnls.Connect("127.0.0.1", server.Port());
    ASSERT_TRUE(loop.RunUntil([&] { return !log.events.empty(); }, kWait));
    ASSERT_EQ(log.events[0], "connect 0");
    log.events.clear();
  }
  bool WaitEvents(AnswerLog& log, std::size_t n) {
    return loop.RunUntil([&] { return log.events.size() >= n; }, kWait);
  }

  TMainLoop loop;
};

std::string Seq(std::uint8_t first, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(first + i));
  return s;
}

TEST_F(BnlsTest, EveryRequestHasItsExactLayoutAndEveryAnswerComesBack) {
  TFakeBnlsServer server;
  server.SetVersionByte(0x1A);
  TBNLS bnls(loop);
  AnswerLog log(bnls);
  ASSERT_NO_FATAL_FAILURE(ConnectTo(bnls, server, log));
  EXPECT_TRUE(bnls.Connected());

  TBuffer server_data;
  server_data.AddString(Seq(1, 64) + "beyond the 64 bytes");
  const std::string server_data_before = server_data.Bytes();

  bnls.RequestVersionByte(7);
  ASSERT_TRUE(WaitEvents(log, 1));
  bnls.ChooseNLSRevision(2);
  ASSERT_TRUE(WaitEvents(log, 2));
  bnls.LogonChallenge("ab", "cd");
  ASSERT_TRUE(WaitEvents(log, 3));
  bnls.LogonProof(server_data);
  ASSERT_TRUE(WaitEvents(log, 4));
  bnls.HashData("12345");
  ASSERT_TRUE(WaitEvents(log, 5));

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests[0].raw, "\x07\x00\x10\x07\x00\x00\x00"s);
  EXPECT_EQ(requests[1].raw, "\x07\x00\x0D\x02\x00\x00\x00"s);
  EXPECT_EQ(requests[2].raw,
            "\x09\x00\x02"
            "ab\0cd\0"s);
  EXPECT_EQ(requests[3].raw, "\x43\x00\x03"s + Seq(1, 64));
  EXPECT_EQ(requests[4].raw,
            "\x10\x00\x0B\x05\x00\x00\x00\x01\x00\x00\x00"
            "12345"s);
  EXPECT_EQ(server_data.Bytes(), server_data_before) << "LogonProof leaves its argument alone";

  const std::vector<std::string> want = {
      "version 26", "nls 1", "challenge " + TFakeBnlsServer::ChallengeAnswer("ab", "cd"),
      "proof " + TFakeBnlsServer::ProofAnswer(Seq(1, 64)),
      "hash " + TFakeBnlsServer::HashAnswer("12345")};
  EXPECT_EQ(log.events, want);

  // A short server answer is padded, never read past its end.
  TBuffer short_data;
  short_data.AddString("xyz");
  bnls.LogonProof(short_data);
  ASSERT_TRUE(WaitEvents(log, 6));
  const std::string padded = "xyz"s + std::string(61, '\0');
  EXPECT_EQ(server.Requests()[5].raw, "\x43\x00\x03"s + padded);
  EXPECT_EQ(log.events[5], "proof " + TFakeBnlsServer::ProofAnswer(padded));

  bnls.Disconnect();
  EXPECT_FALSE(bnls.Connected());
  ASSERT_TRUE(WaitEvents(log, 7));
  EXPECT_EQ(log.events.back(), "disconnect");
}

TEST_F(BnlsTest, AnswersSplitAcrossWritesOrJoinedInOneAreEachDecodedOnce) {
  TFakeBnlsServer server;
  server.SetSplitAnswers(true, 5);  // header and part of the body, then the rest
  TBNLS bnls(loop);
  AnswerLog log(bnls);
  ASSERT_NO_FATAL_FAILURE(ConnectTo(bnls, server, log));
  bnls.RequestVersionByte(8);
  ASSERT_TRUE(WaitEvents(log, 1));
  bnls.HashData("pw");
  ASSERT_TRUE(WaitEvents(log, 2));
  loop.RunUntil([] { return false; }, 50);
  EXPECT_EQ(log.events,
            (std::vector<std::string>{"version 28", "hash " + TFakeBnlsServer::HashAnswer("pw")}));

  server.SetSplitAnswers(false);
  server.SetAnswersPerWrite(2);
  log.events.clear();
  bnls.ChooseNLSRevision(2);
  bnls.RequestVersionByte(7);
  ASSERT_TRUE(WaitEvents(log, 2));
  EXPECT_EQ(log.events, (std::vector<std::string>{"nls 1", "version 28"}));
}

TEST_F(BnlsTest, EarlyCloseAndFailedAttemptSetConnectedAsTheSessionExpects) {
  TFakeBnlsServer server;
  server.SetCloseAfterRequests(1);
  TBNLS bnls(loop);
  AnswerLog log(bnls);
  ASSERT_NO_FATAL_FAILURE(ConnectTo(bnls, server, log));
  bnls.RequestVersionByte(7);
  ASSERT_TRUE(WaitEvents(log, 1));
  EXPECT_EQ(log.events, std::vector<std::string>{"disconnect"});
  EXPECT_FALSE(bnls.Connected());

  // A refused attempt still counts as "connected", so that the session closes the idle
  // client before its next attempt.
  const int port = server.Port();
  server.Tcp().Stop();
  TFakeBnlsServer other;  // keeps the old port from being reused by chance
  TBNLS refused(loop);
  AnswerLog refused_log(refused);
  refused.Connect("127.0.0.1", port);
  ASSERT_TRUE(loop.RunUntil([&] { return !refused_log.events.empty(); }, kWait));
  EXPECT_EQ(refused_log.events[0], "connect 4");
  EXPECT_TRUE(refused.Connected());
}

std::string Dw(std::uint32_t v) {
  return std::string(reinterpret_cast<const char*>(&v), 4);
}

TEST_F(BnlsTest, StreamCutAnywhereGivesTheSameAnswers) {
  const std::string stream =
      TFakeBnlsServer::Frame(BNLS_CHOOSENLSREVISION, Dw(1)) +
      TFakeBnlsServer::Frame(BNLS_REQUESTVERSIONBYTE, Dw(7) + Dw(0x1C)) +
      TFakeBnlsServer::Frame(0x77, "unknown answers are skipped whole") +
      TFakeBnlsServer::Frame(BNLS_LOGONCHALLENGE, Seq(10, 32)) +
      TFakeBnlsServer::Frame(BNLS_REQUESTVERSIONBYTE, Dw(7) + Dw(5) + "extra") +
      TFakeBnlsServer::Frame(BNLS_CHOOSENLSREVISION, "") +  // short: its field reads as 0
      TFakeBnlsServer::Frame(BNLS_HASHDATA, Seq(40, 20));
  const std::vector<std::string> want = {"nls 1",     "version 28", "challenge " + Seq(10, 32),
                                         "version 5", "nls 0",      "hash " + Seq(40, 20)};
  TBNLS bnls(loop);  // the whole stream leaves its receive buffer empty each time
  AnswerLog log(bnls);
  for (std::size_t a = 0; a <= stream.size(); ++a) {
    for (std::size_t b = a; b <= stream.size(); b += 7) {
      log.events.clear();
      const auto* p = reinterpret_cast<const std::uint8_t*>(stream.data());
      bnls.ReceiveData(p, static_cast<int>(a));
      bnls.ReceiveData(p + a, static_cast<int>(b - a));
      bnls.ReceiveData(p + b, static_cast<int>(stream.size() - b));
      ASSERT_EQ(log.events, want) << "cut at " << a << " and " << b;
    }
  }
}

TEST_F(BnlsTest, DegenerateFramesAndADestroyingCallbackAreSafe) {
  TBNLS bnls(loop);
  AnswerLog log(bnls);
  // Lengths 0, 1 and 2 are shorter than the header: each still moves on by 3 bytes.
  const std::string junk = "\x00\x00\x10\x01\x00\x0D\x02\x00\x02"s +
                           TFakeBnlsServer::Frame(BNLS_CHOOSENLSREVISION, Dw(9));
  bnls.ReceiveData(reinterpret_cast<const std::uint8_t*>(junk.data()),
                   static_cast<int>(junk.size()));
  EXPECT_EQ(log.events, (std::vector<std::string>{"version 0", "nls 0", "challenge ", "nls 9"}));

  auto owned = std::make_unique<TBNLS>(loop);
  int answers = 0;
  owned->OnChooseNLSRevision = [&](TBNLS&, std::uint32_t) {
    ++answers;
    owned.reset();  // the session may drop its BNLS client from inside an answer
  };
  const std::string two = TFakeBnlsServer::Frame(BNLS_CHOOSENLSREVISION, Dw(1)) +
                          TFakeBnlsServer::Frame(BNLS_CHOOSENLSREVISION, Dw(2));
  owned->ReceiveData(reinterpret_cast<const std::uint8_t*>(two.data()),
                     static_cast<int>(two.size()));
  EXPECT_EQ(answers, 1);
  EXPECT_EQ(owned, nullptr);
}

}  // namespace
}  // namespace corvane
