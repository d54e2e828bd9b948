#pragma once
// The simulated TCP server with what the tests need on top: a record of every byte
// received, counts of the connections accepted and ended, a write split in two, and a
// bounded wait.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "sim/sim_tcp_server.h"

namespace corvane::test {

class TFakeTcpServer : public sim::TSimTcpServer {
 public:
  // Run on the server thread with the bytes of the current connection not yet consumed;
  // the handler erases what it has handled.
  using TDataHandler = std::function<void(TFakeTcpServer& server, std::string& inbox)>;
  using TAcceptHandler = std::function<void(TFakeTcpServer& server)>;
  // Run on the server thread after a connection has ended (not when the server stops).
  using TCloseHandler = std::function<void(TFakeTcpServer& server)>;

  // Serving at once. Port 0: any free port. Throws std::runtime_error when it cannot listen.
  explicit TFakeTcpServer(std::uint16_t port = 0);
  // Listening, serving from Start: for the fake servers built on top of it.
  struct TNotStarted {};
  TFakeTcpServer(std::uint16_t port, TNotStarted);
  ~TFakeTcpServer() override;

  void SetDataHandler(TDataHandler handler);
  void SetAcceptHandler(TAcceptHandler handler);
  void SetCloseHandler(TCloseHandler handler);

  // The bytes in two writes, split at `at`, with a pause between and nothing else between.
  bool WriteSplit(const std::string& bytes, std::size_t at, std::chrono::milliseconds pause);

  std::string Received() const;  // every byte of every connection, in order
  void ClearReceived();
  int Accepted() const;  // connections accepted so far
  int Closed() const;    // connections that have ended
  // Waits (sleeping in short steps, bounded by timeout_ms) until pred() holds.
  static bool WaitFor(const std::function<bool()>& pred, int timeout_ms);

 protected:
  void OnBytes(std::string_view bytes) override;
  void OnAccepted() override;
  void OnClosed() override;

 private:
  mutable std::mutex record_mutex_;  // guards the three below
  std::string received_;
  int accepted_ = 0;
  int closed_ = 0;
};

}  // namespace corvane::test
