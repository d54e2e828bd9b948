#pragma once
// The simulated chat server with the tests' fault injection on top: it records every
// message the client sends with its arrival time, drops the connection on a chosen message
// (or at once), and pushes raw bytes, split writes and a dropped connection.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/sim_chat_server.h"
#include "support/fake_tcp_server.h"

namespace corvane::test {

using TFakeChannelMember = sim::TSimChannelMember;
using TFakeFriend = sim::TSimFriend;
using TFakeClanMember = sim::TSimClanMember;

// One message the client sent: id, the bytes after the 4-byte header, and when it came.
struct TChatMessage {
  std::uint8_t id = 0;
  std::string body;
  std::chrono::steady_clock::time_point when;
};

class TFakeChatServer : public sim::TSimChatServer {
 public:
  // Serving at once. Port 0: any free port. Throws std::runtime_error when it cannot listen.
  explicit TFakeChatServer(std::uint16_t port = 0);
  ~TFakeChatServer() override;

  TFakeTcpServer& Tcp();

  // Drops the connection instead of answering the client's message with this id
  // (kDropOnAccept: as soon as a connection is accepted; 0: never).
  static constexpr std::uint8_t kDropOnAccept = 0xFF;
  void SetDropOn(std::uint8_t id);

  std::vector<TChatMessage> Messages() const;  // every message the client sent, in order
  std::vector<TChatMessage> MessagesWithId(std::uint8_t id) const;
  void ClearMessages();  // forgets the record (long runs keep memory flat)

  void SendRaw(const std::string& bytes);                    // one write, as it stands
  void SendSplit(const std::string& bytes, std::size_t at);  // two writes, a pause apart
  void DropConnection();

 protected:
  void OnConnection() override;
  bool OnClientMessage(const sim::TClientMessage& message) override;

 private:
  mutable std::mutex record_mutex_;  // guards the two below
  std::uint8_t drop_on_ = 0;
  std::vector<TChatMessage> messages_;  // across connections
};

}  // namespace corvane::test
