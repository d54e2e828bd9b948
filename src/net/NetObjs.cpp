#include "net/NetObjs.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace corvane {
namespace {

struct sigaction g_old_sigpipe;
bool g_sockets_started = false;

void CloseSocket(int fd) {
  if (fd < 0) return;
  shutdown(fd, SHUT_RDWR);
  close(fd);
}

// Failures are ignored: the connection still works, only a vanished peer goes unnoticed.
void SetKeepAliveOptions(int fd, const TTcpKeepAlive& k) {
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &k.idle_s, sizeof k.idle_s);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &k.interval_s, sizeof k.interval_s);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &k.count, sizeof k.count);
  setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &k.user_timeout_ms, sizeof k.user_timeout_ms);
}

}  // namespace

void SocketStartup() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  if (sigaction(SIGPIPE, &ignore, &g_old_sigpipe) != 0) throw ESocketError("WSAStartup");
  g_sockets_started = true;
}

void SocketCleanup() {
  if (!g_sockets_started) return;
  if (sigaction(SIGPIPE, &g_old_sigpipe, nullptr) != 0) throw ESocketError("WSACleanup");
  g_sockets_started = false;
}

TCustomClient::TCustomClient(TEventLoop& loop)
    : loop_(loop), hand_off_(loop), receive_block_(kReceiveBlock) {
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  // Without it the thread could not be woken and would wait in poll for ever.
  if (wake_fd_ < 0) throw std::runtime_error("eventfd");
}

TCustomClient::~TCustomClient() {
  // Bytes handed over just before the end (a last chat line) get a moment to leave.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
  while (State() == TClientState::Connected && PendingOutput() > 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  OnConnect = nullptr;
  OnRead = nullptr;
  OnDisconnect = nullptr;
  // Releases the thread if it waits for a hand-off that this thread would have to run.
  hand_off_.Cancel();
  {
    std::lock_guard lock(output_mutex_);
    ClearOutput();
  }
  terminated_ = true;
  Wake();
  if (thread_.joinable()) thread_.join();
  if (wake_fd_ >= 0) close(wake_fd_);
}

void TCustomClient::Connect(const std::string& host, int port) {
  if (State() != TClientState::Idle) return;
  host_ = host;
  port_ = port;
  output_overflowed_ = false;
  if (!TransitTo(TClientState::Idle, TClientState::ConnectRequested)) return;
  // The thread starts with the first connection: a client that never connects costs none.
  if (!thread_.joinable()) thread_ = std::thread(&TCustomClient::Execute, this);
  Wake();
}

void TCustomClient::Disconnect() {
  if (TransitTo(TClientState::ConnectRequested, TClientState::DisconnectRequested) ||
      TransitTo(TClientState::Connected, TClientState::DisconnectRequested)) {
    Wake();
  }
}

bool TCustomClient::Send(const void* bytes, int count) {
  if (Terminated()) return false;
  bool overflow = false;
  {
    std::lock_guard lock(output_mutex_);
    // Checked under the lock that the close takes, so that no byte of this connection is
    // left behind for the next one.
    if (socket_.load() < 0 || output_overflowed_.load()) return false;
    if (count > 0 && bytes != nullptr) {
      const std::size_t pending = pending_output_.size() - output_sent_;
      // A peer that stopped reading would otherwise make the output grow without limit.
      overflow = static_cast<std::size_t>(count) > kMaxPendingOutput - pending;
      if (overflow) {
        output_overflowed_ = true;
      } else {
        const auto* p = static_cast<const std::uint8_t*>(bytes);
        pending_output_.insert(pending_output_.end(), p, p + count);
      }
    }
  }
  if (overflow) {
    Disconnect();
    return false;
  }
  Wake();
  return true;
}

std::size_t TCustomClient::PendingOutput() const {
  std::lock_guard lock(output_mutex_);
  return pending_output_.size() - output_sent_;
}

void TCustomClient::SetKeepAlive(const TTcpKeepAlive& keep_alive) {
  if (State() == TClientState::Idle) keep_alive_ = keep_alive;
}

void TCustomClient::ClearOutput() {
  pending_output_.clear();
  output_sent_ = 0;
}

bool TCustomClient::TransitTo(TClientState from, TClientState to) {
  return state_.compare_exchange_strong(from, to);
}

void TCustomClient::RequestDisconnect() {
  TransitTo(TClientState::Connected, TClientState::DisconnectRequested);
}

void TCustomClient::Wake() {
  std::uint64_t one = 1;
  [[maybe_unused]] auto n = write(wake_fd_, &one, sizeof one);
}

void TCustomClient::DrainWake() {
  std::uint64_t value;
  while (read(wake_fd_, &value, sizeof value) > 0) {
  }
}

void TCustomClient::Execute() {
  while (!Terminated()) {
    switch (State()) {
      case TClientState::Idle: {
        // Nothing to do until the owner asks: sleep in the kernel, not in a busy loop.
        pollfd p{wake_fd_, POLLIN, 0};
        poll(&p, 1, -1);
        DrainWake();
        break;
      }
      case TClientState::ConnectRequested: {
        const int code = MakeConnection();
        last_result_ = code;
        if (Terminated()) break;
        hand_off_.Call([this, code] {
          if (OnConnect) OnConnect(*this, code);
        });
        if (code != kConnectOk) {
          state_ = TClientState::DisconnectRequested;
        } else {
          // A Disconnect during the attempt (or during OnConnect) still wins.
          TransitTo(TClientState::ConnectRequested, TClientState::Connected);
        }
        break;
      }
      case TClientState::Connected:
        ServeConnection();
        break;
      case TClientState::DisconnectRequested:
        CloseConnection();
        break;
      case TClientState::Stopped:
        terminated_ = true;
        break;
    }
  }
  std::unique_lock lock(output_mutex_);
  const int fd = socket_.exchange(-1);
  ClearOutput();
  lock.unlock();
  CloseSocket(fd);
  state_ = TClientState::Stopped;
}

int TCustomClient::MakeConnection() {
  if (socket_.load() >= 0) return kConnectAlreadyOpen;

  std::string dotted;
  if (!host_.empty()) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host_.c_str(), nullptr, &hints, &found) == 0 && found != nullptr) {
      char text[INET_ADDRSTRLEN] = {};
      const auto* sin = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
      if (inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text) != nullptr) dotted = text;
    }
    if (found != nullptr) freeaddrinfo(found);
  }
  if (dotted.empty() || State() == TClientState::DisconnectRequested || Terminated()) {
    return kConnectNoAddress;
  }

  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return kConnectNoSocket;
  SetKeepAliveOptions(fd, keep_alive_);
  socket_ = fd;

  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port_));
  bool ok = port_ > 0 && port_ <= 65535 && inet_pton(AF_INET, dotted.c_str(), &addr.sin_addr) == 1;
  if (ok) {
    // Non-blocking, so that a Disconnect or the client's end interrupts a slow attempt.
    if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
      ok = errno == EINPROGRESS && WaitForConnect(fd);
    }
  }
  if (!ok) {
    {
      std::lock_guard lock(output_mutex_);
      socket_ = -1;
      ClearOutput();
    }
    close(fd);
    return kConnectFailed;
  }
  return kConnectOk;
}

bool TCustomClient::WaitForConnect(int fd) {
  for (;;) {
    pollfd p[2] = {{fd, POLLOUT, 0}, {wake_fd_, POLLIN, 0}};
    if (poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (p[1].revents != 0) DrainWake();
    if (Terminated() || State() == TClientState::DisconnectRequested) return false;
    if (p[0].revents != 0) {
      int error = 0;
      socklen_t len = sizeof error;
      return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
    }
  }
}

void TCustomClient::ServeConnection() {
  const int fd = socket_.load();
  if (fd < 0) {
    RequestDisconnect();
    return;
  }
  short events = POLLIN;
  if (PendingOutput() > 0) events |= POLLOUT;
  pollfd p[2] = {{fd, events, 0}, {wake_fd_, POLLIN, 0}};
  if (poll(p, 2, -1) < 0) {
    if (errno != EINTR) RequestDisconnect();
    return;
  }
  if (p[1].revents != 0) DrainWake();
  if (Terminated() || State() != TClientState::Connected) return;
  if ((p[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0) ReceivePass();
  if (Terminated() || State() != TClientState::Connected) return;
  if ((p[0].revents & POLLOUT) != 0) SendPass();
}

void TCustomClient::ReceivePass() {
  const ssize_t n = recv(socket_.load(), receive_block_.data(), receive_block_.size(), 0);
  if (n > 0) {
    const int count = static_cast<int>(n);
    last_result_ = count;
    hand_off_.Call([this, count] {
      if (OnRead) OnRead(*this, receive_block_.data(), count);
    });
  } else if (n == 0) {
    // The peer closed: report it once, through the normal close.
    last_result_ = 0;
    RequestDisconnect();
  } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
    last_result_ = -1;
    RequestDisconnect();
  }
}

void TCustomClient::SendPass() {
  std::array<std::uint8_t, kMaxSendPass> chunk;
  std::size_t size;
  {
    std::lock_guard lock(output_mutex_);
    size = std::min<std::size_t>(kMaxSendPass, pending_output_.size() - output_sent_);
    std::copy_n(pending_output_.begin() + static_cast<std::ptrdiff_t>(output_sent_), size,
                chunk.begin());
  }
  if (size == 0) return;
  const ssize_t sent = send(socket_.load(), chunk.data(), size, MSG_NOSIGNAL);
  if (sent < 0) {
    if (errno == EMSGSIZE) {
      // Kept and tried again; a short pause keeps a refusing socket from spinning.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      RequestDisconnect();
    }
    return;
  }
  {
    std::lock_guard lock(output_mutex_);
    output_sent_ = std::min(output_sent_ + static_cast<std::size_t>(sent), pending_output_.size());
    // The sent front is dropped only once it outweighs the rest, so that each byte is moved
    // at most once on average and draining stays linear.
    if (output_sent_ == pending_output_.size()) {
      ClearOutput();
    } else if (output_sent_ >= pending_output_.size() - output_sent_) {
      pending_output_.erase(pending_output_.begin(),
                            pending_output_.begin() + static_cast<std::ptrdiff_t>(output_sent_));
      output_sent_ = 0;
    }
  }
  if (send_observer_) send_observer_(static_cast<int>(sent));
}

void TCustomClient::CloseConnection() {
  int fd;
  {
    std::lock_guard lock(output_mutex_);
    fd = socket_.exchange(-1);
    ClearOutput();
  }
  if (fd < 0) {
    TransitTo(TClientState::DisconnectRequested, TClientState::Idle);
    return;
  }
  CloseSocket(fd);
  // Idle before the callback, so that the owner may connect again from inside it.
  state_ = TClientState::Idle;
  hand_off_.Call([this] {
    if (OnDisconnect) OnDisconnect(*this);
  });
}

}  // namespace corvane
