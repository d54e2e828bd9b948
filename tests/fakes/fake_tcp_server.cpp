#include "fakes/fake_tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace corvane::test {

TFakeTcpServer::TFakeTcpServer(std::uint16_t port) {
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw std::runtime_error("fake server: socket");
  int one = 1;
  setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listen_fd_, 8) != 0) {
    const int error = errno;
    close(listen_fd_);
    throw std::runtime_error("fake server: cannot listen on 127.0.0.1:" + std::to_string(port) +
                             ": " + std::strerror(error));
  }
  socklen_t len = sizeof addr;
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  thread_ = std::thread(&TFakeTcpServer::Serve, this);
}

TFakeTcpServer::~TFakeTcpServer() {
  Stop();
  close(wake_fd_);
}

void TFakeTcpServer::Stop() {
  if (stop_.exchange(true)) return;
  Wake();
  if (thread_.joinable()) thread_.join();
  close(listen_fd_);  // from now on the port refuses
  std::lock_guard lock(mutex_);
  if (conn_fd_ >= 0) {
    close(conn_fd_);
    conn_fd_ = -1;
  }
}

void TFakeTcpServer::SetDataHandler(TDataHandler handler) {
  std::lock_guard lock(mutex_);
  on_data_ = std::move(handler);
}

void TFakeTcpServer::SetAcceptHandler(TAcceptHandler handler) {
  std::lock_guard lock(mutex_);
  on_accept_ = std::move(handler);
}

void TFakeTcpServer::SetCloseHandler(TCloseHandler handler) {
  std::lock_guard lock(mutex_);
  on_close_ = std::move(handler);
}

bool TFakeTcpServer::Write(const std::string& bytes) {
  std::lock_guard write_lock(write_mutex_);
  return WriteLocked(bytes);
}

bool TFakeTcpServer::WriteSplit(const std::string& bytes, std::size_t at,
                                std::chrono::milliseconds pause) {
  // One lock over both parts: nothing the server answers meanwhile lands between them.
  std::lock_guard write_lock(write_mutex_);
  at = std::min(at, bytes.size());
  if (!WriteLocked(bytes.substr(0, at))) return false;
  std::this_thread::sleep_for(pause);
  return WriteLocked(bytes.substr(at));
}

bool TFakeTcpServer::WriteLocked(const std::string& bytes) {
  int fd;
  {
    std::lock_guard lock(mutex_);
    fd = conn_fd_;
  }
  if (fd < 0) return false;
  // The descriptor is closed only by the server thread under write_mutex_ too.
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void TFakeTcpServer::CloseConnection() {
  std::lock_guard lock(mutex_);
  // The server thread sees the shutdown, closes the socket and counts the close.
  if (conn_fd_ >= 0) shutdown(conn_fd_, SHUT_RDWR);
}

std::string TFakeTcpServer::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

void TFakeTcpServer::ClearReceived() {
  std::lock_guard lock(mutex_);
  received_.clear();
  received_.shrink_to_fit();
}

int TFakeTcpServer::Accepted() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

int TFakeTcpServer::Closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

bool TFakeTcpServer::HasConnection() const {
  std::lock_guard lock(mutex_);
  return conn_fd_ >= 0;
}

bool TFakeTcpServer::WaitFor(const std::function<bool()>& pred, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline) return pred();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

void TFakeTcpServer::Wake() {
  std::uint64_t one = 1;
  [[maybe_unused]] auto n = write(wake_fd_, &one, sizeof one);
}

void TFakeTcpServer::DropConnection() {
  TCloseHandler on_close;
  {
    std::lock_guard write_lock(write_mutex_);
    std::lock_guard lock(mutex_);
    if (conn_fd_ < 0) return;
    close(conn_fd_);
    conn_fd_ = -1;
    inbox_.clear();
    ++closed_;
    on_close = on_close_;
  }
  if (on_close) on_close(*this);  // no lock held: the handler may write or ask anything
}

void TFakeTcpServer::Serve() {
  while (!stop_) {
    int conn;
    {
      std::lock_guard lock(mutex_);
      conn = conn_fd_;
    }
    pollfd p[3] = {{wake_fd_, POLLIN, 0}, {listen_fd_, POLLIN, 0}, {conn, POLLIN, 0}};
    // Bounded wait, so that a lost wake-up can never keep the server alive.
    if (poll(p, conn >= 0 ? 3 : 2, 200) < 0 && errno != EINTR) break;
    if (p[0].revents != 0) {
      std::uint64_t v;
      [[maybe_unused]] auto n = read(wake_fd_, &v, sizeof v);
    }
    if (stop_) break;
    if (p[1].revents & POLLIN) {
      int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        DropConnection();  // one connection at a time: a new one replaces the old
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        TAcceptHandler on_accept;
        {
          std::lock_guard lock(mutex_);
          conn_fd_ = fd;
          ++accepted_;
          on_accept = on_accept_;
        }
        if (on_accept) on_accept(*this);
      }
      continue;
    }
    if (conn >= 0 && p[2].revents != 0) {
      char block[4096];
      ssize_t n = recv(conn, block, sizeof block, 0);
      if (n <= 0) {
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        DropConnection();
        continue;
      }
      TDataHandler on_data;
      std::string inbox;
      {
        std::lock_guard lock(mutex_);
        received_.append(block, static_cast<std::size_t>(n));
        inbox_.append(block, static_cast<std::size_t>(n));
        inbox.swap(inbox_);
        on_data = on_data_;
      }
      if (on_data) on_data(*this, inbox);
      std::lock_guard lock(mutex_);
      inbox_.insert(0, inbox);  // what the handler left waits for more bytes
    }
  }
}

}  // namespace corvane::test
