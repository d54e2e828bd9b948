#pragma once
// The TCP side of the simulated servers: listens on 127.0.0.1 and serves one connection at a
// time on a thread of its own. A simulated server talks to one bot, so a new connection
// replaces the one before, as a reconnecting bot expects.
//
// It listens from construction (the port is known, and a client that connects early waits
// in the backlog) and serves from Start, so that its owner is set up before the first
// client is. Whatever the peer sends, the server stays up: input that no handler takes is bounded
// (kMaxPendingInput), a peer that stops reading loses its connection after kWriteTimeoutMs
// instead of holding a writer, and a handler that throws ends its connection, not the
// process. Stop (or the destructor) ends the thread promptly, even with a write under way.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace corvane::sim {

class TSimTcpServer {
 public:
  // Unconsumed input beyond this ends the connection: no message of the simulated
  // protocols is half as long, so only a peer sending nonsense gets there.
  static constexpr std::size_t kMaxPendingInput = 128 * 1024;
  // How long one write may wait for a peer that does not read.
  static constexpr int kWriteTimeoutMs = 10000;

  // Run on the server thread with the bytes of the current connection not yet consumed;
  // the handler erases what it has handled and leaves the start of an incomplete message.
  using TDataHandler = std::function<void(TSimTcpServer& server, std::string& inbox)>;
  // Run on the server thread when a connection has been accepted.
  using TAcceptHandler = std::function<void(TSimTcpServer& server)>;
  // Run on the server thread after a connection has ended (not when the server stops).
  using TCloseHandler = std::function<void(TSimTcpServer& server)>;

  // Port 0: any free port. Throws std::runtime_error when it cannot listen.
  explicit TSimTcpServer(std::uint16_t port = 0);
  virtual ~TSimTcpServer();
  TSimTcpServer(const TSimTcpServer&) = delete;
  TSimTcpServer& operator=(const TSimTcpServer&) = delete;

  // Handlers may call anything of this server, Stop included.
  void SetDataHandler(TDataHandler handler);
  void SetAcceptHandler(TAcceptHandler handler);
  void SetCloseHandler(TCloseHandler handler);

  std::uint16_t Port() const { return port_; }
  bool HasConnection() const;

  // Any thread. Sends all of `bytes` on the current connection; false when there is none or
  // it failed (then the connection is being closed).
  bool Write(std::string_view bytes);
  // Any thread. Ends the current connection (the peer sees it close).
  void CloseConnection();
  // Starts serving on a thread of its own; once only, and never after Stop.
  void Start();
  // Any thread. Stops serving and closes everything; from then on the port refuses. The
  // destructor calls it; an owner whose handlers use its own members, and a subclass that
  // overrides the hooks below, call it first in their destructor.
  void Stop();

 protected:
  // Hooks for a subclass that watches the traffic, run on the server thread before the
  // handlers: every block received, every accepted and every ended connection.
  virtual void OnBytes(std::string_view /*bytes*/) {}
  virtual void OnAccepted() {}
  virtual void OnClosed() {}

  // Lets a subclass send several writes with nothing of another writer between them: hold
  // the returned lock and call WriteHeld.
  std::unique_lock<std::mutex> HoldWrites() { return std::unique_lock(write_mutex_); }
  bool WriteHeld(std::string_view bytes);

 private:
  void Serve();
  void Wake();
  void PauseAccepting();
  void TakeConnection(int fd);
  void Receive(int fd);
  void DropConnection();

  int listen_fd_ = -1;
  int wake_fd_ = -1;
  std::uint16_t port_ = 0;

  mutable std::mutex mutex_;  // guards the four below
  int conn_fd_ = -1;          // closed only by the server thread, under write_mutex_ too
  TDataHandler on_data_;
  TAcceptHandler on_accept_;
  TCloseHandler on_close_;

  std::string inbox_;  // server thread only
  std::mutex write_mutex_;
  std::mutex start_mutex_;  // guards thread_, started_ and the listening socket's close
  bool started_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<std::thread::id> serving_thread_{};
  std::thread thread_;
};

}  // namespace corvane::sim
