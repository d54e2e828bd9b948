#include "sim/sim_tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace corvane::sim {
namespace {

// The server thread wakes at least this often, so that a lost wake-up cannot keep it alive.
constexpr int kPollMs = 200;
// After a failed accept (out of descriptors, say) the server waits this long before trying
// again, instead of spinning on a listening socket that stays readable.
constexpr int kAcceptPauseMs = 100;
constexpr int kBacklog = 8;

}  // namespace

TSimTcpServer::TSimTcpServer(std::uint16_t port) {
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listen_fd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  int one = 1;
  setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listen_fd_, kBacklog) != 0) {
    const int error = errno;
    close(listen_fd_);
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
                             std::strerror(error));
  }
  socklen_t len = sizeof addr;
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_fd_ < 0) {
    const int error = errno;
    close(listen_fd_);
    throw std::runtime_error(std::string("eventfd: ") + std::strerror(error));
  }
}

void TSimTcpServer::Start() {
  std::lock_guard start_lock(start_mutex_);
  if (started_ || stop_) return;
  started_ = true;
  thread_ = std::thread(&TSimTcpServer::Serve, this);
}

TSimTcpServer::~TSimTcpServer() {
  Stop();
  close(wake_fd_);
}

void TSimTcpServer::Stop() {
  stop_ = true;
  {
    // A writer blocked on a peer that does not read gives up at once.
    std::lock_guard lock(mutex_);
    if (conn_fd_ >= 0) shutdown(conn_fd_, SHUT_RDWR);
  }
  Wake();
  // From a handler the thread cannot wait for itself: it ends when the handler returns.
  if (std::this_thread::get_id() == serving_thread_.load()) return;
  std::lock_guard start_lock(start_mutex_);
  if (thread_.joinable()) thread_.join();
  if (!started_ && listen_fd_ >= 0) {  // never served: nobody else closes it
    close(listen_fd_);
    listen_fd_ = -1;
  }
}

void TSimTcpServer::SetDataHandler(TDataHandler handler) {
  std::lock_guard lock(mutex_);
  on_data_ = std::move(handler);
}

void TSimTcpServer::SetAcceptHandler(TAcceptHandler handler) {
  std::lock_guard lock(mutex_);
  on_accept_ = std::move(handler);
}

void TSimTcpServer::SetCloseHandler(TCloseHandler handler) {
  std::lock_guard lock(mutex_);
  on_close_ = std::move(handler);
}

bool TSimTcpServer::HasConnection() const {
  std::lock_guard lock(mutex_);
  return conn_fd_ >= 0;
}

bool TSimTcpServer::Write(std::string_view bytes) {
  std::lock_guard write_lock(write_mutex_);
  return WriteHeld(bytes);
}

bool TSimTcpServer::WriteHeld(std::string_view bytes) {
  int fd;
  {
    std::lock_guard lock(mutex_);
    fd = conn_fd_;
  }
  if (fd < 0) return false;
  // The descriptor stays open meanwhile: the server thread closes it under write_mutex_.
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      // Timed out on a peer that does not read, or the connection failed: it ends.
      shutdown(fd, SHUT_RDWR);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void TSimTcpServer::CloseConnection() {
  std::lock_guard lock(mutex_);
  // The server thread sees the shutdown, closes the socket and runs the close handler.
  if (conn_fd_ >= 0) shutdown(conn_fd_, SHUT_RDWR);
}

void TSimTcpServer::Wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto n = write(wake_fd_, &one, sizeof one);
}

void TSimTcpServer::PauseAccepting() {
  pollfd p = {wake_fd_, POLLIN, 0};
  poll(&p, 1, kAcceptPauseMs);
}

void TSimTcpServer::DropConnection() {
  {
    // A writer blocked on this connection gives up before the close below waits for it.
    std::lock_guard lock(mutex_);
    if (conn_fd_ < 0) return;
    shutdown(conn_fd_, SHUT_RDWR);
  }
  TCloseHandler on_close;
  {
    std::lock_guard write_lock(write_mutex_);
    std::lock_guard lock(mutex_);
    if (conn_fd_ < 0) return;
    close(conn_fd_);
    conn_fd_ = -1;
    on_close = on_close_;
  }
  inbox_.clear();
  if (stop_) return;
  // No lock held: the hooks and the handler may write or ask anything.
  try {
    OnClosed();
    if (on_close) on_close(*this);
  } catch (...) {
    // The connection has ended anyway; the server goes on.
  }
}

void TSimTcpServer::TakeConnection(int fd) {
  DropConnection();  // one connection at a time: a new one replaces the old
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  timeval write_timeout{};
  write_timeout.tv_sec = kWriteTimeoutMs / 1000;
  write_timeout.tv_usec = (kWriteTimeoutMs % 1000) * 1000;
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &write_timeout, sizeof write_timeout);
  TAcceptHandler on_accept;
  {
    std::lock_guard lock(mutex_);
    conn_fd_ = fd;
    on_accept = on_accept_;
  }
  try {
    OnAccepted();
    if (on_accept) on_accept(*this);
  } catch (...) {
    DropConnection();
  }
}

void TSimTcpServer::Receive(int fd) {
  char block[4096];
  const ssize_t n = recv(fd, block, sizeof block, 0);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    DropConnection();
    return;
  }
  TDataHandler on_data;
  {
    std::lock_guard lock(mutex_);
    on_data = on_data_;
  }
  try {
    const std::string_view bytes(block, static_cast<std::size_t>(n));
    OnBytes(bytes);
    inbox_.append(bytes);
    if (on_data) {
      on_data(*this, inbox_);
    } else {
      inbox_.clear();  // nobody takes it
    }
  } catch (...) {
    // A handler that fails (out of memory, say) ends this connection, not the server.
    DropConnection();
    return;
  }
  if (inbox_.size() > kMaxPendingInput) DropConnection();
}

void TSimTcpServer::Serve() {
  serving_thread_ = std::this_thread::get_id();
  while (!stop_) {
    int conn;
    {
      std::lock_guard lock(mutex_);
      conn = conn_fd_;
    }
    pollfd p[3] = {{wake_fd_, POLLIN, 0}, {listen_fd_, POLLIN, 0}, {conn, POLLIN, 0}};
    if (poll(p, conn >= 0 ? 3 : 2, kPollMs) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (p[0].revents != 0) {
      std::uint64_t v;
      [[maybe_unused]] const auto n = read(wake_fd_, &v, sizeof v);
    }
    if (stop_) break;
    if (p[1].revents & POLLIN) {
      const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        TakeConnection(fd);
      } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK &&
                 errno != ECONNABORTED) {
        PauseAccepting();
      }
      continue;
    }
    if (conn >= 0 && p[2].revents != 0) Receive(conn);
  }
  // Stopped: the port refuses from now on, and the peer sees its connection close.
  close(listen_fd_);
  listen_fd_ = -1;
  std::lock_guard write_lock(write_mutex_);
  std::lock_guard lock(mutex_);
  if (conn_fd_ >= 0) {
    close(conn_fd_);
    conn_fd_ = -1;
  }
}

}  // namespace corvane::sim
