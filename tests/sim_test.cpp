// The simulated chat and BNLS servers that the demo server runs, against a client that
// speaks the protocol byte by byte over 127.0.0.1: a logon that sees the channel's members
// and a chat event, input that is not the protocol, and a stop while a write is stuck.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "bnet/sid.h"
#include "sim/sim_bnls_server.h"
#include "sim/sim_chat_server.h"
#include "sim/sim_tcp_server.h"

namespace corvane {
namespace {

using namespace std::string_literals;
using sim::TSimBnlsServer;
using sim::TSimChatServer;

std::string Dword(std::uint32_t v) {
  return TSimChatServer::Dword(v);
}

std::string Nt(const std::string& s) {
  return s + '\0';
}

struct TMessage {
  std::uint8_t id = 0;
  std::string body;
};

// A blocking client socket whose reads give up after two seconds.
class TRawClient {
 public:
  explicit TRawClient(std::uint16_t port) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    timeval limit{2, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~TRawClient() { close(fd_); }

  bool Connected() const { return connected_; }
  bool Send(const std::string& bytes) {
    return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  // The next chat message (0xFF, id, u16 length) or BNLS answer (u16 length, id); id 0 and
  // no body when none came.
  TMessage ReadChat() {
    std::string head;
    if (!Read(4, head) || head[0] != '\xFF') return {};
    return ReadBody(static_cast<std::uint8_t>(head[1]), Length(head, 2), 4);
  }
  TMessage ReadBnls() {
    std::string head;
    if (!Read(3, head)) return {};
    return ReadBody(static_cast<std::uint8_t>(head[2]), Length(head, 0), 3);
  }
  // True when the server ended the connection without sending anything.
  bool ClosedByServer() {
    char c;
    const ssize_t n = recv(fd_, &c, 1, 0);
    return n == 0 || (n < 0 && errno == ECONNRESET);
  }

 private:
  static std::size_t Length(const std::string& head, std::size_t at) {
    return static_cast<unsigned char>(head[at]) |
           (static_cast<std::size_t>(static_cast<unsigned char>(head[at + 1])) << 8);
  }
  TMessage ReadBody(std::uint8_t id, std::size_t length, std::size_t header) {
    TMessage m{id, {}};
    if (length < header || !Read(length - header, m.body)) return {};
    return m;
  }
  bool Read(std::size_t n, std::string& out) {
    out.assign(n, '\0');
    for (std::size_t done = 0; done < n;) {
      const ssize_t got = recv(fd_, out.data() + done, n - done, 0);
      if (got <= 0) return false;
      done += static_cast<std::size_t>(got);
    }
    return true;
  }

  int fd_;
  bool connected_ = false;
};

std::string Frame(std::uint8_t id, const std::string& body) {
  return TSimChatServer::Frame(id, body);
}

class SimServers : public ::testing::Test {
 protected:
  void SetUp() override {
    chat.SetAccount("Tester", "Secret");
    chat.SetChannelMembers("Home", {{"Mira", 0, 32, "PX3W 2N3W 14"}, {"Bob", 0x10, 95}});
    chat.Start();
    bnls.Start();
  }

  // The logon values, asked of the BNLS server as the bot asks them.
  std::pair<std::string, std::string> ChallengeAndProof(const std::string& password) {
    TRawClient client(bnls.Port());
    client.Send(TSimBnlsServer::Frame(BNLS_LOGONCHALLENGE, Nt("Tester") + Nt(password)));
    client.Send(TSimBnlsServer::Frame(BNLS_LOGONPROOF, TSimChatServer::SaltAndServerKey()));
    const std::string challenge = client.ReadBnls().body;
    return {challenge, client.ReadBnls().body};
  }

  TSimChatServer chat;
  TSimBnlsServer bnls;
};

TEST_F(SimServers, AClientLogsOnAndSeesTheMembersAndAChatEventOnlyWithTheRightPassword) {
  struct Case {
    const char* password;
    std::uint32_t proof_status;
  };
  for (const Case c : {Case{"Secret", 0}, Case{"secret", 2}}) {
    const auto [challenge, proof] = ChallengeAndProof(c.password);
    ASSERT_EQ(challenge.size(), 32u) << c.password;
    TRawClient client(chat.Port());
    ASSERT_TRUE(client.Connected());
    client.Send("\x01"s + Frame(SID_AUTH_INFO, Dword(0)) +
                Frame(SID_AUTH_ACCOUNTLOGON, challenge + Nt("Tester")) +
                Frame(SID_AUTH_ACCOUNTLOGONPROOF, proof));
    EXPECT_EQ(client.ReadChat().id, SID_AUTH_INFO);
    EXPECT_EQ(client.ReadChat().body, Dword(0) + TSimChatServer::SaltAndServerKey());
    EXPECT_EQ(client.ReadChat().body.substr(0, 4), Dword(c.proof_status)) << c.password;

    client.Send(Frame(SID_ENTERCHAT, Nt("") + Nt("")) +
                Frame(SID_JOINCHANNEL, Dword(0) + Nt("home")));
    EXPECT_EQ(client.ReadChat().body, Nt("Tester") + Nt("PX3W 1R3W 0") + Nt("Tester"));
    // The channel, its members and the client itself; then what the owner pushes.
    std::vector<std::string> events;
    for (int i = 0; i < 4; ++i) {
      const TMessage event = client.ReadChat();
      ASSERT_EQ(event.id, SID_CHATEVENT);
      events.push_back(std::to_string(event.body[0]) + " " + event.body.substr(24));
    }
    EXPECT_EQ(events,
              (std::vector<std::string>{"7 Tester\0home\0"s, "1 Mira\0PX3W 2N3W 14\0"s,
                                        "1 Bob\0PX3W 1R3W 0\0"s, "1 Tester\0PX3W 1R3W 0\0"s}));
    chat.SendChatEvent(5, "Mira", "hi there", 0, 32);
    EXPECT_EQ(client.ReadChat().body, Dword(5) + Dword(0) + Dword(32) + std::string(12, '\0') +
                                          Nt("Mira") + Nt("hi there"));
    EXPECT_EQ(chat.LoggedOn(), c.proof_status == 0) << c.password;
    EXPECT_EQ(chat.Channel(), "home");
  }
}

TEST_F(SimServers, InputThatIsNotTheProtocolEndsThatConnectionOnly) {
  const std::string cases[] = {
      "\x02" + Frame(SID_AUTH_INFO, Dword(0)),  // not the protocol byte
      "\x01\xFF\x0E\x02\x00garbage"s,           // a length below the header
      "\x01\x00\x0E\x08\x00\x00\x00\x00\x00"s,  // a message without its 0xFF
  };
  for (const std::string& junk : cases) {
    TRawClient client(chat.Port());
    ASSERT_TRUE(client.Send(junk));
    EXPECT_TRUE(client.ClosedByServer()) << junk;
  }
  TRawClient bnls_client(bnls.Port());
  bnls_client.Send("\x02\x00\x0E"s);
  EXPECT_TRUE(bnls_client.ClosedByServer());

  // A name longer than two copies of it could fit in one answer is cut, not fatal.
  TRawClient client(chat.Port());
  const std::string name(60000, 'n');
  client.Send("\x01"s + Frame(SID_AUTH_ACCOUNTLOGON, std::string(32, 'c') + Nt(name)) +
              Frame(SID_ENTERCHAT, Nt("") + Nt("")));
  EXPECT_EQ(client.ReadChat().id, SID_AUTH_ACCOUNTLOGON);
  const std::string cut(TSimChatServer::kMaxNameLength, 'n');
  EXPECT_EQ(client.ReadChat().body, Nt(cut) + Nt("PX3W 1R3W 0") + Nt(cut));
}

// A peer that stops reading blocks a writer in the kernel; Stop must not wait for it.
TEST(SimTcpServer, StopEndsAWriteStuckOnAPeerThatDoesNotRead) {
  sim::TSimTcpServer server;
  server.Start();
  TRawClient client(server.Port());
  ASSERT_TRUE(client.Connected());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!server.HasConnection() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));

  std::atomic<int> writes{0};
  std::atomic<bool> last_write_failed{false};
  std::thread writer([&] {
    const std::string block(64 * 1024, 'w');
    // Far more than the kernel buffers on both sides hold (bounded all the same).
    for (int i = 0; i < 2000 && !last_write_failed; ++i) {
      last_write_failed = !server.Write(block);
      ++writes;
    }
  });
  // Stuck: no write has ended for a while.
  for (int seen = -1; seen != writes && std::chrono::steady_clock::now() < deadline;) {
    seen = writes;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  const auto stop_start = std::chrono::steady_clock::now();
  server.Stop();
  writer.join();
  EXPECT_LT(std::chrono::steady_clock::now() - stop_start, std::chrono::seconds(2));
  EXPECT_TRUE(last_write_failed);
  EXPECT_FALSE(server.HasConnection());
}

}  // namespace
}  // namespace corvane
