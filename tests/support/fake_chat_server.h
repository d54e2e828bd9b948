#pragma once
// The simulated chat server with the tests' fault injection on top: it records every
// message the client sends with its arrival time, drops the connection on a chosen message
// (or at once), and pushes raw bytes and a dropped connection.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_chat_server.h"
#include "support/fake_tcp_server.h"

namespace corvane::test {

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
  ~TFakeChatServer() override { Stop(); }  // the hooks below use this object's members

  TFakeTcpServer& Tcp() { return static_cast<TFakeTcpServer&>(sim::TSimChatServer::Tcp()); }

  // Drops the connection instead of answering the client's message with this id
  // (kDropOnAccept: as soon as a connection is accepted; 0: never).
  static constexpr std::uint8_t kDropOnAccept = 0xFF;
  void SetDropOn(std::uint8_t id) { drop_on_ = id; }

  // The messages with this id the client sent, across connections, in order.
  std::vector<TChatMessage> MessagesWithId(std::uint8_t id) const;
  // Forgets the record (long runs keep memory flat).
  void ClearMessages() {
    messages_.With([](std::vector<TChatMessage>& m) { m = {}; });
    Tcp().ClearReceived();
  }

  void SendRaw(const std::string& bytes) { Tcp().Write(bytes); }  // one write, as it stands
  void DropConnection() { Tcp().CloseConnection(); }

 protected:
  void OnConnection() override {
    if (drop_on_ == kDropOnAccept) Tcp().CloseConnection();
  }
  bool OnClientMessage(const sim::TClientMessage& message) override;

 private:
  std::atomic<std::uint8_t> drop_on_{0};
  TGuarded<std::vector<TChatMessage>> messages_;
};

}  // namespace corvane::test
