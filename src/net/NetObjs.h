#pragma once
// A TCP client that runs its connection on a thread of its own. The owner's three calls
// (Connect, Send, Disconnect) never block on the network; the three callbacks are run on
// the main thread while the client thread waits, so all protocol work stays there.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "net/event_loop.h"
#include "net/timeouts.h"

namespace corvane {

// Raised only when the process-wide socket set-up or tear-down fails.
class ESocketError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Makes a broken connection an error code instead of a fatal signal. Call once before
// the first client exists; SocketCleanup undoes it when the program ends.
void SocketStartup();  // throws ESocketError("WSAStartup")
void SocketCleanup();  // throws ESocketError("WSACleanup")

enum class TClientState : std::uint8_t {
  Idle = 0,
  ConnectRequested = 1,
  Connected = 2,
  DisconnectRequested = 3,
  Stopped = 4,
};

// Result codes of a connection attempt, as given to OnConnect.
enum TConnectResult : int {
  kConnectOk = 0,
  kConnectAlreadyOpen = 1,
  kConnectNoAddress = 2,
  kConnectNoSocket = 3,
  kConnectFailed = 4,
};

// TCP keep-alive and user time-out set on every connection, so that a peer that vanished
// without a FIN or RST is reported through OnDisconnect.
struct TTcpKeepAlive {
  int idle_s = kTcpKeepIdleS;
  int interval_s = kTcpKeepIntervalS;
  int count = kTcpKeepCount;
  unsigned user_timeout_ms = kTcpUserTimeoutMs;
};

class TCustomClient {
 public:
  using TConnectEvent = std::function<void(TCustomClient& sender, int code)>;
  using TReadEvent =
      std::function<void(TCustomClient& sender, const std::uint8_t* bytes, int count)>;
  using TDisconnectEvent = std::function<void(TCustomClient& sender)>;

  static constexpr int kReceiveBlock = 8192;
  static constexpr int kMaxSendPass = 1023;

  explicit TCustomClient(TEventLoop& loop);  // throws std::runtime_error without an eventfd
  // Gives queued output up to 100 ms to leave, then closes the connection without any
  // further callback and ends the thread. Safe from inside one of this client's callbacks.
  ~TCustomClient();
  TCustomClient(const TCustomClient&) = delete;
  TCustomClient& operator=(const TCustomClient&) = delete;

  // Only when Idle: the outcome arrives through OnConnect.
  void Connect(const std::string& host, int port);
  // While connecting or connected: the close arrives through OnDisconnect.
  void Disconnect();
  // Queues bytes for the thread to send, in order. False when there is no socket. Bytes
  // that would take the pending output past kMaxPendingOutput are refused (false, nothing
  // queued) and the connection is closed as lost, through OnDisconnect like any close.
  bool Send(const void* bytes, int count);

  TClientState State() const { return state_.load(); }
  // The owner counts the client as busy whenever it is not Idle.
  bool Active() const { return State() != TClientState::Idle; }
  // Code of the last connection attempt, or byte count of the last receive.
  int LastResult() const { return last_result_.load(); }
  // Bytes given to Send that have not left yet.
  std::size_t PendingOutput() const;
  // True when the last connection was closed because its pending output reached the cap;
  // false again from the next Connect. Any thread.
  bool OutputOverflowed() const { return output_overflowed_.load(); }

  // Diagnostics: called on the client thread with the size of every successful send
  // call. Set it before Connect.
  void SetSendObserver(std::function<void(int)> observer) { send_observer_ = std::move(observer); }
  // Keep-alive for the connections made from now on. Only while Idle, like Connect.
  void SetKeepAlive(const TTcpKeepAlive& keep_alive);

  // Bound by the owner, called on the main thread; empty ones are skipped.
  TConnectEvent OnConnect;
  TReadEvent OnRead;
  TDisconnectEvent OnDisconnect;

 private:
  void Execute();
  int MakeConnection();
  bool WaitForConnect(int fd);
  void ServeConnection();
  void ReceivePass();
  void SendPass();
  void CloseConnection();
  void ClearOutput();  // output_mutex_ held
  void RequestDisconnect();
  bool TransitTo(TClientState from, TClientState to);
  void Wake();
  void DrainWake();
  bool Terminated() const { return terminated_.load(); }

  TEventLoop& loop_;
  TSyncCall hand_off_;
  std::atomic<int> socket_{-1};
  std::atomic<TClientState> state_{TClientState::Idle};
  std::string host_;  // written by Connect while Idle, read by the thread afterwards
  int port_ = 0;
  mutable std::mutex output_mutex_;
  std::vector<std::uint8_t> pending_output_;
  std::size_t output_sent_ = 0;  // bytes at the front of pending_output_ already sent
  std::atomic<bool> output_overflowed_{false};
  TTcpKeepAlive keep_alive_;  // like host_: set while Idle, read by the thread
  std::atomic<int> last_result_{0};
  std::vector<std::uint8_t> receive_block_;
  std::function<void(int)> send_observer_;
  std::atomic<bool> terminated_{false};
  int wake_fd_ = -1;
  std::thread thread_;
};

}  // namespace corvane
