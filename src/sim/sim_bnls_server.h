#pragma once
// A BNLS server on 127.0.0.1 for the simulated chat server: answers the five requests of
// the bot's BNLS client with deterministic values that TSimChatServer checks, so that a bot
// logs on without the real logon arithmetic. It keeps no record and no per-connection
// state; a request whose length is below its header ends the connection.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "sim/sim_tcp_server.h"

namespace corvane::sim {

// One request the client sent: id and the bytes after the 3-byte header.
struct TBnlsRequest {
  std::uint8_t id = 0;
  std::string body;
};

class TSimBnlsServer {
 public:
  // Listens on 127.0.0.1 (port 0: any free port) and serves from Start. Throws
  // std::runtime_error when it cannot listen.
  explicit TSimBnlsServer(std::uint16_t port = 0);
  virtual ~TSimBnlsServer();
  TSimBnlsServer(const TSimBnlsServer&) = delete;
  TSimBnlsServer& operator=(const TSimBnlsServer&) = delete;

  std::uint16_t Port() const { return tcp_->Port(); }
  void Start() { tcp_->Start(); }
  void Stop() { tcp_->Stop(); }

  void SetVersionByte(std::uint32_t v);
  void SetNlsResult(std::uint32_t r);

  // The payloads this server answers with: the chat server checks the logon against them.
  static std::string ChallengeAnswer(const std::string& account, const std::string& password);
  static std::string ProofAnswer(const std::string& server_data);
  static std::string HashAnswer(const std::string& data);
  // A whole answer: u16 length, id, body.
  static std::string Frame(std::uint8_t id, const std::string& body);

 protected:
  // For a subclass that serves through a TCP server of its own kind (not started yet).
  explicit TSimBnlsServer(std::unique_ptr<TSimTcpServer> tcp);
  TSimTcpServer& Tcp() { return *tcp_; }

  // Hooks for a subclass, run on the server thread without a lock held: a connection was
  // accepted; a whole request arrived (false closes the connection instead of answering);
  // an answer is ready to leave (the default writes it at once).
  virtual void OnConnection() {}
  virtual bool OnRequest(const TBnlsRequest& /*request*/) { return true; }
  virtual void SendAnswer(const std::string& answer) { tcp_->Write(answer); }

 private:
  void OnData(std::string& inbox);
  std::string Answer(const TBnlsRequest& request) const;

  mutable std::mutex mutex_;
  std::uint32_t version_byte_ = 0x1C;
  std::uint32_t nls_result_ = 1;
  std::unique_ptr<TSimTcpServer> tcp_;  // last: its thread stops before the members above go
};

}  // namespace corvane::sim
