#include "bnet/bnls.h"

#include <gtest/gtest.h>

#include <memory>
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

std::string Frame(std::uint8_t id, std::uint32_t v, const std::string& more = "") {
  return TFakeBnlsServer::Frame(id, std::string(reinterpret_cast<const char*>(&v), 4) + more);
}

// A client with every answer it hands on logged as text, in order.
class BnlsTest : public ::testing::Test {
 protected:
  static std::string Text(std::uint32_t v) { return std::to_string(v); }
  static std::string Text(const std::unique_ptr<TBuffer>& b) { return b->Bytes(); }
  void SetUp() override {
    SocketStartup();
    const auto log = [this](const char* what) {
      return [this, what](TBNLS&, auto v) { events.push_back(what + Text(v)); };
    };
    bnls->OnConnect = log("connect ");
    bnls->OnDisconnect = [this](TBNLS&) { events.push_back("disconnect"); };
    bnls->OnVersionByte = log("version ");
    bnls->OnChooseNLSRevision = log("nls ");
    bnls->OnLogonChallenge = log("challenge ");
    bnls->OnLogonProof = log("proof ");
    bnls->OnHashData = log("hash ");
  }
  void TearDown() override { SocketCleanup(); }
  bool WaitEvents(std::size_t n) {
    return loop.RunUntil([&] { return events.size() >= n; }, 5000);
  }
  void Receive(const std::string& bytes) {
    bnls->ReceiveData(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                      static_cast<int>(bytes.size()));
  }
  TMainLoop loop;
  std::unique_ptr<TBNLS> bnls = std::make_unique<TBNLS>(loop);
  Events events;
};

// A refused attempt still counts as "connected", so that the session closes the idle
// client before its next attempt. A short server answer is padded, never read past its end.
TEST_F(BnlsTest, RequestLayoutsAndConnectedAfterARefusedAttempt) {
  TFakeBnlsServer server, refused;
  server.SetVersionByte(0x1A);
  const int refused_port = refused.Port();
  refused.Tcp().Stop();
  bnls->Connect("127.0.0.1", refused_port);
  ASSERT_TRUE(loop.RunUntil([&] { return !events.empty() && !bnls->Client().Active(); }, 5000));
  EXPECT_TRUE(bnls->Connected());
  bnls->Connect("127.0.0.1", server.Port());
  ASSERT_TRUE(WaitEvents(2));
  const std::string proof(64, 'p'), padded = "xyz"s + std::string(61, '\0');
  TBuffer server_data, short_data;
  server_data.AddString(proof + "beyond the 64 bytes");
  short_data.AddString("xyz");
  bnls->RequestVersionByte(7);
  bnls->ChooseNLSRevision(2);
  bnls->LogonProof(server_data);
  bnls->LogonProof(short_data);
  ASSERT_TRUE(WaitEvents(6));
  EXPECT_EQ(events, (Events{"connect 4", "connect 0", "version 26", "nls 1",
                            "proof " + TFakeBnlsServer::ProofAnswer(proof),
                            "proof " + TFakeBnlsServer::ProofAnswer(padded)}));
  Events raw;
  for (const auto& request : server.Requests()) raw.push_back(request.raw);
  EXPECT_EQ(raw, (Events{"\x07\x00\x10\x07\x00\x00\x00"s, "\x07\x00\x0D\x02\x00\x00\x00"s,
                         "\x43\x00\x03"s + proof, "\x43\x00\x03"s + padded}));
}

// The stream in three pieces, cut at every pair of points: the same answers each time, so
// answers split across reads or joined in one are each decoded once, junk included. An
// answer may destroy the client (the session drops its BNLS client from inside one).
TEST_F(BnlsTest, StreamCutAnywhereGivesTheSameAnswersAndAnAnswerMayDestroyTheClient) {
  const std::string challenge(32, 'c'), hash = "0123456789abcdefghij";
  const std::string stream =
      Frame(BNLS_CHOOSENLSREVISION, 1) + Frame(BNLS_REQUESTVERSIONBYTE, 7, "\x1C\0\0\0"s) +
      TFakeBnlsServer::Frame(0x77, "unknown answers are skipped whole") +
      TFakeBnlsServer::Frame(BNLS_LOGONCHALLENGE, challenge) +
      Frame(BNLS_REQUESTVERSIONBYTE, 7, "\x05\0\0\0extra"s) +
      TFakeBnlsServer::Frame(BNLS_CHOOSENLSREVISION, "") +  // short: its field reads as 0
      // Lengths 0, 1 and 2 are shorter than the header: each still moves on by 3 bytes.
      "\x00\x00\x10\x01\x00\x0D\x02\x00\x02"s + TFakeBnlsServer::Frame(BNLS_HASHDATA, hash);
  const Events want = {"nls 1",     "version 28", "challenge " + challenge,
                       "version 5", "nls 0",      "version 0",
                       "nls 0",     "challenge ", "hash " + hash};
  for (std::size_t a = 0; a <= stream.size(); ++a) {
    for (std::size_t b = a; b <= stream.size(); b += 7) {
      events.clear();
      Receive(stream.substr(0, a));
      Receive(stream.substr(a, b - a));
      Receive(stream.substr(b));
      ASSERT_EQ(events, want) << "cut at " << a << " and " << b;
    }
  }
  bnls->OnChooseNLSRevision = [this](TBNLS&, std::uint32_t) {
    events.push_back("destroyed");
    bnls.reset();
  };
  events.clear();
  Receive(Frame(BNLS_CHOOSENLSREVISION, 1) + Frame(BNLS_CHOOSENLSREVISION, 2));
  EXPECT_EQ(events, Events{"destroyed"});
}

}  // namespace
}  // namespace corvane
