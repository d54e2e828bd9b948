#pragma once
// A TCP server for the tests: listens on 127.0.0.1 at an ephemeral port (or a given one),
// serves one connection at a time on a thread of its own and records every byte it
// receives.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace corvane::test {

class TFakeTcpServer {
 public:
  // Run on the server thread with the bytes of the current connection not yet consumed;
  // the handler erases what it has handled.
  using TDataHandler = std::function<void(TFakeTcpServer& server, std::string& inbox)>;
  using TAcceptHandler = std::function<void(TFakeTcpServer& server)>;
  // Run on the server thread after a connection has ended (not when the server stops).
  using TCloseHandler = std::function<void(TFakeTcpServer& server)>;

  // Port 0: any free port. Throws std::runtime_error when it cannot listen.
  explicit TFakeTcpServer(std::uint16_t port = 0);
  ~TFakeTcpServer();
  TFakeTcpServer(const TFakeTcpServer&) = delete;
  TFakeTcpServer& operator=(const TFakeTcpServer&) = delete;

  void SetDataHandler(TDataHandler handler);
  void SetAcceptHandler(TAcceptHandler handler);
  void SetCloseHandler(TCloseHandler handler);

  std::uint16_t Port() const { return port_; }

  // Any thread. One write call on the current connection; false when there is none.
  bool Write(const std::string& bytes);
  // The bytes in two writes, split at `at`, with a pause between and nothing else between.
  bool WriteSplit(const std::string& bytes, std::size_t at, std::chrono::milliseconds pause);
  // Any thread. Ends the current connection (the client sees the peer close).
  void CloseConnection();
  // Stops serving and closes everything; the destructor calls it. Owners whose handlers
  // use their own members call it first in their destructor.
  void Stop();

  std::string Received() const;  // every byte of every connection, in order
  void ClearReceived();
  int Accepted() const;  // connections accepted so far
  int Closed() const;    // connections that have ended
  bool HasConnection() const;
  // Waits (sleeping in short steps, bounded by timeout_ms) until pred() holds.
  static bool WaitFor(const std::function<bool()>& pred, int timeout_ms);

 private:
  bool WriteLocked(const std::string& bytes);  // write_mutex_ held
  void Serve();
  void Wake();
  void DropConnection();

  int listen_fd_ = -1;
  int wake_fd_ = -1;
  std::uint16_t port_ = 0;

  mutable std::mutex mutex_;  // guards everything below but the thread itself
  int conn_fd_ = -1;
  std::string received_;
  std::string inbox_;
  int accepted_ = 0;
  int closed_ = 0;
  TDataHandler on_data_;
  TAcceptHandler on_accept_;
  TCloseHandler on_close_;

  std::mutex write_mutex_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace corvane::test
