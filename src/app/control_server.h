#pragma once
// The control socket's listener: a Unix domain socket in the bot's home that the owner's
// clients (a window, the command line, scripts) connect to. One thread of its own accepts
// and reads and writes every client with poll(), so that no client can block the main
// thread; complete request lines go to the main thread, one at a time, and what the bot
// sends is queued per client by the main thread.
//
// A client cannot hurt the bot: only the bot's own user is accepted (SO_PEERCRED), a request
// line is bounded, a client whose unread output passes a bound is dropped, and a client that
// floods requests is read no further until the main thread has caught up. An idle client
// costs nothing: the thread sleeps in poll() with no time-out.

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "net/event_loop.h"

namespace corvane {

class TControlServer {
 public:
  using TClientId = std::uint64_t;

  // Unsent output a client may have before it is dropped: a full attach of a busy bot is a
  // few megabytes; a client that reads nothing for long falls behind by more.
  static constexpr std::size_t kMaxClientOutput = std::size_t{32} << 20;
  // Clients at once; more wait until one leaves.
  static constexpr std::size_t kMaxClients = 32;
  // Request lines of one client handed to the main thread and not yet carried out: past it
  // the client is not read until they are.
  static constexpr int kMaxPendingLines = 64;

  // Called on the main thread.
  class THandler {
   public:
    virtual ~THandler() = default;
    virtual void ClientConnected(TClientId id) = 0;
    virtual void ClientLine(TClientId id, std::string line) = 0;
    // The client has gone: `why` is empty when it closed the connection itself.
    virtual void ClientGone(TClientId id, const std::string& why) = 0;
    // A connection from another user was refused.
    virtual void ClientRefused(uid_t uid) = 0;
  };

  // `max_output`: kMaxClientOutput but in tests.
  TControlServer(TEventLoop& loop, THandler& handler, std::size_t max_output = kMaxClientOutput);
  // Closes every connection and removes the socket file.
  ~TControlServer();
  TControlServer(const TControlServer&) = delete;
  TControlServer& operator=(const TControlServer&) = delete;

  // Listens on `folder`/corvane.sock (mode 0600), replacing a file left there by a bot that
  // ended without removing it (the caller holds the home). False and why on failure.
  bool Listen(const std::string& folder, std::string& error);
  bool Listening() const { return listen_fd_ >= 0; }
  const std::string& Path() const { return path_; }

  // Main thread: queues bytes for a client. A client whose output would pass
  // kMaxClientOutput is dropped instead (ClientGone tells why).
  void Send(TClientId id, std::string_view bytes);
  // Main thread: the client is closed once what was queued for it has left.
  void CloseAfterOutput(TClientId id);
  std::size_t ClientCount() const;

 private:
  struct TClient;
  void Run();
  void Accept();
  bool ReadFrom(TClient& client);                       // false: the client is to go
  bool WriteTo(TClient& client);                        // false: the client is to go
  void Drop(TClientId id, const std::string& why);      // the thread's side; the lock not held
  void Queue(TClient& client, std::string_view bytes);  // mutex_ held
  void Wake() const;

  TEventLoop& loop_;
  THandler& handler_;
  const std::size_t max_output_;
  int listen_fd_ = -1;
  int wake_fd_ = -1;
  std::string path_;
  mutable std::mutex mutex_;
  std::map<TClientId, std::shared_ptr<TClient>> clients_;
  TClientId next_id_ = 1;
  std::atomic<bool> stop_{false};
  // Posted calls check it: the server may be gone by the time they run.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::thread thread_;
};

}  // namespace corvane
